package com.kelo.pack;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.util.Arrays;
import java.util.zip.CRC32;
import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.Inflater;

/** Builds class containers from class files and decodes them again. */
public final class Containers {
    /** The class file magic, which a container does not store. */
    static final byte[] CLASS_MAGIC = {(byte) 0xCA, (byte) 0xFE, (byte) 0xBA, (byte) 0xBE};

    /**
     * The only gzip header the library inflates: deflate, no flags, no time, no extra flags, and
     * system byte 0. Neither GZIPOutputStream (system byte 0xFF from JDK 16) nor zlib (extra
     * flags 2 at level 9) writes exactly this, so the member is assembled here.
     */
    static final byte[] GZIP_HEADER = {0x1F, (byte) 0x8B, 8, 0, 0, 0, 0, 0, 0, 0};

    // Bytes taken by each constant kind from 3 (integer) to 20 (package), tag included; 0 for none.
    private static final String CONSTANT_SIZES = "559933555500435533";

    /** The shortest class file the library delivers. */
    static final int MIN_CLASS_SIZE = 32;

    private Containers() {}

    /** @return whether the bytes start with the class file magic */
    public static boolean isClassFile(byte[] data) {
        return data.length >= 4 && startsWith(data, CLASS_MAGIC);
    }

    /**
     * Reads the name a class file gives itself (this_class) by walking its constant pool, which
     * works for class file versions that ASM does not know yet.
     *
     * @return the internal name, or null for a damaged class file or a constant kind not known here
     */
    public static String className(byte[] classFile) {
        try {
            int count = u2(classFile, 8);
            int[] offsets = new int[count];
            int at = 10;
            for (int i = 1; i < count; i++) {
                offsets[i] = at;
                int tag = classFile[at];
                if (tag == 1) {
                    at += 3 + u2(classFile, at + 1);
                } else if (tag == 5 || tag == 6) {
                    at += 9; // a long or a double takes two entries
                    i++;
                } else if (tag >= 3 && tag <= 20 && CONSTANT_SIZES.charAt(tag - 3) != '0') {
                    at += CONSTANT_SIZES.charAt(tag - 3) - '0';
                } else {
                    return null;
                }
            }
            int thisClass = offsets[u2(classFile, at + 2)]; // after the access flags
            int name = offsets[u2(classFile, thisClass + 1)];
            if (classFile[thisClass] != 7 || classFile[name] != 1) {
                return null;
            }
            return new DataInputStream(new ByteArrayInputStream(classFile, name + 1,
                    classFile.length - name - 1)).readUTF();
        } catch (IndexOutOfBoundsException | IOException e) {
            return null;
        }
    }

    private static int u2(byte[] data, int offset) {
        return (data[offset] & 0xFF) << 8 | (data[offset + 1] & 0xFF);
    }

    /**
     * Wraps a class file into a container.
     *
     * @throws PackException if the bytes are not a class file
     */
    public static byte[] wrap(byte[] classFile, WrapOptions options) throws PackException {
        if (!isClassFile(classFile)) {
            throw new PackException("not a class file (it does not start with CA FE BA BE)");
        }
        if (classFile.length < MIN_CLASS_SIZE) {
            throw new PackException("too short for a class file (" + classFile.length + " bytes)");
        }
        int bodyLength = classFile.length - 4;
        ContainerHeader header = new ContainerHeader();
        header.classKind = options.effectiveClassKind();
        header.formatVersion = options.formatVersion;
        header.headerLength = options.headerLength;
        if (options.minJava != null) {
            header.minJava = options.minJava.clone();
        }
        if (options.maxJava != null) {
            header.maxJava = options.maxJava.clone();
        }
        header.classSize = classFile.length;
        header.compressed = options.compressed;
        header.options = (options.crc ? ContainerHeader.OPTION_CRC : 0)
                | (options.suspendThreads ? ContainerHeader.OPTION_SUSPEND_THREADS : 0);
        header.classCrc = crc32(classFile, 4, bodyLength);
        byte[] payload = options.compressed
                ? gzip(classFile, 4, bodyLength, options.level)
                : Arrays.copyOfRange(classFile, 4, classFile.length);
        header.packedLength = options.compressed ? payload.length : 0;

        ByteArrayOutputStream out = new ByteArrayOutputStream(header.headerLength + payload.length);
        out.write(header.toBytes(), 0, header.headerLength);
        out.write(payload, 0, payload.length);
        return out.toByteArray();
    }

    /** One gzip member of the range, with the plain header and the CRC-32 and ISIZE trailer. */
    static byte[] gzip(byte[] data, int offset, int length, int level) {
        ByteArrayOutputStream out = new ByteArrayOutputStream(length / 2 + 64);
        out.write(GZIP_HEADER, 0, GZIP_HEADER.length);
        Deflater deflater = new Deflater(level, true);
        try {
            deflater.setInput(data, offset, length);
            deflater.finish();
            byte[] buffer = new byte[8192];
            while (!deflater.finished()) {
                int n = deflater.deflate(buffer);
                out.write(buffer, 0, n);
            }
        } finally {
            deflater.end();
        }
        writeIntLE(out, crc32(data, offset, length));
        writeIntLE(out, length);
        return out.toByteArray();
    }

