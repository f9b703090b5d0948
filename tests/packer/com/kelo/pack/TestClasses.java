package com.kelo.pack;

import static java.nio.charset.StandardCharsets.UTF_8;
import static org.junit.jupiter.api.Assertions.*;

import java.io.*;
import java.util.zip.*;
import org.objectweb.asm.ClassWriter;

/** What the packer's tests share: real class files, jars, runs of the command line. */
final class TestClasses {
    private TestClasses() {}

    /** The class file of a class of the tests, by its binary name. */
    static byte[] bytesOf(String name) {
        try (InputStream in = TestClasses.class.getResourceAsStream(
                "/" + name.replace('.', '/') + ".class")) {
            return in.readAllBytes();
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** A class file that names itself so, with nothing in it. */
    static byte[] named(String internalName) {
        ClassWriter writer = new ClassWriter(0);
        writer.visit(52, 1, internalName, null, "java/lang/Object", null); // Java 8, public
        return writer.toByteArray();
    }

    /**
     * A jar of name (or entry) and content pairs; text content stands for its UTF-8 bytes. An odd
     * last element is the archive's comment.
     */
    static File jar(File file, Object... entries) throws IOException {
        try (ZipOutputStream out = new ZipOutputStream(new FileOutputStream(file))) {
            for (int i = 0; i + 1 < entries.length; i += 2) {
                Object name = entries[i], data = entries[i + 1];
                out.putNextEntry(name instanceof ZipEntry e ? e : new ZipEntry((String) name));
                out.write(data instanceof String ? ((String) data).getBytes(UTF_8) : (byte[]) data);
            }
            out.setComment(entries.length % 2 == 1 ? (String) entries[entries.length - 1] : null);
        }
        return file;
    }

    /** An entry to store uncompressed, with an extra field and a comment. */
    static ZipEntry stored(String name, byte[] data) {
        ZipEntry entry = new ZipEntry(name);
        entry.setMethod(ZipEntry.STORED);
        entry.setSize(data.length);
        CRC32 crc = new CRC32();
        crc.update(data);
        entry.setCrc(crc.getValue());
        entry.setExtra(new byte[] {0x34, 0x12, 2, 0, 7, 7});
        entry.setComment("about " + name);
        return entry;
    }

    /** The content of an archive's entry, found in the archive's order; null when it has none. */
    static byte[] read(byte[] zip, String name) {
        try (ZipInputStream in = new ZipInputStream(new ByteArrayInputStream(zip))) {
            for (ZipEntry e; (e = in.getNextEntry()) != null;) {
                if (e.getName().equals(name)) {
                    return in.readAllBytes();
                }
            }
            return null;
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** One run of the packer's command line. */
    record Run(int status, String out, String err) {
        static Run of(String... args) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            ByteArrayOutputStream err = new ByteArrayOutputStream();
            int status = Main.run(args, new PrintStream(out, true, UTF_8),
                    new PrintStream(err, true, UTF_8));
            return new Run(status, out.toString(UTF_8), err.toString(UTF_8));
        }

        /** Asserts the status, and that the output (standard or error) holds every text. */
        Run expect(int expected, String... texts) {
            assertEquals(expected, status, out + err);
            for (String text : texts) {
                assertTrue((out + err).contains(text), text + " in\n" + out + err);
            }
            return this;
        }
    }
}
