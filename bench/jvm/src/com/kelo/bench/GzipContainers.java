package com.kelo.bench;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.GZIPInputStream;

/**
 * Class containers decoded in Java, as an application would do it without the native library:
 * skip the 75-byte header, inflate the gzip member with {@link GZIPInputStream} and put the
 * class-file magic in front.
 */
public final class GzipContainers {
    private static final int HEADER_LENGTH = 75;
    private static final int CLASS_SIZE_OFFSET = 47;
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
        int classSize = (container[CLASS_SIZE_OFFSET] & 0xFF)
                | (container[CLASS_SIZE_OFFSET + 1] & 0xFF) << 8
                | (container[CLASS_SIZE_OFFSET + 2] & 0xFF) << 16
                | (container[CLASS_SIZE_OFFSET + 3] & 0xFF) << 24;
        byte[] classFile = new byte[classSize];
        classFile[0] = (byte) 0xCA;
        classFile[1] = (byte) 0xFE;
        classFile[2] = (byte) 0xBA;
        classFile[3] = (byte) 0xBE;
        try (InputStream in = new GZIPInputStream(new ByteArrayInputStream(container,
                HEADER_LENGTH, container.length - HEADER_LENGTH))) {
            // Read to the end, so that the gzip trailer (CRC and length) is checked.
            if (in.readNBytes(classFile, 4, classSize - 4) != classSize - 4 || in.read() != -1) {
                throw new IOException("The container does not hold " + classSize + " bytes");
            }
        }
        return classFile;
    }
}
