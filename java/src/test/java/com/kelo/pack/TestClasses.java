package com.kelo.pack;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;

/** Class files to pack, real ones from the test jar, and the header's little-endian numbers. */
final class TestClasses {
    private TestClasses() {}

    static byte[] bytesOf(Class<?> c) {
        try (InputStream in = c.getResourceAsStream("/" + c.getName().replace('.', '/') + ".class")) {
            return in.readAllBytes();
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    static long u32(byte[] b, int offset) {
        return java.nio.ByteBuffer.wrap(b, offset, 4).order(java.nio.ByteOrder.LITTLE_ENDIAN)
                .getInt() & 0xFFFFFFFFL;
    }
}