    /**
     * Decodes a container the way the library does.
     *
     * @return the class file: the magic, then the decoded payload
     * @throws PackException naming the first thing that would make the library refuse it
     */
    public static byte[] unwrap(byte[] container) throws PackException {
        ContainerHeader h = ContainerHeader.parse(container);
        if (h.formatVersion < 1 || h.formatVersion > ContainerHeader.CURRENT_FORMAT_VERSION) {
            throw new PackException("format version " + h.formatVersion
                    + " is not accepted (1 to " + ContainerHeader.CURRENT_FORMAT_VERSION + ")");
        }
        if (h.headerLength > container.length) {
            throw new PackException("header length " + h.headerLength
                    + " goes beyond the container's " + container.length + " bytes");
        }
        if (h.classSize < MIN_CLASS_SIZE || h.classSize > Integer.MAX_VALUE) {
            throw new PackException("class size " + h.classSize + " is not a class file's");
        }
        int bodyLength = (int) h.classSize - 4;
        int available = container.length - h.headerLength;
        byte[] body;
        if (h.compressed) {
            if (h.packedLength > available) {
                throw new PackException("the gzip member (" + h.packedLength
                        + " bytes) goes beyond the container");
            }
            body = gunzip(container, h.headerLength, (int) h.packedLength, bodyLength);
        } else {
            if (bodyLength > available) {
                throw new PackException("the stored class bytes end early: " + available
                        + " of " + bodyLength + " bytes");
            }
            body = Arrays.copyOfRange(container, h.headerLength, h.headerLength + bodyLength);
        }
        if ((h.options & ContainerHeader.OPTION_CRC) != 0 && crc32(body, 0, bodyLength) != h.classCrc) {
            throw new PackException("the CRC-32 of the class bytes does not match the header's");
        }
        byte[] classFile = new byte[(int) h.classSize];
        System.arraycopy(CLASS_MAGIC, 0, classFile, 0, 4);
        System.arraycopy(body, 0, classFile, 4, bodyLength);
        return classFile;
    }

    private static byte[] gunzip(byte[] data, int offset, int length, int expected)
            throws PackException {
        if (length < GZIP_HEADER.length + 8
                || !Arrays.equals(Arrays.copyOfRange(data, offset, offset + GZIP_HEADER.length),
                        GZIP_HEADER)) {
            throw new PackException("the gzip member does not start with the plain 10-byte header");
        }
        int trailer = offset + length - 8;
        long crc = readIntLE(data, trailer);
        long size = readIntLE(data, trailer + 4);
        if (size != expected) {
            throw new PackException("the gzip member holds " + size + " bytes, the header says "
                    + expected);
        }
        Inflater inflater = new Inflater(true);
        try {
            inflater.setInput(data, offset + GZIP_HEADER.length, length - GZIP_HEADER.length - 8);
            byte[] out = new byte[expected];
            int n = 0;
            while (n < expected && !inflater.finished()) {
                int got = inflater.inflate(out, n, expected - n);
                if (got == 0 && (inflater.needsInput() || inflater.needsDictionary())) {
                    break;
                }
                n += got;
            }
            if (n != expected || !inflater.finished()) {
                throw new PackException("the gzip member does not inflate to " + expected + " bytes");
            }
            if (crc32(out, 0, n) != crc) {
                throw new PackException("the gzip member's CRC-32 does not match its data");
            }
            return out;
        } catch (DataFormatException e) {
            throw new PackException("the gzip member is damaged: " + e.getMessage(), e);
        } finally {
            inflater.end();
        }
    }

    static long crc32(byte[] data, int offset, int length) {
        CRC32 crc = new CRC32();
        crc.update(data, offset, length);
        return crc.getValue();
    }

    private static void writeIntLE(ByteArrayOutputStream out, long value) {
        for (int i = 0; i < 4; i++) {
            out.write((int) (value >>> (8 * i)) & 0xFF);
        }
    }

    static long readIntLE(byte[] data, int offset) {
        return (data[offset] & 0xFFL) | (data[offset + 1] & 0xFFL) << 8
                | (data[offset + 2] & 0xFFL) << 16 | (data[offset + 3] & 0xFFL) << 24;
    }

    static boolean startsWith(byte[] data, byte[] prefix) {
        if (data.length < prefix.length) {
            return false;
        }
        for (int i = 0; i < prefix.length; i++) {
            if (data[i] != prefix[i]) {
                return false;
            }
        }
        return true;
    }
}
