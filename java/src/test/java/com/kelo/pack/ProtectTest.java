package com.kelo.pack;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kelo.rvs.EmbeddedContainers;
import java.io.ByteArrayInputStream;
import java.io.DataInputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.jar.JarInputStream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Protected jars and the carrier class files of the embedded form. */
class ProtectTest {
    private static final String MANIFEST = "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n";
    private final byte[] classFile = TestClasses.bytesOf(ProtectTest.class);

    @TempDir
    Path dir;

    @Test
    void protectKeepsManifestAndResourcesAndHonoursThePatterns() throws Exception {
        Map<String, byte[]> entries = new LinkedHashMap<>();
        entries.put("META-INF/MANIFEST.MF", MANIFEST.getBytes(StandardCharsets.UTF_8));
        entries.put("META-INF/APP.SF", new byte[] {1});
        entries.put("app/", new byte[0]);
        entries.put("app/Main.class", classFile);
        entries.put("app/Main$Inner.class", classFile);
        entries.put("app/util/Helper.class", classFile);
        entries.put("app/data.txt", "data".getBytes(StandardCharsets.UTF_8));
        entries.put("module-info.class", classFile);
        File in = jar("app.jar", entries);
        File out = dir.resolve("protected.jar").toFile();

        ContainersTest.Run run = ContainersTest.Run.of("protect", in.getPath(), "-o", out.getPath(),
                "--include", "app.**", "--exclude", "app.util.*");
        assertEquals(0, run.status, run.err);
        assertTrue(run.out.contains("2 classes protected (container), 2 left as they were, "
                + "3 other entries copied, 1 signature files dropped"), run.out);

        try (ZipFile zip = new ZipFile(out)) {
            assertEquals(entries.keySet().size() - 1, zip.size());
            assertNull(zip.getEntry("META-INF/APP.SF"));
            assertArrayEquals(entries.get("META-INF/MANIFEST.MF"), read(zip, "META-INF/MANIFEST.MF"));
            assertArrayEquals(entries.get("app/data.txt"), read(zip, "app/data.txt"));
            assertArrayEquals(classFile, read(zip, "app/util/Helper.class"), "excluded");
            assertArrayEquals(classFile, read(zip, "module-info.class"), "never protected");
            for (String protectedClass : new String[] {"app/Main.class", "app/Main$Inner.class"}) {
                byte[] container = read(zip, protectedClass);
                assertTrue(ContainerHeader.isContainer(container), protectedClass);
                assertArrayEquals(classFile, Containers.unwrap(container));
            }
        }
        try (JarInputStream jar = new JarInputStream(new java.io.FileInputStream(out))) {
            assertNotNull(jar.getManifest(), "the manifest comes first");
            assertEquals("app.Main", jar.getManifest().getMainAttributes().getValue("Main-Class"));
        }
    }

    @Test
    void embeddedPiecesEachFitOneConstantPoolEntryAndJoinToTheContainer() throws Exception {
        // Random bytes behind the magic do not compress: a container of several full pieces.
        byte[] big = new byte[190_000];
        new Random(1).nextBytes(big);
        big[0] = (byte) 0xCA;
        big[1] = (byte) 0xFE;
        big[2] = (byte) 0xBA;
        big[3] = (byte) 0xBE;
        String name = "com/example/Big";
        byte[] container = Containers.wrap(big, new WrapOptions());
        byte[] carrier = Carrier.build(name, container, 0);

        List<String> pieces = pieces(carrier);
        assertEquals(4, pieces.size(), "190 kB in pieces of at most 64 kB of text");
        for (int i = 0; i < pieces.size(); i++) {
            String piece = pieces.get(i);
            assertTrue(piece.length() <= 65535);
            assertTrue(piece.startsWith(String.format("<KeloClassData#%s#%05d>", name, i)), piece);
            assertTrue(piece.endsWith(String.format("</KeloClassData#%s#%05d>", name, i)));
        }
        assertTrue(pieces.get(0).length() > 65535 - 4 - 2 * 40, "pieces use the room they have");
        assertArrayEquals(container, EmbeddedContainers.extract(carrier, name));
        assertEquals(0, EmbeddedContainers.extract(carrier, "com/example/Other").length,
                "pieces of another class are not read");

        byte[] small = Carrier.build(name, container, 1000);
        assertEquals(container.length / 1000 + 1, pieces(small).size());
        assertArrayEquals(container, EmbeddedContainers.extract(small, name));
    }

    @Test
    void carrierLoadedWithoutTheLibraryFailsSayingTheClassIsProtected() throws Exception {
        String name = "com.example.Secret";
        byte[] carrier = Carrier.build(name.replace('.', '/'),
                Containers.wrap(classFile, new WrapOptions()), 0);
        ClassLoader fresh = new ClassLoader(null) {
            @Override
            protected Class<?> findClass(String n) throws ClassNotFoundException {
                if (!n.equals(name)) {
                    throw new ClassNotFoundException(n);
                }
                return defineClass(n, carrier, 0, carrier.length);
            }
        };
        Class<?> loaded = Class.forName(name, false, fresh); // the JVM accepts the class file
        assertNotNull(loaded.getMethod("main", String[].class), "the java launcher finds main");
        Error e = assertThrows(Error.class, () -> Class.forName(name, true, fresh));
        assertEquals(Error.class, e.getClass());
        assertTrue(e.getMessage().startsWith("Class com.example.Secret is protected by KeloRvs4J32"),
                e.getMessage());
        assertFalse(e instanceof ExceptionInInitializerError);
    }

    @Test
    void protectEmbeddedWritesCarriersThatInspectReads() throws Exception {
        Map<String, byte[]> entries = new LinkedHashMap<>();
        entries.put("app/Main.class", classFile);
        File out = dir.resolve("embedded.jar").toFile();
        ContainersTest.Run run = ContainersTest.Run.of("protect", jar("in.jar", entries).getPath(),
                "-o", out.getPath(), "--form", "embedded", "--chunk-bytes", "300", "--no-crc");
        assertEquals(0, run.status, run.err);
        File carrier = dir.resolve("Main.class").toFile();
        try (ZipFile zip = new ZipFile(out)) {
            java.nio.file.Files.write(carrier.toPath(), read(zip, "app/Main.class"));
        }
        ContainersTest.Run inspect = ContainersTest.Run.of("inspect", carrier.getPath());
        assertEquals(0, inspect.status, inspect.err);
        assertTrue(inspect.out.contains("carrier class app/Main, "), inspect.out);
        assertTrue(inspect.out.contains("options         0x00"), inspect.out);
        assertTrue(inspect.out.contains("decodes to a class file of " + classFile.length), inspect.out);
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
        return TestClasses.readAll(zip.getInputStream(entry));
    }

    /** The constant-pool strings of a carrier that hold pieces. */
    private static List<String> pieces(byte[] classFile) throws IOException {
        DataInputStream in = new DataInputStream(new ByteArrayInputStream(classFile));
        in.skipBytes(8);
        int count = in.readUnsignedShort();
        List<String> strings = new ArrayList<>();
        for (int i = 1; i < count; i++) {
            int tag = in.readUnsignedByte();
            if (tag == 1) {
                String s = in.readUTF();
                if (s.startsWith("<KeloClassData#")) {
                    strings.add(s);
                }
            } else {
                in.skipBytes(tag == 7 || tag == 8 ? 2 : 4);
            }
        }
        return strings;
    }
}
