package com.kelo.pack;

import static com.kelo.pack.TestClasses.*;
import static org.junit.jupiter.api.Assertions.*;

import com.kelo.rvs.format.EmbeddedContainers;
import java.io.*;
import java.nio.file.*;
import java.util.*;
import java.util.function.Function;
import java.util.jar.*;
import java.util.stream.Stream;
import java.util.zip.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Protected jars: what becomes of each kind of entry, the warnings, and the carriers' pieces. */
class ProtectTest {
    private static final String PLAIN = "Manifest-Version: 1.0\r\n\r\n";
    private static final String MANIFEST = "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n";
    private final byte[] classFile = TestClasses.bytesOf(ProtectTest.class.getName());

    @TempDir Path dir;

    // Classes are named by their class files, wherever they lie. The versioned copy of the main
    // class has a class file version that ASM does not know yet: embedded, it becomes a minimal
    // carrier with a warning (loading one is the hostile sweep's).
    @ParameterizedTest
    @ValueSource(strings = {"embedded", "container"})
    void eachKindOfEntryIsProtectedOrCopiedAsItShouldBe(String form) throws Exception {
        byte[] future = named("app/Main");
        future[7] = 99;
        Map<String, String> protectedAs = Map.of("app/Main.class", "app/Main",
                "META-INF/versions/11/app/Main.class", "app/Main",
                "app/util/Moved.class", "app/Moved"); // not excluded: its class is not in app.util
        Map<String, byte[]> kept = Map.of("app/util/Helper.class", named("app/util/Helper"),
                "module-info.class", named("module-info"), "META-INF/versions/11/module-info.class",
                named("module-info"), "com/kelo/rvs/Runtime.class", named("com/kelo/rvs/Runtime"),
                "notes.class", "not a class file".getBytes());
        List<Object> entries = new ArrayList<>(List.of("META-INF/MANIFEST.MF", MANIFEST,
                "META-INF/APP.SF", "x", "META-INF/sisu/javax.inject.Named", "index", "app/", ""));
        protectedAs.forEach((path, name) -> entries.addAll(List.of(path,
                path.startsWith("META-INF") ? future : named(name))));
        kept.forEach((path, data) -> entries.addAll(List.of(path, data)));
        File in = jar(dir.resolve("app.jar").toFile(), entries.toArray());
        File out = dir.resolve("protected.jar").toFile();
        boolean embedded = form.equals("embedded");
        Run run = Run.of("protect", in.getPath(), "-o", out.getPath(), "--exclude", "app.util.*",
                "--form", form).expect(0, ": 3 classes protected (" + form + ")"
                        + (embedded ? ", 1 as minimal carriers" : "") + ", 5 left as they were,"
                        + " 3 other entries copied, 1 signature file dropped; " + in.length()
                        + " -> " + out.length() + " bytes", "warning: " + in + " is signed");
        assertEquals(!embedded,
                run.err().contains("component index (META-INF/sisu/javax.inject.Named)"));
        assertEquals(embedded, run.err().contains(
                "warning: META-INF/versions/11/app/Main.class: ASM cannot read it"));
        byte[] zip = Files.readAllBytes(out.toPath());
        assertNull(read(zip, "META-INF/APP.SF"));
        assertArrayEquals("index".getBytes(), read(zip, "META-INF/sisu/javax.inject.Named"));
        kept.forEach((path, data) -> assertArrayEquals(data, read(zip, path), path));
        for (Map.Entry<String, String> p : protectedAs.entrySet()) {
            byte[] data = read(zip, p.getKey());
            assertArrayEquals(p.getKey().startsWith("META") ? future : named(p.getValue()),
                    Containers.unwrap(embedded ? EmbeddedContainers.extract(data, p.getValue())
                            : data), p.getKey());
        }
        Run.of("inspect", Files.write(dir.resolve("Main.class"), read(zip, "app/Main.class"))
                .toString()).expect(0, embedded ? "carrier class app/Main, "
                : "class kind", "decodes to a class file of " + future.length);
        try (JarInputStream jar = new JarInputStream(new FileInputStream(out))) { // manifest first
            Attributes main = jar.getManifest().getMainAttributes();
            assertEquals(List.of("app.Main", "ALL-UNNAMED"),
                    List.of(main.getValue("Main-Class"), main.getValue("Enable-Native-Access")));
        }
    }

