package com.kelo.pack;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;

/**
 * The header of a class container: 75 bytes, little-endian, possibly followed by more header
 * bytes that the library carries along. Offsets are those the library reads.
 */
public final class ContainerHeader {
    /** The bytes every container starts with. */
    public static final byte[] SIGNATURE = "KELOCLSF".getBytes(StandardCharsets.US_ASCII);
    /** The length of the header record, and the shortest header a container can have. */
    public static final int LENGTH = 75;
    /** The newest container format; the library accepts 1 to 3. */
    public static final int CURRENT_FORMAT_VERSION = 3;

    public static final int OFFSET_CLASS_KIND = 9;
    public static final int OFFSET_FORMAT_VERSION = 10;
    public static final int OFFSET_HEADER_LENGTH = 12;
    public static final int OFFSET_MIN_JAVA = 14;
    public static final int OFFSET_MAX_JAVA = 18;
    public static final int OFFSET_COMPRESSED = 41;
    public static final int OFFSET_CLASS_SIZE = 47;
    public static final int OFFSET_PACKED_LENGTH = 51;
    public static final int OFFSET_OPTIONS = 59;
    public static final int OFFSET_CLASS_CRC = 63;

    /** Option bit: loading the class switches the library's thread suspension on. */
    public static final int OPTION_SUSPEND_THREADS = 0x02;
    /** Option bit: the library compares the CRC-32 of the class bytes with the header's. */
    public static final int OPTION_CRC = 0x10;

    /** 0: the Java version gate applies; any other value: it does not. */
    public int classKind = 1;
    public int formatVersion = CURRENT_FORMAT_VERSION;
    public int headerLength = LENGTH;
    /** Major, minor and micro number; all zero means no bound. */
    public int[] minJava = new int[3];
    public int[] maxJava = new int[3];
    public boolean compressed;
    /** The length of the class file the container delivers, magic included. */
    public long classSize;
    /** The length of the gzip member, when compressed. */
    public long packedLength;
    public int options;
    /** The CRC-32 of the class file's bytes after the magic. */
    public long classCrc;

    /** @return the header as it is written: {@link #headerLength} bytes, the extra ones zero */
    public byte[] toBytes() {
        ByteBuffer b = ByteBuffer.allocate(headerLength).order(ByteOrder.LITTLE_ENDIAN);
        b.put(SIGNATURE);
        b.put(OFFSET_CLASS_KIND, (byte) classKind);
        b.putShort(OFFSET_FORMAT_VERSION, (short) formatVersion);
        b.putShort(OFFSET_HEADER_LENGTH, (short) headerLength);
        putVersion(b, OFFSET_MIN_JAVA, minJava);
        putVersion(b, OFFSET_MAX_JAVA, maxJava);
        b.put(OFFSET_COMPRESSED, (byte) (compressed ? 1 : 0));
        b.putInt(OFFSET_CLASS_SIZE, (int) classSize);
        b.putInt(OFFSET_PACKED_LENGTH, (int) packedLength);
        b.put(OFFSET_OPTIONS, (byte) options);
        b.putInt(OFFSET_CLASS_CRC, (int) classCrc);
        return b.array();
    }

    // The byte after the minor number is not part of the version; the micro number follows it.
    private static void putVersion(ByteBuffer b, int offset, int[] version) {
        b.put(offset, (byte) version[0]);
        b.put(offset + 1, (byte) version[1]);
        b.put(offset + 3, (byte) version[2]);
    }

    /**
     * Reads a header.
     *
     * @throws PackException if the bytes do not start with a container header
     */
    public static ContainerHeader parse(byte[] data) throws PackException {
        if (!isContainer(data)) {
            throw new PackException("not a class container (no " + LENGTH
                    + "-byte header starting with KELOCLSF)");
        }
        ByteBuffer b = ByteBuffer.wrap(data).order(ByteOrder.LITTLE_ENDIAN);
        ContainerHeader h = new ContainerHeader();
        h.classKind = data[OFFSET_CLASS_KIND] & 0xFF;
        h.formatVersion = b.getShort(OFFSET_FORMAT_VERSION) & 0xFFFF;
        h.headerLength = b.getShort(OFFSET_HEADER_LENGTH) & 0xFFFF;
        h.minJava = version(data, OFFSET_MIN_JAVA);
        h.maxJava = version(data, OFFSET_MAX_JAVA);
        h.compressed = data[OFFSET_COMPRESSED] != 0;
        h.classSize = b.getInt(OFFSET_CLASS_SIZE) & 0xFFFFFFFFL;
        h.packedLength = b.getInt(OFFSET_PACKED_LENGTH) & 0xFFFFFFFFL;
        h.options = data[OFFSET_OPTIONS] & 0xFF;
        h.classCrc = b.getInt(OFFSET_CLASS_CRC) & 0xFFFFFFFFL;
        return h;
    }

    private static int[] version(byte[] data, int offset) {
        return new int[] {data[offset] & 0xFF, data[offset + 1] & 0xFF, data[offset + 3] & 0xFF};
    }

    /** @return whether the bytes are long enough for a header and start with the signature */
    public static boolean isContainer(byte[] data) {
        if (data.length < LENGTH) {
            return false;
        }
        for (int i = 0; i < SIGNATURE.length; i++) {
            if (data[i] != SIGNATURE[i]) {
                return false;
            }
        }
        return true;
    }

    /** @return the version as major.minor.micro */
    public static String versionText(int[] version) {
        return version[0] + "." + version[1] + "." + version[2];
    }

    static boolean isZero(int[] version) {
        return version[0] == 0 && version[1] == 0 && version[2] == 0;
    }
}
