package com.kelo.pack;

import static java.nio.ByteOrder.LITTLE_ENDIAN;
import static java.nio.charset.StandardCharsets.*;
import static org.junit.jupiter.api.Assertions.*;

import com.kelo.pack.TestClasses.Run;
import com.kelo.rvs.format.EmbeddedContainers;
import java.io.*;
import java.nio.ByteBuffer;
import java.nio.file.*;
import java.util.*;
import java.util.regex.*;
import java.util.stream.Stream;
import java.util.zip.*;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.*;

/**
 * Containers as the library reads them: the header, the gzip member, the round trip, the tool,
 * and containers embedded in carrier class files.
 */
class ContainersTest {
    private final byte[] classFile = TestClasses.bytesOf(ContainersTest.class.getName());

    // Made and read back by the command line. A class kind wins; without it, a Java range makes
    // the kind 0.
    @ParameterizedTest
    @ValueSource(booleans = {true, false})
    void theHeaderHoldsEveryOptionAndTheClassBytesAPlainGzipMemberOrThemselves(boolean compressed,
            @TempDir Path dir) throws Exception {
        Path in = Files.write(dir.resolve("A.class"), classFile);
        String out = dir.resolve("A.kelo").toString();
        Run.of(("wrap " + in + " -o " + out + (compressed ? "" : " --stored --class-kind 7")
                + " --suspend-threads --format-version 2 --header-length 80 --java-min 1.8"
                + " --java-max 17.0.9").split(" ")).expect(0);
        Run.of("inspect", out).expect(0, "header length   80", "Java versions   1.8.0 to 17.0.9",
                compressed ? "class kind      0 (the Java version range is checked)"
                        : "class bytes     stored", "class size      " + classFile.length,
                "options         0x12 crc suspend-threads",
                "check           decodes to a class file of " + classFile.length + " bytes");
        byte[] c = Files.readAllBytes(Path.of(out));
        byte[] payload = Arrays.copyOfRange(c, 80, c.length);
        CRC32 crc = new CRC32();
        crc.update(classFile, 4, classFile.length - 4);
        // Options 0x12: CRC and suspend-threads. The record's other bytes are carried as zero, and
        // the longer header is zero-filled.
        ByteBuffer h = ByteBuffer.allocate(80).order(LITTLE_ENDIAN).put("KELOCLSF".getBytes());
        h.put(9, (byte) (compressed ? 0 : 7)).putShort(10, (short) 2).putShort(12, (short) 80);
        h.put(14, new byte[] {1, 8, 0, 0, 17, 0, 0, 9}).put(41, (byte) (compressed ? 1 : 0));
        h.putInt(47, classFile.length).putInt(51, compressed ? payload.length : 0);
        h.put(59, (byte) 0x12).putInt(63, (int) crc.getValue());
        assertArrayEquals(h.array(), Arrays.copyOf(c, 80));
        if (compressed) { // the one gzip header the library inflates, and ISIZE
            assertArrayEquals(new byte[] {0x1F, (byte) 0x8B, 8, 0, 0, 0, 0, 0, 0, 0},
                    Arrays.copyOf(payload, 10));
            assertEquals(classFile.length - 4,
                    ByteBuffer.wrap(c).order(LITTLE_ENDIAN).getInt(c.length - 4));
            payload = new GZIPInputStream(new ByteArrayInputStream(payload)).readAllBytes();
        }
        assertArrayEquals(Arrays.copyOfRange(classFile, 4, classFile.length), payload);
        assertArrayEquals(classFile, Containers.unwrap(c));
        c[c.length - 20] ^= 1;
        String error = assertThrows(PackException.class, () -> Containers.unwrap(c)).getMessage();
        assertTrue(error.contains(compressed ? "gzip" : "CRC"), error);
    }

    static Stream<String[]> carrierVectors() throws Exception {
        String file = System.getProperty("kelo.carrierVectors");
        assertNotNull(file, "-Dkelo.carrierVectors names tests/data/carrier-vectors.txt");
        return Files.readAllLines(Path.of(file), ISO_8859_1).stream()
                .filter(line -> !line.isEmpty() && !line.startsWith("#"))
                .map(line -> line.split(" ", 4));
    }

    // The file describes its format at its top; the library's reader walks it too.
    @ParameterizedTest(name = "{3}")
    @MethodSource("carrierVectors")
    void theCompanionsReaderFindsTheContainerOfEachCarrierVector(String name, String carrier,
            String container, String why) {
        assertArrayEquals(bytes(container), EmbeddedContainers.extract(bytes(carrier),
                new String(bytes(name), UTF_8)), why);
    }

    /** A field of the vectors file: \xHH is the byte HH, "-" no bytes at all. */
    private static byte[] bytes(String field) {
        return (field.equals("-") ? "" : Pattern.compile("\\\\x(..)").matcher(field).replaceAll(
                m -> Matcher.quoteReplacement(Character.toString(Integer.parseInt(m.group(1), 16)))))
                .getBytes(ISO_8859_1);
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', textBlock = """
            1 | no such file: DIR/missing.class            | wrap DIR/missing.class -o DIR/x
            1 | not a class file                           | wrap DIR/notes.txt -o DIR/x
            1 | not a class container                      | inspect DIR/notes.txt
            2 | unknown option for wrap: --form            | wrap DIR/notes.txt --form embedded
            2 | --form must be container or embedded       | protect --form zip
            2 | --level needs a number from 0 to 9, not 10 | wrap --level 10
            2 | --java-max needs a version                 | wrap --java-max 1.8.0.1
            2 | --header-length needs a number from 75     | wrap --header-length 74
            2 | no output file given                       | wrap DIR/notes.txt
            """)
    void badInputAndOptionsAreReportedClearly(int status, String message, String args,
            @TempDir Path dir) throws Exception {
        Files.writeString(dir.resolve("notes.txt"), "not a class file at all, but long enough");
        String where = dir.toString();
        Run.of(args.replace("DIR", where).split(" ")).expect(status, message.replace("DIR", where));
    }
}
