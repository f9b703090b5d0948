package com.kelo.pack;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kelo.rvs.EmbeddedContainers;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Random;
import java.util.jar.JarInputStream;
import java.util.jar.Manifest;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Protected jars: what becomes of each kind of entry, the warnings, and the carriers' pieces. */
class ProtectTest {
    private static final String MANIFEST = "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n";
    private final byte[] classFile = TestClasses.bytesOf(ProtectTest.class);

    @TempDir
    Path dir;

    @ParameterizedTest
    @ValueSource(strings = {"embedded", "container"})
    void eachKindOfEntryIsProtectedOrCopiedAsItShouldBe(String form) throws Exception {
        Map<String, byte[]> entries = new LinkedHashMap<>();
        entries.put("META-INF/MANIFEST.MF", MANIFEST.getBytes(StandardCharsets.UTF_8));
        entries.put("META-INF/APP.SF", new byte[] {1});
        entries.put("META-INF/sisu/javax.inject.Named", new byte[] {2});
        entries.put("app/", new byte[0]);
        entries.put("app/Main.class", classFile);
        entries.put("app/util/Helper.class", classFile);
        entries.put("META-INF/versions/11/app/Main.class", classFile);
        entries.put("META-INF/versions/11/module-info.class", classFile);
        entries.put("module-info.class", classFile);
        File in = jar("app.jar", entries);
        File out = dir.resolve("protected.jar").toFile();
        String[] args = {"protect", in.getPath(), "-o", out.getPath(), "--exclude", "app.util.*"};
        ContainersTest.Run run = ContainersTest.Run.of(form.equals("embedded") ? args
                : concat(args, "--form", "container"));

        assertEquals(0, run.status, run.err);
        assertTrue(run.out.contains(": 2 classes protected (" + form + "), 3 left as they were, 3"
                + " other entries copied, 1 signature file dropped; " + in.length() + " -> "
                + out.length() + " bytes"), run.out);
        assertTrue(run.err.contains("warning: " + in + " is signed"), run.err);
        assertEquals(form.equals("container"), run.err.contains("component index"
                + " (META-INF/sisu/javax.inject.Named)"), run.err);
        try (ZipFile zip = new ZipFile(out)) {
            assertNull(zip.getEntry("META-INF/APP.SF"));
            assertArrayEquals(entries.get("META-INF/sisu/javax.inject.Named"),
                    read(zip, "META-INF/sisu/javax.inject.Named"));
            for (String kept : new String[] {"app/util/Helper.class", "module-info.class",
                "META-INF/versions/11/module-info.class"}) {
                assertArrayEquals(classFile, read(zip, kept), kept);
            }
            for (String name : new String[] {"app/Main.class", "META-INF/versions/11/app/Main.class"}) {
                byte[] data = read(zip, name);
                byte[] container = form.equals("container") ? data
                        : EmbeddedContainers.extract(data, "app/Main");
                assertArrayEquals(classFile, Containers.unwrap(container), name);
            }
        }
        try (JarInputStream jar = new JarInputStream(new FileInputStream(out))) {
            Manifest manifest = jar.getManifest(); // read only when it comes first
            assertNotNull(manifest);
            assertEquals("app.Main", manifest.getMainAttributes().getValue("Main-Class"));
            assertEquals("ALL-UNNAMED",
                    manifest.getMainAttributes().getValue("Enable-Native-Access"));
        }
    }

    @Test
    void aClassFileAsmCannotReadGetsAMinimalCarrierAndAWarning() throws Exception {
        byte[] future = classFile.clone();
        future[7] = 99; // a class file version ASM does not know yet
        Map<String, byte[]> entries = new LinkedHashMap<>();
        entries.put("app/Future.class", future);
        entries.put("app/Main.class", classFile);
        File out = dir.resolve("out.jar").toFile();
        ContainersTest.Run run = ContainersTest.Run.of("protect",
                jar("in.jar", entries).getPath(), "-o", out.getPath());
        assertEquals(0, run.status, run.err);
        // The minimal carrier itself is the hostile sweep's, loaded without and with the hook.
        assertTrue(run.err.contains("warning: app/Future.class: ASM cannot read it"), run.err);
        assertTrue(run.out.contains("2 classes protected (embedded), 1 as minimal carriers"), run.out);

        try (ZipFile zip = new ZipFile(out)) {
            assertArrayEquals(future, Containers.unwrap(EmbeddedContainers.extract(
                    read(zip, "app/Future.class"), "app/Future")));
        }
    }

