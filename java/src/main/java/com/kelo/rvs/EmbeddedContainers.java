package com.kelo.rvs;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.Base64;

/**
 * Class containers embedded in ordinary class files: the container, cut into pieces, each piece
 * Base64 text between the tags {@code <KeloClassData#name#00000>} and
 * {@code </KeloClassData#name#00000>}, where name is the class's internal name (with slashes)
 * and the number counts the pieces from 0. The library's class-load hook unwraps them the same
 * way as {@link #extract}: tags of other classes are ignored, and the pieces end with the first
 * number whose tags are missing.
 */
public final class EmbeddedContainers {
    /** The word in every tag. */
    public static final String TAG_WORD = "KeloClassData";

    private EmbeddedContainers() {}

    /**
     * The text of one tag.
     *
     * @param internalName the class name with slashes
     * @param index the piece number, written with at least five digits
     * @param opening the opening tag, else the closing one
     */
    public static String tag(String internalName, int index, boolean opening) {
        return (opening ? "<" : "</") + TAG_WORD + "#" + internalName + "#"
                + String.format("%05d", index) + ">";
    }

    /**
     * Joins the decoded pieces that a class file carries for a class.
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
            int end = start < 0 ? -1 : indexOf(classFile, close, start);
            if (start <= 0 || end <= 0) {
                return result.toByteArray();
            }
            int textStart = start + open.length;
            if (end >= textStart && (end - textStart) % 4 == 0) {
                String text = new String(classFile, textStart, end - textStart,
                        StandardCharsets.ISO_8859_1);
                try {
                    byte[] piece = Base64.getDecoder().decode(text);
                    result.write(piece, 0, piece.length);
                } catch (IllegalArgumentException e) {
                    // Not Base64: the piece adds nothing, and the joined container is refused.
                }
            }
            position = end;
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
