package com.kelo.rvs.format;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.Locale;

/**
 * Class containers embedded in ordinary class files: the container, cut into pieces, each piece
 * Base64 text between the tags {@code <KeloClassData#name#00000>} and
 * {@code </KeloClassData#name#00000>}, where name is the class's internal name (with slashes)
 * and the number counts the pieces from 0. The library's class-load hook unwraps them by the
 * same rules as {@link #extract}, which docs/FORMAT.md states and tests/data/carrier-vectors.txt
 * pins down for both.
 */
public final class EmbeddedContainers {
    /** The word in every tag. */
    public static final String TAG_WORD = "KeloClassData";

    private static final String ALPHABET =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // The value of each byte as a Base64 character; "=" and bytes outside the alphabet are 0.
    private static final byte[] VALUES = new byte[256];

    static {
        for (int i = 0; i < ALPHABET.length(); i++) {
            VALUES[ALPHABET.charAt(i)] = (byte) i;
        }
    }

    private EmbeddedContainers() {}

    /**
     * The text of one tag.
     *
     * @param internalName the class name with slashes
     * @param index the piece number, written with at least five digits
     * @param opening the opening tag, else the closing one
     */
    public static String tag(String internalName, int index, boolean opening) {
        // The root locale: the default one may write other digits than 0 to 9.
        return (opening ? "<" : "</") + TAG_WORD + "#" + internalName + "#"
                + String.format(Locale.ROOT, "%05d", index) + ">";
    }

    /** Whether a class file carries the opening tag of the first piece for that class name. */
    public static boolean carries(byte[] classFile, String internalName) {
        return indexOf(classFile, tag(internalName, 0, true).getBytes(StandardCharsets.UTF_8), 0)
                > 0;
    }

    /**
     * Joins the decoded pieces that a class file carries for a class: pieces 0, 1, ... up to the
     * first number whose tags are missing, each looked for after the one before. Tags of other
     * classes are ignored. Nothing is refused: a damaged piece makes a container that the
     * library refuses.
     *
     * @param classFile the class file's bytes
     * @param internalName the class name with slashes
     * @return the container, empty when the class file carries none for that name
     */
    public static byte[] extract(byte[] classFile, String internalName) {
        ByteArrayOutputStream result = new ByteArrayOutputStream();
        int position = 0;
        for (int index = 0;; index++) {
            byte[] open = tag(internalName, index, true).getBytes(StandardCharsets.UTF_8);
            byte[] close = tag(internalName, index, false).getBytes(StandardCharsets.UTF_8);
            int start = indexOf(classFile, open, position);
            // A class file begins with its magic, so no tag stands at 0.
            int end = start <= 0 ? -1 : indexOf(classFile, close, start + open.length);
            if (end < 0) {
                return result.toByteArray();
            }
            decode(classFile, start + open.length, end, result);
            position = end;
        }
    }

    /**
     * Appends the bytes of the Base64 text in [from, to) as the library decodes it: text whose
     * length is not a multiple of four adds nothing; every character counts, "=" and those
     * outside the alphabet as 0; each character from the first "=" on takes one byte off the end.
     */
    private static void decode(byte[] text, int from, int to, ByteArrayOutputStream out) {
        if ((to - from) % 4 != 0) {
            return;
        }
        int length = (to - from) / 4 * 3;
        for (int i = from; i < to; i++) {
            if (text[i] == '=') {
                length -= Math.min(length, to - i);
                break;
            }
        }
        for (int i = from; length > 0; i += 4) {
            int group = VALUES[text[i] & 0xFF] << 18 | VALUES[text[i + 1] & 0xFF] << 12
                    | VALUES[text[i + 2] & 0xFF] << 6 | VALUES[text[i + 3] & 0xFF];
            for (int shift = 16; shift >= 0 && length > 0; shift -= 8, length--) {
                out.write(group >> shift);
            }
        }
    }

    static int indexOf(byte[] data, byte[] pattern, int from) {
        int last = data.length - pattern.length;
        outer:
        for (int i = Math.max(from, 0); i <= last; i++) {
            for (int j = 0; j < pattern.length; j++) {
                if (data[i + j] != pattern[j]) {
                    continue outer;
                }
            }
            return i;
        }
        return -1;
    }
}