    // An ear holding a war holding the application's jar, stored as nested jars must stay, and a
    // damaged one; the patterns reach into each.
    @ParameterizedTest
    @ValueSource(booleans = {true, false})
    void archivesInsideAreProtectedWithTheSamePatterns(boolean nested) throws Exception {
        byte[] lib = Files.readAllBytes(jar(dir.resolve("lib.jar").toFile(), "lib/Util.class",
                named("lib/Util"), "lib/Skip.class", named("lib/Skip")).toPath());
        byte[] war = Files.readAllBytes(jar(dir.resolve("app.war").toFile(),
                "WEB-INF/classes/web/Hi.class", named("web/Hi"), stored("WEB-INF/lib/lib.jar", lib),
                lib, "WEB-INF/lib/bad.jar", "PK, but no archive").toPath());
        Run run = Run.of(Stream.of("protect", jar(dir.resolve("app.ear").toFile(), "app.war", war)
                .getPath(), "-o", dir + "/out.ear", "--exclude", "lib.Skip", nested ? null
                : "--no-nested").filter(Objects::nonNull).toArray(String[]::new));
        byte[] war2 = read(Files.readAllBytes(dir.resolve("out.ear")), "app.war");
        assertEquals(!nested, Arrays.equals(war, war2));
        if (!nested) {
            run.expect(0, ": 0 classes protected (embedded), 0 left as they were, 1 other entry");
            return;
        }
        run.expect(0, "0 other entries copied, 1 nested archive protected; ",
                "in app.war: 1 class protected (embedded), 0 left as they were, 1 other entry",
                "in app.war!/WEB-INF/lib/lib.jar: 1 class protected (embedded), 1 left as",
                "warning: " + dir + "/app.ear!/app.war!/WEB-INF/lib/bad.jar is not an archive");
        byte[] lib2 = read(war2, "WEB-INF/lib/lib.jar");
        assertTrue(Carrier.indexOf(war2, lib2, 0) > 0, "stored");
        assertArrayEquals("PK, but no archive".getBytes(), read(war2, "WEB-INF/lib/bad.jar"));
        assertArrayEquals(named("lib/Skip"), read(lib2, "lib/Skip.class"));
        assertTrue(EmbeddedContainers.extract(read(lib2, "lib/Util.class"), "lib/Util").length
                * EmbeddedContainers.extract(read(war2, "WEB-INF/classes/web/Hi.class"), "web/Hi")
                        .length > 0);
    }

    // Each untouched entry's local header, data and descriptor are found in the output as they
    // were; a protected class keeps its header fields and stays stored.
    @Test
    void entriesKeepTheirBytesOrFieldsAndTheResultIsReproducible() throws Exception {
        byte[] main = named("app/Main");
        File in = jar(dir.resolve("app.jar").toFile(), "META-INF/MANIFEST.MF", PLAIN,
                stored("notes.txt", "notes".getBytes()), "notes".getBytes(), "z/deflated.txt",
                "text ".repeat(50), stored("app/Main.class", main), main, "the archive's comment");
        byte[] input = Files.readAllBytes(in.toPath());
        List<byte[]> outputs = new ArrayList<>();
        for (String name : List.of("one.jar", "two.jar")) {
            Run.of("protect", in.getPath(), "-o", dir.resolve(name).toString()).expect(0);
            outputs.add(Files.readAllBytes(dir.resolve(name)));
        }
        assertArrayEquals(outputs.get(0), outputs.get(1));
        // Protected again, it comes back as it was: its classes were protected before.
        Run.of("protect", dir + "/one.jar", "-o", dir + "/again.jar").expect(0);
        assertArrayEquals(outputs.get(0), Files.readAllBytes(dir.resolve("again.jar")));
        Function<ZipEntry, List<Object>> fields = e -> List.of(e.getMethod(), e.getTime(),
                Arrays.toString(e.getExtra()), String.valueOf(e.getComment()));
        try (ZipFile a = new ZipFile(in); ZipFile b = new ZipFile(dir + "/one.jar")) {
            assertEquals(a.stream().map(ZipEntry::getName).toList(),
                    b.stream().map(ZipEntry::getName).toList());
            assertEquals("the archive's comment", b.getComment());
            for (ZipEntry x : a.stream().toList()) {
                assertEquals(fields.apply(x), fields.apply(b.getEntry(x.getName())));
                assertEquals(!x.getName().endsWith(".class"),
                        Carrier.indexOf(outputs.get(0), raw(input, x), 0) >= 0, x.getName());
            }
        }
    }

