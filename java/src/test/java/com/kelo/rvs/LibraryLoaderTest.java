package com.kelo.rvs;

import static java.nio.charset.StandardCharsets.UTF_8;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.params.provider.Arguments.arguments;

import java.io.IOException;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

class LibraryLoaderTest {
    private static final byte[] LIBRARY = "the library for this test".getBytes(UTF_8);
    private static final String BY_NAME = "by name KeloRvs4J32";
    private static final String HOME_COPY = "load home/HASH/libKeloRvs4J32.so";

    @TempDir
    Path dir;

    /**
     * Why; the property, a file in the test folder given relative to the working folder ("lib.so"
     * exists); the platform; the calls that fail, by their start; the loads asked for; what the
     * error says, in parts separated by |. The jar carries copies for linux-x86_64 and
     * windows-x86, but none for plan9-mips. A damaged cached copy and a missing home are
     * AgentRuns' cases, in real JVMs.
     */
    static Stream<Arguments> cases() {
        return Stream.of(
                arguments("the property's file is loaded, made absolute", "lib.so", "linux-x86_64",
                        "", "load lib.so", ""),
                arguments("the property's file is the only one tried", "lib.so", "linux-x86_64",
                        "load lib.so", "load lib.so", "lib.so|kelo.rvs.library|refused load"),
                arguments("a missing file is named with the property", "missing.so",
                        "linux-x86_64", "", "", "missing.so|kelo.rvs.library|no such file"),
                arguments("a blank property is none: by name first", " ", "linux-x86_64", "",
                        BY_NAME, ""),
                arguments("a copy that the JVM refuses, then the next folder", null,
                        "linux-x86_64", "by name,load home", BY_NAME + ", " + HOME_COPY
                                + ", load tmp/HASH/libKeloRvs4J32.so", ""),
                arguments("an unsupported platform: what was tried, what the jar carries", null,
                        "plan9-mips", "by name", BY_NAME,
                        "library for plan9-mips|by name (|refused by name|no copy for plan9-mips,"
                                + " only for linux-x86_64, windows-x86|kelo.rvs.library"));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("cases")
    void findsTheLibraryInOrder(String why, String property, String platform, String refused,
            String calls, String error) throws IOException {
        for (String carried : Arrays.asList("linux-x86_64", "windows-x86")) {
            Path copy = dir.resolve("jar/" + BundledLibrary.RESOURCE_FOLDER + carried);
            Files.write(Files.createDirectories(copy).resolve(BundledLibrary.fileName(carried)),
                    LIBRARY);
        }
        Files.createFile(dir.resolve("lib.so"));
        String given = property == null || property.trim().isEmpty() ? property
                : Paths.get("").toAbsolutePath().relativize(dir.resolve(property)).toString();
        RecordingLinker linker = new RecordingLinker(refused);
        String message = "";
        try (URLClassLoader resources = new URLClassLoader(
                     new URL[] {dir.resolve("jar").toUri().toURL()}, null)) {
            LibraryLoader.load(given, linker, new BundledLibrary(platform, resources,
                    Arrays.asList(dir.resolve("home"), dir.resolve("tmp"))));
        } catch (UnsatisfiedLinkError e) {
            message = e.getMessage();
        }
        assertEquals(calls, String.join(", ", linker.calls));
        for (String part : error.split("\\|")) {
            assertTrue(message.contains(part), "\"" + message + "\" lacks \"" + part + "\"");
        }
        try (Stream<Path> files = Files.walk(dir)) {
            assertEquals(0, files.filter(p -> p.toString().endsWith(".tmp")).count(), "temp files");
        }
    }

    @ParameterizedTest
    @CsvSource({"Linux, amd64, linux-x86_64", "Linux, i386, linux-x86", "Windows 10, x86, windows-x86",
        "Windows Server 2022, amd64, windows-x86_64", "Mac OS X, aarch64, macos-aarch64"})
    void namesThePlatformAsTheJarsFoldersDo(String os, String arch, String platform) {
        assertEquals(platform, BundledLibrary.platform(os, arch));
    }

    /** Records the loads asked for, and whether a copy it loads holds the library's bytes. */
    private final class RecordingLinker implements LibraryLoader.Linker {
        final List<String> calls = new ArrayList<>();
        final List<String> refused;

        RecordingLinker(String refused) {
            this.refused = Arrays.asList(refused.split(","));
        }

        @Override
        public void load(String absolutePath) {
            Path path = Paths.get(absolutePath);
            String call = "load "
                    + dir.relativize(path).toString().replaceAll("/[0-9a-f]+-[0-9a-f]+/", "/HASH/");
            try {
                if (!path.isAbsolute() || !call.equals("load lib.so")
                        && !Arrays.equals(LIBRARY, Files.readAllBytes(path))) {
                    call += " (a relative path or other bytes)";
                }
            } catch (IOException e) {
                call += " (" + e + ")";
            }
            record(call);
        }

        @Override
        public void loadLibrary(String name) {
            record("by name " + name);
        }

        private void record(String call) {
            calls.add(call);
            if (refused.stream().anyMatch(prefix -> !prefix.isEmpty() && call.startsWith(prefix))) {
                throw new UnsatisfiedLinkError("refused " + call);
            }
        }
    }
}
