package com.kelo.pack;

import static com.kelo.pack.TestClasses.u32;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.zip.CRC32;
import java.util.zip.GZIPInputStream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** Containers as the library reads them: header offsets, the gzip member, the round trip. */
class ContainersTest {
    private final byte[] classFile = TestClasses.bytesOf(ContainersTest.class);
    private final int body = classFile.length - 4;

    @Test
    void everyHeaderOptionLandsAtItsOffset() throws Exception {
        WrapOptions o = new WrapOptions();
        o.suspendThreads = true;
        o.formatVersion = 2;
        o.headerLength = 80;
        o.minJava = new int[] {1, 8, 0};
        o.maxJava = new int[] {17, 0, 9};
        byte[] c = Containers.wrap(classFile, o);

        assertEquals("KELOCLSF", new String(c, 0, 8, StandardCharsets.US_ASCII));
        assertEquals(0, c[9], "a Java range makes the gate apply");
        assertEquals(2, u32(c, 10) & 0xFFFF);
        assertEquals(80, u32(c, 12) & 0xFFFF);
        assertArrayEquals(new byte[] {1, 8, 0, 0, 17, 0, 0, 9}, Arrays.copyOfRange(c, 14, 22));
        assertEquals(1, c[41]);
        assertEquals(classFile.length, u32(c, 47));
        assertEquals(c.length - 80, u32(c, 51), "packed length: the whole gzip member");
        assertEquals(0x12, c[59], "CRC and suspend-threads");
        CRC32 crc = new CRC32();
        crc.update(classFile, 4, body);
        assertEquals(crc.getValue(), u32(c, 63));
        assertArrayEquals(new byte[5], Arrays.copyOfRange(c, 75, 80),
                "the longer header is zero-filled");
        for (int carried : new int[] {8, 16, 20, 22, 40, 42, 46, 55, 58, 60, 62, 67, 74}) {
            assertEquals(0, c[carried], "carried byte " + carried);
        }
    }

    @ParameterizedTest
    @ValueSource(booleans = {true, false})
    void theClassBytesAreAPlainGzipMemberOrStoredAndTheCrcGuardsThem(boolean compressed)
            throws Exception {
        WrapOptions o = new WrapOptions();
        o.compressed = compressed;
        o.classKind = 7;
        o.minJava = new int[] {1, 6, 0};
        byte[] c = Containers.wrap(classFile, o);
        assertEquals(7, c[9], "an explicit class kind wins over the range");
        assertEquals(compressed ? 1 : 0, c[41]);
        byte[] payload = Arrays.copyOfRange(c, 75, c.length);
        if (compressed) {
            assertArrayEquals(Containers.GZIP_HEADER, Arrays.copyOf(payload, 10));
            assertEquals(body, u32(c, c.length - 4), "ISIZE");
            payload = new GZIPInputStream(new ByteArrayInputStream(payload)).readAllBytes();
        } else {
            assertEquals(0, u32(c, 51), "no packed length");
        }
        assertArrayEquals(Arrays.copyOfRange(classFile, 4, classFile.length), payload);
        assertArrayEquals(classFile, Containers.unwrap(c));
        c[c.length - 20] ^= 1;
        PackException e = assertThrows(PackException.class, () -> Containers.unwrap(c));
        assertTrue(e.getMessage().contains(compressed ? "gzip" : "CRC"), e.getMessage());
    }

    @Test
    void wrapThenInspectFromTheCommandLine(@TempDir Path dir) throws IOException {
        Path in = dir.resolve("A.class");
        Files.write(in, classFile);
        File out = dir.resolve("A.kelo").toFile();
        Run wrap = Run.of("wrap", in.toString(), "-o", out.toString(), "--stored",
                "--suspend-threads", "--java-min", "1.8", "--header-length", "100");
        assertEquals(0, wrap.status, wrap.err);

        Run inspect = Run.of("inspect", out.toString());
        assertEquals(0, inspect.status, inspect.err);
        for (String expected : new String[] {"class kind      0 (the Java version range is checked)",
            "header length   100", "Java versions   1.8.0 to any", "class bytes     stored",
            "class size      " + classFile.length, "options         0x12 crc suspend-threads",
            "check           decodes to a class file of " + classFile.length + " bytes"}) {
            assertTrue(inspect.out.contains(expected), expected + " in\n" + inspect.out);
        }
    }

    @Test
    void badInputAndOptionsAreReportedClearly(@TempDir Path dir) throws IOException {
        Path text = dir.resolve("notes.txt");
        Files.write(text, "not a class file at all, but long enough".getBytes(StandardCharsets.UTF_8));
        String out = dir.resolve("x").toString();

        assertRun(1, "no such file: " + dir.resolve("missing.class"),
                "wrap", dir.resolve("missing.class").toString(), "-o", out);
        assertRun(1, "not a class file", "wrap", text.toString(), "-o", out);
        assertRun(1, "not a jar file", "protect", text.toString(), "-o", out);
        assertRun(1, "not a class container", "inspect", text.toString());
        assertRun(2, "unknown option for wrap: --frobnicate", "wrap", "--frobnicate");
        assertRun(2, "unknown option for wrap: --form", "wrap", text.toString(), "--form", "embedded");
        assertRun(2, "--form must be container or embedded", "protect", "--form", "zip");
        assertRun(2, "--level needs a number from 0 to 9, not 10", "wrap", "--level", "10");
        assertRun(2, "--java-max needs a version", "wrap", "--java-max", "1.8.0.1");
        assertRun(2, "--header-length needs a number from 75", "wrap", "--header-length", "74");
        assertRun(2, "no output file given", "wrap", text.toString());
        assertRun(2, "unknown command: pack", "pack");
        assertEquals(0, Run.of("--help").status);
        assertTrue(Run.of("protect", "--help").out.contains("fewer numbers"), "the gate's limit");
    }

    private static void assertRun(int status, String message, String... args) {
        Run run = Run.of(args);
        assertEquals(status, run.status, run.err);
        assertTrue(run.err.contains(message), message + " in " + run.err);
    }

    /** One run of the packer's command line. */
    static final class Run {
        int status;
        String out;
        String err;

        static Run of(String... args) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            ByteArrayOutputStream err = new ByteArrayOutputStream();
            Run run = new Run();
            try (PrintStream o = new PrintStream(out, true, "UTF-8");
                    PrintStream e = new PrintStream(err, true, "UTF-8")) {
                run.status = Main.run(args, o, e);
                run.out = out.toString("UTF-8");
                run.err = err.toString("UTF-8");
            } catch (IOException e) {
                throw new AssertionError(e);
            }
            return run;
        }
    }
}
