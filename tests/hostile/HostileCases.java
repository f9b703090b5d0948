package com.kelo.rvs;

import com.kelo.pack.ContainerHeader;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Set;

/**
 * Damaged forms of one real container: every truncation, and every header field set to 0, 1, its
 * largest value and its true value plus and minus one. A class kind of 0 would run the Java
 * version gate, which ends the JVM when it fails; such cases are counted as skipped instead.
 */
final class HostileCases {
    /** One damaged container and what was done to it. */
    static final class Case {
        final String label;
        final byte[] data;

        Case(String label, byte[] data) {
            this.label = label;
            this.data = data;
        }
    }

    /** A header field: where it starts and how many bytes it has. */
    private static final class Field {
        final String name;
        final int offset;
        final int width;

        Field(String name, int offset, int width) {
            this.name = name;
            this.offset = offset;
            this.width = width;
        }
    }

    private static final List<Field> FIELDS = new ArrayList<>();

    static {
        for (int i = 0; i < ContainerHeader.SIGNATURE.length; i++) {
            FIELDS.add(new Field("signature[" + i + "]", i, 1));
        }
        FIELDS.add(new Field("classKind", ContainerHeader.OFFSET_CLASS_KIND, 1));
        FIELDS.add(new Field("formatVersion", ContainerHeader.OFFSET_FORMAT_VERSION, 2));
        FIELDS.add(new Field("headerLength", ContainerHeader.OFFSET_HEADER_LENGTH, 2));
        for (int i = 0; i < 4; i++) {
            FIELDS.add(new Field("minJava[" + i + "]", ContainerHeader.OFFSET_MIN_JAVA + i, 1));
            FIELDS.add(new Field("maxJava[" + i + "]", ContainerHeader.OFFSET_MAX_JAVA + i, 1));
        }
        FIELDS.add(new Field("compressed", ContainerHeader.OFFSET_COMPRESSED, 1));
        FIELDS.add(new Field("classSize", ContainerHeader.OFFSET_CLASS_SIZE, 4));
        FIELDS.add(new Field("packedLength", ContainerHeader.OFFSET_PACKED_LENGTH, 4));
        FIELDS.add(new Field("options", ContainerHeader.OFFSET_OPTIONS, 1));
        FIELDS.add(new Field("classCrc", ContainerHeader.OFFSET_CLASS_CRC, 4));
    }

    final List<Case> cases = new ArrayList<>();
    int skippedClassKind0;

    HostileCases(byte[] container) {
        for (int length = 0; length < container.length; length++) {
            cases.add(new Case("truncated to " + length, Arrays.copyOf(container, length)));
        }
        for (Field field : FIELDS) {
            long max = (1L << (8 * field.width)) - 1;
            long value = read(container, field);
            Set<Long> values = new LinkedHashSet<>(
                    Arrays.asList(0L, 1L, max, (value + 1) & max, (value - 1) & max));
            for (long changed : values) {
                if (field.offset == ContainerHeader.OFFSET_CLASS_KIND && changed == 0) {
                    skippedClassKind0++;
                    continue;
                }
                byte[] data = container.clone();
                write(data, field, changed);
                cases.add(new Case(field.name + " = " + changed, data));
            }
        }
    }

    private static long read(byte[] data, Field field) {
        long value = 0;
        for (int i = field.width - 1; i >= 0; i--) {
            value = value << 8 | (data[field.offset + i] & 0xFF);
        }
        return value;
    }

    private static void write(byte[] data, Field field, long value) {
        for (int i = 0; i < field.width; i++) {
            data[field.offset + i] = (byte) (value >>> (8 * i));
        }
    }
}
