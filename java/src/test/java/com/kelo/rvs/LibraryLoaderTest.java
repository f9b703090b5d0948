package com.kelo.rvs;

import static java.nio.charset.StandardCharsets.UTF_8;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

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
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

class LibraryLoaderTest {
    private static final byte[] LIBRARY = "the library for this test".getBytes(UTF_8);
    private static final String LINUX = "linux-x86_64";
    private static final String BY_NAME = "by name KeloRvs4J32";
    private static final String HOME_COPY = "load home/HASH/libKeloRvs4J32.so";
    private static final String TMP_COPY = "load tmp/HASH/libKeloRvs4J32.so";

    @TempDir
    Path dir;

    /**
     * property: a file in the test folder ("lib.so" exists), given relative to the working
     * folder; setUp: "empty jar" or nothing (a damaged cached copy and a missing home are
     * AgentRuns' cases, in real JVMs); refused: the calls that fail, by their start;
     * calls: the loads asked for; error: what the error says, in parts separated by |.
     */
    record Case(String why, String property, String platform, String setUp, String refused,
            String calls, String error) {
        @Override
        public String toString() {
            return why;
        }
    }

    static Stream<Case> cases() {
        return Stream.of(
                new Case("the property's file is loaded, made absolute", "lib.so", LINUX, "", "",
                        "load lib.so", ""),
                new Case("the property's file is the only one tried", "lib.so", LINUX, "",
                        "load lib.so", "load lib.so", "lib.so|kelo.rvs.library|refused load"),
                new Case("a missing file is named with the property", "missing.so", LINUX, "", "",
                        "", "missing.so|kelo.rvs.library|no such file"),
                new Case("a blank property is none: by name first", " ", LINUX, "", "", BY_NAME,
                        ""),
                new Case("the jar's copy, when the name is not found", null, LINUX, "", "by name",
                        BY_NAME + ", " + HOME_COPY, ""),
                new Case("a copy that the JVM refuses, then the next folder", null, LINUX, "",
                        "by name,load home", BY_NAME + ", " + HOME_COPY + ", " + TMP_COPY, ""),
                new Case("an unsupported platform: what was tried, what the jar carries", null,
                        "plan9-mips", "", "by name", BY_NAME,
                        "library for plan9-mips|by name (|refused by name|no copy for plan9-mips,"
                                + " only for linux-x86_64, windows-x86|kelo.rvs.library"),
                new Case("a jar without copies", null, LINUX, "empty jar", "by name", BY_NAME,
                        "no copy for linux-x86_64, nor for any other platform"));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("cases")
    void findsTheLibraryInOrder(Case c) throws IOException {
        Path jar = Files.createDirectories(dir.resolve("jar"));
        if (!c.setUp.equals("empty jar")) {
            for (String platform : Arrays.asList(LINUX, "windows-x86")) {
                Path copy = jar.resolve(BundledLibrary.RESOURCE_FOLDER + platform)
                                .resolve(BundledLibrary.fileName(platform));
                Files.write(Files.createDirectories(copy.getParent()).resolve(copy), LIBRARY);
            }
        }
        Path home = dir.resolve("home");
        Files.createFile(dir.resolve("lib.so"));
        String property = c.property == null || c.property.trim().isEmpty() ? c.property
                : Paths.get("").toAbsolutePath().relativize(dir.resolve(c.property)).toString();

        try (URLClassLoader resources = new URLClassLoader(new URL[] {jar.toUri().toURL()}, null)) {
            BundledLibrary bundled = new BundledLibrary(c.platform, resources,
                    Arrays.asList(home, dir.resolve("tmp")));
            RecordingLinker linker = new RecordingLinker(c.refused);
            String error = "";
            try {
                LibraryLoader.load(property, linker, bundled);
            } catch (UnsatisfiedLinkError e) {
                error = e.getMessage();
            }
            assertEquals(c.calls, String.join(", ", linker.calls));
            for (String part : c.error.split("\\|")) {
                assertTrue(error.contains(part), "\"" + error + "\" lacks \"" + part + "\"");
            }
        }
        try (Stream<Path> files = Files.walk(dir)) {
            assertEquals(0, files.filter(p -> p.toString().endsWith(".tmp")).count(), "temp files");
        }
    }

    @ParameterizedTest
    @CsvSource({"Linux, amd64, linux-x86_64", "Linux, x86_64, linux-x86_64",
        "Linux, i386, linux-x86", "Windows 10, x86, windows-x86",
        "Windows Server 2022, amd64, windows-x86_64", "Mac OS X, aarch64, macos-aarch64",
        "SunOS, sparcv9, sunos-sparcv9"})
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
            for (String prefix : refused) {
                if (!prefix.isEmpty() && call.startsWith(prefix)) {
                    throw new UnsatisfiedLinkError("refused " + call);
                }
            }
        }
    }
}
