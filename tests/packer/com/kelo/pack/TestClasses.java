package com.kelo.pack;

import static java.nio.charset.StandardCharsets.UTF_8;
import static org.junit.jupiter.api.Assertions.*;

import java.io.*;
import java.util.zip.*;

/** What the packer's tests share: real class files, jars, runs of the command line. */
final class TestClasses {
    private TestClasses() {}

    static byte[] bytesOf(Class<?> c) {
        String name = "/" + c.getName().replace('.', '/') + ".class";
        try (InputStream in = c.getResourceAsStream(name)) {
            return in.readAllBytes();
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** A jar of name and content pairs; text content stands for its UTF-8 bytes. */
    static File jar(File file, Object... entries) throws IOException {
        try (ZipOutputStream out = new ZipOutputStream(new FileOutputStream(file))) {
            for (int i = 0; i < entries.length; i += 2) {
                out.putNextEntry(new ZipEntry((String) entries[i]));
                Object data = entries[i + 1];
                out.write(data instanceof String ? ((String) data).getBytes(UTF_8) : (byte[]) data);
            }
        }
        return file;
    }

    static byte[] read(ZipFile zip, String name) throws IOException {
        return zip.getInputStream(zip.getEntry(name)).readAllBytes(); // none: NullPointerException
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