    @Test
    void withTheRuntimeTheLauncherRunsTheApplicationsMainClass() throws Exception {
        Map<String, byte[]> runtime = new LinkedHashMap<>();
        runtime.put("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n".getBytes(StandardCharsets.UTF_8));
        runtime.put("com/kelo/rvs/Launcher.class", classFile);
        runtime.put("com/kelo/rvs/native/linux-x86_64/libKeloRvs4J32.so", new byte[] {3});
        Map<String, byte[]> entries = new LinkedHashMap<>();
        entries.put("META-INF/MANIFEST.MF", MANIFEST.getBytes(StandardCharsets.UTF_8));
        entries.put("app/Main.class", classFile);
        entries.put("com/kelo/rvs/Launcher.class", new byte[] {4}); // an older copy
        File runtimeJar = jar("kelo-rvs.jar", runtime);
        File out = dir.resolve("self.jar").toFile();
        ContainersTest.Run run = ContainersTest.Run.of("protect", jar("app.jar", entries).getPath(),
                "-o", out.getPath(), "--runtime-jar", runtimeJar.getPath());
        assertEquals(0, run.status, run.err);
        assertTrue(run.out.contains("1 class protected (embedded), 0 left as they were, 1 other"
                + " entry copied, the runtime added (2 entries)"), run.out);
        try (ZipFile zip = new ZipFile(out)) {
            assertEquals(4, zip.size());
            assertArrayEquals(classFile, read(zip, "com/kelo/rvs/Launcher.class"), "unprotected");
            assertArrayEquals(new byte[] {3},
                    read(zip, "com/kelo/rvs/native/linux-x86_64/libKeloRvs4J32.so"));
            Manifest manifest = new Manifest(zip.getInputStream(zip.getEntry("META-INF/MANIFEST.MF")));
            assertEquals("com.kelo.rvs.Launcher", manifest.getMainAttributes().getValue("Main-Class"));
            assertEquals("app.Main", manifest.getMainAttributes().getValue(
                    com.kelo.rvs.Launcher.APPLICATION_MAIN_CLASS));
        }
        entries.put("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n".getBytes(StandardCharsets.UTF_8));
        run = ContainersTest.Run.of("protect", jar("library.jar", entries).getPath(), "-o",
                out.getPath(), "--runtime-jar", runtimeJar.getPath());
        assertEquals(1, run.status);
        assertTrue(run.err.contains("names no Main-Class, which a jar with the runtime needs"), run.err);
    }

    @Test
    void piecesEachFitOneConstantPoolEntryAndJoinToTheContainer() throws Exception {
        // Random bytes behind the magic do not compress: a container of several full pieces.
        byte[] big = new byte[190_000];
        new Random(1).nextBytes(big);
        System.arraycopy(Containers.CLASS_MAGIC, 0, big, 0, 4);
        byte[] container = Containers.wrap(big, new WrapOptions());
        java.util.List<String> pieces = Carrier.pieces("com/example/Big", container, 0);
        assertEquals(4, pieces.size(), "190 kB in pieces of just under 64 kB of text");
        assertTrue(pieces.stream().allMatch(p -> Carrier.utf8Length(p) <= Carrier.MAX_UTF8_LENGTH));
        assertArrayEquals(container, EmbeddedContainers.extract(
                Carrier.build("com/example/Big", container, 1000), "com/example/Big"));
    }

    @Test
    void inspectReadsTheContainerOfASkeleton() throws Exception {
        Path skeleton = dir.resolve("Main.class");
        Files.write(skeleton, Skeleton.build(classFile, Carrier.pieces("app/Main",
                Containers.wrap(classFile, new WrapOptions()), 300), "protected"));
        ContainersTest.Run inspect = ContainersTest.Run.of("inspect", skeleton.toString());
        assertEquals(0, inspect.status, inspect.err);
        assertTrue(inspect.out.contains("carrier class app/Main, "), inspect.out);
        assertTrue(inspect.out.contains("decodes to a class file of " + classFile.length), inspect.out);
    }

    private static String[] concat(String[] a, String... b) {
        String[] all = java.util.Arrays.copyOf(a, a.length + b.length);
        System.arraycopy(b, 0, all, a.length, b.length);
        return all;
    }

    private File jar(String name, Map<String, byte[]> entries) throws IOException {
        File file = dir.resolve(name).toFile();
        try (ZipOutputStream out = new ZipOutputStream(new FileOutputStream(file))) {
            for (Map.Entry<String, byte[]> e : entries.entrySet()) {
                out.putNextEntry(new ZipEntry(e.getKey()));
                out.write(e.getValue());
                out.closeEntry();
            }
        }
        return file;
    }

    private static byte[] read(ZipFile zip, String name) throws IOException {
        ZipEntry entry = zip.getEntry(name);
        assertNotNull(entry, name);
        return zip.getInputStream(entry).readAllBytes();
    }
}
