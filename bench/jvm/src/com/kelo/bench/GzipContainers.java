package com.kelo.bench;

import java.io.IOException;
import java.util.zip.CRC32;
import java.util.zip.DataFormatException;
import java.util.zip.Inflater;

/**
 * Class containers decoded in Java, as a careful application would do it without the native
 * library: skip the 75-byte header and the plain 10-byte gzip header, inflate the deflate data
 * with {@link Inflater} straight into an array of the class's size behind the class-file magic,
 * and check the gzip trailer's CRC-32 and length.
 */
public final class GzipContainers {
    private static final int HEADER_LENGTH = 75;
    private static final int CLASS_SIZE_OFFSET = 47;
    private static final int PACKED_LENGTH_OFFSET = 51;
    private static final int GZIP_HEADER_LENGTH = 10;
    private static final int GZIP_TRAILER_LENGTH = 8;
    private static final byte[] SIGNATURE = {'K', 'E', 'L', 'O', 'C', 'L', 'S', 'F'};

    private GzipContainers() {}

    public static boolean isContainer(byte[] data) {
        if (data.length < HEADER_LENGTH) {
            return false;
        }
        for (int i = 0; i < SIGNATURE.length; i++) {
            if (data[i] != SIGNATURE[i]) {
                return false;
            }
        }
        return true;
    }

    /**
     * The class file that a gzip container holds.
     *
     * @throws IOException if the gzip member is damaged or does not hold the size the header gives
     */
    public static byte[] decode(byte[] container) throws IOException {
        int classSize = int32(container, CLASS_SIZE_OFFSET);
        int packedLength = int32(container, PACKED_LENGTH_OFFSET);
        int trailer = HEADER_LENGTH + packedLength - GZIP_TRAILER_LENGTH;
        // A plain gzip header: magic, deflate, no flags.
        if (classSize < 4 || packedLength < GZIP_HEADER_LENGTH + GZIP_TRAILER_LENGTH
                || trailer + GZIP_TRAILER_LENGTH > container.length
                || int32(container, HEADER_LENGTH) != 0x00088B1F) {
            throw new IOException("Not a gzip container of " + classSize + " bytes");
        }
        byte[] classFile = new byte[classSize];
        classFile[0] = (byte) 0xCA;
        classFile[1] = (byte) 0xFE;
        classFile[2] = (byte) 0xBA;
        classFile[3] = (byte) 0xBE;
        Inflater inflater = new Inflater(true);
        try {
            inflater.setInput(container, HEADER_LENGTH + GZIP_HEADER_LENGTH,
                    packedLength - GZIP_HEADER_LENGTH - GZIP_TRAILER_LENGTH);
            if (inflater.inflate(classFile, 4, classSize - 4) != classSize - 4
                    || !inflater.finished()) {
                throw new IOException("The container does not hold " + classSize + " bytes");
            }
        } catch (DataFormatException e) {
            throw new IOException("Damaged gzip member", e);
        } finally {
            inflater.end();
        }
        CRC32 crc = new CRC32();
        crc.update(classFile, 4, classSize - 4);
        if ((int) crc.getValue() != int32(container, trailer)
                || int32(container, trailer + 4) != classSize - 4) {
            throw new IOException("The gzip trailer does not match the class bytes");
        }
        return classFile;
    }

    private static int int32(byte[] bytes, int at) {
        return (bytes[at] & 0xFF) | (bytes[at + 1] & 0xFF) << 8 | (bytes[at + 2] & 0xFF) << 16
                | (bytes[at + 3] & 0xFF) << 24;
    }
}
