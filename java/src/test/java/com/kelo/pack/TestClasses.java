package com.kelo.pack;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;

/** Class files to pack: real ones from the test jar. */
final class TestClasses {
    private TestClasses() {}

    static byte[] bytesOf(Class<?> c) {
        String resource = "/" + c.getName().replace('.', '/') + ".class";
        try {
            return readAll(c.getResourceAsStream(resource));
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    static byte[] readAll(InputStream stream) throws IOException {
        try (InputStream in = stream) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[4096];
            for (int n; (n = in.read(buffer)) > 0;) {
                out.write(buffer, 0, n);
            }
            return out.toByteArray();
        }
    }

    static int u16(byte[] b, int offset) {
        return (b[offset] & 0xFF) | (b[offset + 1] & 0xFF) << 8;
    }

    static long u32(byte[] b, int offset) {
        return u16(b, offset) | (long) u16(b, offset + 2) << 16;
    }
}
