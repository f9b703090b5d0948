package com.kelo.pack;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.Inflater;

/**
 * A zip archive held in memory, read from its central directory, and its {@link Writer}. What the
 * packer leaves alone is written back as it was read: each entry's local header, compressed data
 * and data descriptor, and its central directory record. Loaders of nested jars read stored
 * entries in place, and reproducible builds compare archives byte for byte; java.util.zip's
 * writer would re-deflate everything and drop fields it does not know.
 */
final class ZipArchive {
    static final int STORED = 0;
    static final int DEFLATED = 8;

    private static final int LOCAL = 0x04034b50;
    private static final int CENTRAL = 0x02014b50;
    private static final int END = 0x06054b50;
    private static final int ZIP64_LOCATOR = 0x07064b50;
    private static final int DESCRIPTOR = 0x08074b50;
    private static final int LOCAL_LENGTH = 30;
    private static final int CENTRAL_LENGTH = 46;
    private static final int END_LENGTH = 22;
    private static final int FLAG_ENCRYPTED = 1;
    private static final int FLAG_DESCRIPTOR = 8;

    /** In central directory order. */
    final List<Entry> entries;
    /** What comes before the first entry, such as the launch script of an executable archive. */
    final byte[] prefix;
    final byte[] comment;

    private ZipArchive(List<Entry> entries, byte[] prefix, byte[] comment) {
        this.entries = entries;
        this.prefix = prefix;
        this.comment = comment;
    }

    /** One entry: its records in the archive's bytes. */
    static final class Entry {
        final String name;
        final int method;
        private final byte[] archive;
        private final byte[] central;
        private final int local;
        private final int dataStart;
        private final int end;
        private final long crc;
        private final long packedSize;
        private final long size;

        private Entry(String name, byte[] archive, byte[] central, int local, int dataStart,
                int end) {
            this.name = name;
            this.archive = archive;
            this.central = central;
            this.local = local;
            this.dataStart = dataStart;
            this.end = end;
            method = u2(central, 10);
            crc = u4(central, 16);
            packedSize = u4(central, 20);
            size = u4(central, 24);
        }

        boolean isDirectory() {
            return name.endsWith("/");
        }

        /**
         * @return the uncompressed bytes, their CRC-32 checked
         * @throws PackException for a compression method other than stored and deflated, or
         *     damaged data
         */
        byte[] content() throws PackException {
            if (size > Integer.MAX_VALUE - 8) {
                throw new PackException(name + " is too large (" + size + " bytes)");
            }
            byte[] out;
            if (method == STORED) {
                out = Arrays.copyOfRange(archive, dataStart, dataStart + (int) packedSize);
            } else if (method == DEFLATED) {
                out = inflate();
            } else {
                throw new PackException(name + " is compressed with method " + method
                        + ", which the packer cannot read");
            }
            if (out.length != size || Containers.crc32(out, 0, out.length) != crc) {
                throw new PackException(name + " is damaged: its size or CRC-32 does not match");
            }
            return out;
        }

        private byte[] inflate() throws PackException {
            Inflater inflater = new Inflater(true);
            try {
                inflater.setInput(archive, dataStart, (int) packedSize);
                byte[] out = new byte[(int) size];
                int n = 0;
                while (n < out.length && !inflater.finished()) {
                    int got = inflater.inflate(out, n, out.length - n);
                    if (got == 0 && (inflater.needsInput() || inflater.needsDictionary())) {
                        break;
                    }
                    n += got;
                }
                return n == out.length ? out : Arrays.copyOf(out, n);
            } catch (DataFormatException e) {
                throw new PackException(name + " is damaged: " + e.getMessage(), e);
            } finally {
                inflater.end();
            }
        }
    }

    /** @return the entry of that name, or null */
    Entry entry(String name) {
        for (Entry e : entries) {
            if (e.name.equals(name)) {
                return e;
            }
        }
        return null;
    }

