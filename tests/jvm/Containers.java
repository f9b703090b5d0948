package com.kelo.rvs;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.zip.CRC32;
import java.util.zip.Deflater;

/** Test data: class containers of the library's format, built from class files. */
final class Containers {
    static final int AT_CLASS_KIND = 9;
    static final int AT_FORMAT_VERSION = 10;
    static final int AT_HEADER_LENGTH = 12;
    static final int AT_MIN_JAVA = 14;
    static final int AT_MAX_JAVA = 18;
    static final int AT_COMPRESSED = 41;
    static final int AT_CLASS_SIZE = 47;
    static final int AT_PACKED_LENGTH = 51;
    static final int AT_OPTIONS = 59;
    static final int AT_CLASS_CRC = 63;

    static final int OPTION_SUSPEND_THREADS = 0x02;
    static final int OPTION_CRC = 0x10;

    /** The only gzip header the library accepts: no flags, no time, system 0. */
    static byte[] plainGzipHeader() {
        return new byte[] {0x1F, (byte) 0x8B, 8, 0, 0, 0, 0, 0, 0, 0};
    }

    /** A form of container; each setter answers this. */
    static final class Shape {
        boolean compressed;
        boolean crc;
        int classKind = 1;
        int formatVersion = 3;
        int headerLength = 75;
        int options;
        byte[] minJava = new byte[4];
        byte[] maxJava = new byte[4];
        byte[] gzipHeader = plainGzipHeader();
        byte[] carried = new byte[0];

        Shape compressed(boolean value) {
            compressed = value;
            return this;
        }

        Shape crc(boolean value) {
            crc = value;
            return this;
        }

        Shape classKind(int value) {
            classKind = value;
            return this;
        }

        Shape formatVersion(int value) {
            formatVersion = value;
            return this;
        }

        Shape headerLength(int value) {
            headerLength = value;
            return this;
        }

        Shape options(int value) {
            options = value;
            return this;
        }

        Shape minJava(int major, int minor, int micro) {
            minJava = new byte[] {(byte) major, (byte) minor, 0, (byte) micro};
            return this;
        }

        Shape gzipHeader(byte[] value) {
            gzipHeader = value.clone();
            return this;
        }

        Shape carried(byte[] value) {
            carried = value.clone();
            return this;
        }
    }

    private Containers() {}

    /** The bytes of a class of this test jar, as the compiler wrote them. */
    static byte[] classBytes(Class<?> type) {
        String resource = "/" + type.getName().replace('.', '/') + ".class";
        try (InputStream in = type.getResourceAsStream(resource)) {
            if (in == null) {
                throw new IllegalStateException("no resource " + resource);
            }
            return in.readAllBytes();
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** One gzip member: the given header (and a file name if its flags ask for one), deflate, CRC-32, length. */
    static byte[] gzipMember(byte[] data, byte[] header) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.write(header, 0, header.length);
        if ((header[3] & 0x08) != 0) {
            byte[] name = "Sample.class\0".getBytes(StandardCharsets.ISO_8859_1);
            out.write(name, 0, name.length);
        }
        Deflater deflater = new Deflater(Deflater.BEST_COMPRESSION, true);
        deflater.setInput(data);
        deflater.finish();
        byte[] chunk = new byte[4096];
        while (!deflater.finished()) {
            int n = deflater.deflate(chunk);
            out.write(chunk, 0, n);
        }
        deflater.end();
        byte[] trailer = ByteBuffer.allocate(8).order(ByteOrder.LITTLE_ENDIAN)
                .putInt((int) crc(data)).putInt(data.length).array();
        out.write(trailer, 0, trailer.length);
        return out.toByteArray();
    }

    static long crc(byte[] data) {
        CRC32 crc = new CRC32();
        crc.update(data);
        return crc.getValue();
    }

    /** A container for the class file, which it stores without its first four bytes. */
    static byte[] build(byte[] classFile, Shape shape) {
        byte[] body = Arrays.copyOfRange(classFile, 4, classFile.length);
        byte[] packed = shape.compressed ? gzipMember(body, shape.gzipHeader) : body;
        ByteBuffer header = ByteBuffer.allocate(Math.max(75, shape.headerLength))
                .order(ByteOrder.LITTLE_ENDIAN);
        header.put("KELOCLSF".getBytes(StandardCharsets.US_ASCII));
        header.put(AT_CLASS_KIND, (byte) shape.classKind);
        header.putShort(AT_FORMAT_VERSION, (short) shape.formatVersion);
        header.putShort(AT_HEADER_LENGTH, (short) shape.headerLength);
        for (int i = 0; i < 4; i++) {
            header.put(AT_MIN_JAVA + i, shape.minJava[i]);
            header.put(AT_MAX_JAVA + i, shape.maxJava[i]);
        }
        header.put(AT_COMPRESSED, (byte) (shape.compressed ? 1 : 0));
        header.putInt(AT_CLASS_SIZE, classFile.length);
        header.putInt(AT_PACKED_LENGTH, shape.compressed ? packed.length : 0);
        header.put(AT_OPTIONS, (byte) (shape.options | (shape.crc ? OPTION_CRC : 0)));
        header.putInt(AT_CLASS_CRC, (int) crc(body));
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.write(header.array(), 0, shape.headerLength);
        out.write(packed, 0, packed.length);
        out.write(shape.carried, 0, shape.carried.length);
        return out.toByteArray();
    }

    static void putInt(byte[] container, int at, int value) {
        ByteBuffer.wrap(container).order(ByteOrder.LITTLE_ENDIAN).putInt(at, value);
    }

    static void putShort(byte[] container, int at, int value) {
        ByteBuffer.wrap(container).order(ByteOrder.LITTLE_ENDIAN).putShort(at, (short) value);
    }
}
