package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/**
 * The class-load hook leaves the JVM its class-data sharing: JDK classes from the default shared
 * archive that are first loaded after the hook is installed still come from the archive, which
 * they would not if the hook handed the JVM new bytes for them.
 */
class SharingTest {
    private static final String SHARED = "shared objects file";
    private static final Pattern LOAD_LINE =
            Pattern.compile("\\[class,load\\] (\\S+) source: (.*)$", Pattern.MULTILINE);

    @Test
    void jdkClassesLoadedAfterTheHookComeFromTheSharedArchive() throws Exception {
        // The classes of the JDK's default archive that a JVM without the hook loads after
        // start-up, and takes from the archive.
        List<String> candidates = archiveClassList();
        Map<String, String> unhooked = sourcesAfterStart("unhooked", candidates);
        List<String> shared = new ArrayList<>();
        unhooked.forEach((name, source) -> {
            if (source.equals(SHARED)) {
                shared.add(name);
            }
        });
        assumeTrue(shared.size() >= 5, "no class-data sharing in this JVM: " + unhooked);

        Map<String, String> hooked = sourcesAfterStart("hooked", shared);
        // Classes that the runtime's start loaded before the hook are not seen again.
        List<String> seen = new ArrayList<>(shared);
        seen.retainAll(hooked.keySet());
        assertTrue(seen.size() >= 5, "too few archived classes loaded after the hook: " + seen);
        for (String name : seen) {
            assertEquals(SHARED, hooked.get(name), name + " did not come from the archive");
        }
    }

    /** The class names of the JDK's default class list, which its default archive holds. */
    private static List<String> archiveClassList() throws IOException {
        Path classList = Path.of(System.getProperty("java.home"), "lib", "classlist");
        assumeTrue(Files.isRegularFile(classList), "the JDK has no class list at " + classList);
        List<String> names = new ArrayList<>();
        for (String line : Files.readAllLines(classList, StandardCharsets.UTF_8)) {
            // Comments, and the lines of lambda forms and hidden classes, which carry an @.
            if (!line.isEmpty() && !line.startsWith("#") && !line.contains("@")) {
                names.add(line.replace('/', '.'));
            }
        }
        return names;
    }

    /**
     * Runs the child, with the hook or without, loading the given classes, and answers where the
     * JVM took the classes from that it loaded after the child's "hooked" or "unhooked" line.
     */
    private static Map<String, String> sourcesAfterStart(String mode, List<String> classes)
            throws IOException, InterruptedException {
        String classPath = System.getProperty("kelo.rvs.test.classpath");
        assertNotNull(classPath, "the class path of the child JVM is not set");
        List<String> command = new ArrayList<>(List.of(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(), "-Xcheck:jni",
                "-Xlog:class+load",
                "-Dkelo.rvs.library=" + System.getProperty(Runtime.LIBRARY_PROPERTY),
                "-cp", classPath, SharingChild.class.getName(),
                mode.equals("hooked") ? "hook" : "none"));
        command.addAll(classes);
        Process process = new ProcessBuilder(command).start();
        process.getOutputStream().close();
        ByteArrayOutputStream stderr = new ByteArrayOutputStream();
        Thread drain = new Thread(() -> {
            try {
                process.getErrorStream().transferTo(stderr);
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
        });
        drain.start();
        String stdout = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(process.waitFor(60, TimeUnit.SECONDS), "the child JVM did not end");
        drain.join();
        String errors = new String(stderr.toByteArray(), StandardCharsets.UTF_8);
        assertEquals(0, process.exitValue(), stdout + errors);
        assertFalse(errors.contains("WARNING") || stdout.contains("WARNING"), stdout + errors);
        int start = stdout.indexOf(mode + "\n");
        assertTrue(start >= 0, stdout);
        Map<String, String> sources = new LinkedHashMap<>();
        Matcher line = LOAD_LINE.matcher(stdout.substring(start));
        while (line.find()) {
            sources.put(line.group(1), line.group(2));
        }
        return sources;
    }
}