    /**
     * Reads the central directory and checks that every entry's records lie within the bytes.
     *
     * @throws PackException if the bytes are not a zip archive, or one the packer does not write
     *     back (Zip64, split, encrypted)
     */
    static ZipArchive read(byte[] data) throws PackException {
        int end = findEnd(data);
        if (end >= 20 && u4(data, end - 20) == ZIP64_LOCATOR || u2(data, end + 10) == 0xFFFF
                || u4(data, end + 12) == 0xFFFFFFFFL || u4(data, end + 16) == 0xFFFFFFFFL) {
            throw new PackException("a Zip64 archive (over 65535 entries or 4 GB), which the"
                    + " packer does not support");
        }
        if (u2(data, end + 4) != 0 || u2(data, end + 6) != 0) {
            throw new PackException("an archive split over several files");
        }
        int count = u2(data, end + 10);
        long size = u4(data, end + 12);
        long start = end - size;
        // Bytes put before the archive without moving its offsets (a script joined with cat).
        long shift = start - u4(data, end + 16);
        if (start < 0 || shift < 0) {
            throw damaged("the central directory lies outside the file");
        }
        List<Entry> entries = new ArrayList<>(count);
        int first = (int) start;
        int at = (int) start;
        for (int i = 0; i < count; i++) {
            if (at + CENTRAL_LENGTH > end || u4(data, at) != CENTRAL) {
                throw damaged("central directory record " + i + " is missing");
            }
            int recordLength = CENTRAL_LENGTH + u2(data, at + 28) + u2(data, at + 30)
                    + u2(data, at + 32);
            if (at + recordLength > end) {
                throw damaged("central directory record " + i + " is cut short");
            }
            byte[] central = Arrays.copyOfRange(data, at, at + recordLength);
            String name = new String(data, at + CENTRAL_LENGTH, u2(data, at + 28),
                    StandardCharsets.UTF_8);
            entries.add(entry(data, central, name, shift + u4(central, 42), (int) start));
            first = Math.min(first, entries.get(i).local);
            at += recordLength;
        }
        return new ZipArchive(Collections.unmodifiableList(entries),
                Arrays.copyOf(data, first), Arrays.copyOfRange(data, end + END_LENGTH,
                        end + END_LENGTH + u2(data, end + 20)));
    }

    private static Entry entry(byte[] data, byte[] central, String name, long local, int limit)
            throws PackException {
        int flags = u2(central, 8);
        if ((flags & FLAG_ENCRYPTED) != 0) {
            throw new PackException(name + " is encrypted, which the packer does not support");
        }
        long packedSize = u4(central, 20);
        if (packedSize == 0xFFFFFFFFL || u4(central, 24) == 0xFFFFFFFFL
                || u4(central, 42) == 0xFFFFFFFFL) {
            throw new PackException(name + " has Zip64 sizes, which the packer does not support");
        }
        if (local + LOCAL_LENGTH > limit || u4(data, (int) local) != LOCAL) {
            throw damaged("the local header of " + name + " is missing");
        }
        int at = (int) local;
        long dataEnd = at + LOCAL_LENGTH + u2(data, at + 26) + u2(data, at + 28) + packedSize;
        long end = dataEnd;
        if ((flags & FLAG_DESCRIPTOR) != 0) {
            end += dataEnd + 4 <= limit && u4(data, (int) dataEnd) == DESCRIPTOR ? 16 : 12;
        }
        if (end > limit) {
            throw damaged("the data of " + name + " goes beyond its place");
        }
        return new Entry(name, data, central, at, (int) (dataEnd - packedSize), (int) end);
    }

    /** The end of central directory record: the last one whose comment ends within the file. */
    private static int findEnd(byte[] data) throws PackException {
        for (int at = data.length - END_LENGTH; at >= 0 && at >= data.length - END_LENGTH - 0xFFFF;
                at--) {
            if (u4(data, at) == END && at + END_LENGTH + u2(data, at + 20) <= data.length) {
                return at;
            }
        }
        throw new PackException("not a zip archive (no end of central directory)");
    }