    /** The entry's local header, data and data descriptor, as the archive holds them. */
    private static byte[] raw(byte[] zip, ZipEntry e) {
        int at = Carrier.indexOf(zip, e.getName().getBytes(), 0) - 30;
        return Arrays.copyOfRange(zip, at, at + 30 + e.getName().length() + ZipArchive.u2(zip,
                at + 28) + (int) e.getCompressedSize() + ((zip[at + 6] & 8) != 0 ? 16 : 0));
    }

    // Bytes set in a valid jar: from the central directory's start, or (negative) the file's end.
    @ParameterizedTest
    @CsvSource({"8, 1, 1, is encrypted", "-12, 2, 255, a Zip64 archive",
        "-6, 1, 9, the local header of a.txt is missing", "-22, 4, 0, not a zip archive"})
    void damagedOrUnsupportedArchivesAreRefusedAndLeaveNoOutput(int at, int n, int value,
            String message) throws Exception {
        byte[] data = Files.readAllBytes(jar(dir.resolve("app.jar").toFile(), "a.txt", "a")
                .toPath());
        int from = at >= 0 ? (int) ZipArchive.u4(data, data.length - 6) + at : data.length + at;
        Arrays.fill(data, from, from + n, (byte) value);
        Run.of("protect", Files.write(dir.resolve("bad.jar"), data) + "", "-o", dir + "/out.jar")
                .expect(1, "kelo-pack: ", message);
        assertEquals(List.of("app.jar", "bad.jar"), Files.list(dir).map(p -> p.getFileName()
                .toString()).sorted().toList());
    }

    // Running such a jar with `java -jar` is the agent test's; this is what it cannot show.
    @Test
    void theRuntimeReplacesTheApplicationsCopyOfItAndNeedsAMainClass() throws Exception {
        File runtime = jar(dir.resolve("kelo-rvs.jar").toFile(), "META-INF/MANIFEST.MF", PLAIN,
                "com/kelo/rvs/Launcher.class", classFile, "com/kelo/rvs/native/lib.so", "so");
        Object[] entries = {"META-INF/MANIFEST.MF", MANIFEST, "app/Main.class", classFile,
            "com/kelo/rvs/Launcher.class", "an older copy"};
        String out = dir.resolve("self.jar").toString();
        Run.of("protect", jar(dir.resolve("app.jar").toFile(), entries).getPath(), "-o", out,
                "--runtime-jar", runtime.getPath()).expect(0, "the runtime added (2 entries)");
        assertArrayEquals(classFile, read(Files.readAllBytes(Path.of(out)),
                "com/kelo/rvs/Launcher.class"));
        entries[1] = PLAIN;
        Run.of("protect", jar(dir.resolve("library.jar").toFile(), entries).getPath(), "-o", out,
                "--runtime-jar", runtime.getPath())
                .expect(1, "names no Main-Class, which a jar with the runtime needs");
    }

    @Test
    void piecesEachFitOneConstantPoolEntryAndJoinToTheContainer() throws Exception {
        // Random bytes behind the magic do not compress: a container of several full pieces.
        byte[] big = new byte[190_000];
        new Random(1).nextBytes(big);
        System.arraycopy(Containers.CLASS_MAGIC, 0, big, 0, 4);
        byte[] container = Containers.wrap(big, new WrapOptions());
        List<String> pieces = Carrier.pieces("com/example/Big", container, 0);
        assertEquals(4, pieces.size(), "190 kB in pieces of just under 64 kB of text");
        assertEquals(List.of(), pieces.stream()
                .filter(p -> Carrier.utf8Length(p) > Carrier.MAX_UTF8_LENGTH).toList());
        assertArrayEquals(container, EmbeddedContainers.extract(
                Carrier.build("com/example/Big", container, 1000), "com/example/Big"));
    }
}