    private static PackException damaged(String what) {
        return new PackException("a damaged zip archive: " + what);
    }

    static int u2(byte[] b, int at) {
        return (b[at] & 0xFF) | (b[at + 1] & 0xFF) << 8;
    }

    static long u4(byte[] b, int at) {
        return u2(b, at) | (long) u2(b, at + 2) << 16;
    }

    private static void put4(byte[] b, int at, long value) {
        for (int i = 0; i < 4; i++) {
            b[at + i] = (byte) (value >>> (8 * i));
        }
    }

    /** Writes entries, copied or changed, then the central directory. */
    static final class Writer {
        private final OutputStream out;
        private final ByteArrayOutputStream central = new ByteArrayOutputStream();
        private long position;
        private int count;

        Writer(OutputStream out, byte[] prefix) throws IOException {
            this.out = out;
            write(prefix, 0, prefix.length);
        }

        /** Writes the entry as it was. */
        void copy(Entry e) throws IOException, PackException {
            record(e.central.clone());
            write(e.archive, e.local, e.end - e.local);
        }

        /**
         * Writes new content under the entry's header: name, time, extra fields, comment and
         * method stay; sizes and CRC-32 are the new content's, in the local header.
         */
        void replace(Entry e, byte[] content) throws IOException, PackException {
            byte[] data = content;
            if (e.method == DEFLATED) {
                data = deflate(content);
            } else if (e.method != STORED) {
                throw new PackException(e.name + ": compression method " + e.method
                        + " cannot be written");
            }
            long crc = Containers.crc32(content, 0, content.length);
            byte[] local = Arrays.copyOfRange(e.archive, e.local, e.dataStart);
            byte[] record = e.central.clone();
            sizes(local, 6, crc, data.length, content.length);
            sizes(record, 8, crc, data.length, content.length);
            record(record);
            write(local, 0, local.length);
            write(data, 0, data.length);
        }

        // No data descriptor; the CRC-32 and sizes start 8 bytes after the flags in both headers.
        private static void sizes(byte[] header, int flags, long crc, int packed, int size) {
            header[flags] &= ~FLAG_DESCRIPTOR;
            put4(header, flags + 8, crc);
            put4(header, flags + 12, packed);
            put4(header, flags + 16, size);
        }

        /** Ends the archive with its central directory and comment. */
        void finish(byte[] comment) throws IOException, PackException {
            if (count > 0xFFFF) {
                throw new PackException("the result would have over 65535 entries, which needs"
                        + " Zip64");
            }
            long start = position;
            byte[] directory = central.toByteArray();
            write(directory, 0, directory.length);
            byte[] end = new byte[END_LENGTH];
            put4(end, 0, END);
            end[8] = end[10] = (byte) count;
            end[9] = end[11] = (byte) (count >>> 8);
            put4(end, 12, directory.length);
            put4(end, 16, start);
            end[20] = (byte) comment.length;
            end[21] = (byte) (comment.length >>> 8);
            write(end, 0, end.length);
            write(comment, 0, comment.length);
        }

        private void record(byte[] record) throws PackException {
            if (position > 0xFFFFFFFFL) {
                throw new PackException("the result would be over 4 GB, which needs Zip64");
            }
            put4(record, 42, position);
            central.write(record, 0, record.length);
            count++;
        }

        private void write(byte[] b, int offset, int length) throws IOException {
            out.write(b, offset, length);
            position += length;
        }

        private static byte[] deflate(byte[] content) {
            Deflater deflater = new Deflater(Deflater.DEFAULT_COMPRESSION, true);
            try {
                deflater.setInput(content);
                deflater.finish();
                ByteArrayOutputStream out = new ByteArrayOutputStream(content.length / 2 + 64);
                byte[] buffer = new byte[8192];
                while (!deflater.finished()) {
                    out.write(buffer, 0, deflater.deflate(buffer));
                }
                return out.toByteArray();
            } finally {
                deflater.end();
            }
        }
    }
}
