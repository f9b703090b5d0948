package com.kelo.pack;

import com.kelo.rvs.format.EmbeddedContainers;
import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.util.ArrayList;
import java.util.Base64;
import java.util.List;

/**
 * Carrier class files: valid class files of the protected class's name that hold its container as
 * tagged Base64 pieces in constant-pool strings, one piece per entry. The library's class-load
 * hook replaces a carrier by the class in its container. Loaded without the hook, the carrier's
 * static initializer throws an {@link Error} saying that the class is protected. The embedded form
 * writes {@link Skeleton skeletons}; the minimal carrier here is its fallback, with an empty
 * {@code main} so that the java launcher reaches that initializer.
 */
public final class Carrier {
    /** The most bytes a CONSTANT_Utf8 entry holds. */
    static final int MAX_UTF8_LENGTH = 65535;

    private static final int CLASS_FILE_MAJOR = 52; // Java 8: any JVM the companion runs on
    private static final int CONSTANT_UTF8 = 1;
    private static final int CONSTANT_CLASS = 7;
    private static final int CONSTANT_STRING = 8;
    private static final int CONSTANT_METHODREF = 10;
    private static final int CONSTANT_NAME_AND_TYPE = 12;

    private Carrier() {}

    /** @return the text of the carrier's error for a class, given by its internal name */
    public static String protectedMessage(String internalName) {
        return "Class " + internalName.replace('/', '.') + " is protected by KeloRvs4J32 and cannot"
                + " run without the library: start the JVM with -javaagent:kelo-rvs.jar, or the"
                + " application through com.kelo.rvs.Launcher";
    }

    /** @return the most container bytes one piece can hold for this class name */
    static int maxPieceBytes(String internalName) {
        int tags = utf8Length(EmbeddedContainers.tag(internalName, 0, true))
                + utf8Length(EmbeddedContainers.tag(internalName, 0, false));
        return (MAX_UTF8_LENGTH - tags) / 4 * 3;
    }

    /**
     * Cuts a container into tagged Base64 pieces, each of which fits one constant-pool string.
     *
     * @param internalName the class name with slashes
     * @param pieceBytes container bytes per piece, at most {@link #maxPieceBytes}; 0 for that
     * @throws PackException if the name leaves no room for a piece, or there are too many
     */
    static List<String> pieces(String internalName, byte[] container, int pieceBytes)
            throws PackException {
        int max = maxPieceBytes(internalName);
        if (max < 3) {
            throw new PackException("class name too long for an embedded container: " + internalName);
        }
        int piece = pieceBytes <= 0 ? max : Math.min(pieceBytes, max);
        List<String> pieces = new ArrayList<>();
        for (int offset = 0, index = 0; offset < container.length; offset += piece, index++) {
            int length = Math.min(piece, container.length - offset);
            byte[] part = new byte[length];
            System.arraycopy(container, offset, part, 0, length);
            pieces.add(EmbeddedContainers.tag(internalName, index, true)
                    + Base64.getEncoder().encodeToString(part)
                    + EmbeddedContainers.tag(internalName, index, false));
        }
        if (pieces.size() + 18 > 0xFFFF) {
            throw new PackException("container too large to embed: " + container.length + " bytes");
        }
        return pieces;
    }

    /**
     * Builds a minimal carrier: no declarations of the protected class, only the error and an
     * empty {@code main}. For class files that {@link Skeleton} cannot read.
     *
     * @param internalName the class name with slashes
     * @param container the container to carry
     * @param pieceBytes container bytes per piece, at most {@link #maxPieceBytes}; 0 for that
     * @throws PackException if the name leaves no room for a piece
     */
    public static byte[] build(String internalName, byte[] container, int pieceBytes)
            throws PackException {
        List<String> pieces = pieces(internalName, container, pieceBytes);
        try {
            return classFile(internalName, protectedMessage(internalName), pieces);
        } catch (IOException e) {
            throw new UncheckedIOException(e); // a byte array does not fail
        }
    }

    private static byte[] classFile(String name, String message, List<String> pieces)
            throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        DataOutputStream out = new DataOutputStream(bytes);
        out.writeInt(0xCAFEBABE);
        out.writeShort(0);
        out.writeShort(CLASS_FILE_MAJOR);
        out.writeShort(18 + pieces.size()); // entries 1 to 17, then one per piece
        utf8(out, name);                            // 1
        ref(out, CONSTANT_CLASS, 1);                // 2 this class
        utf8(out, "java/lang/Object");              // 3
        ref(out, CONSTANT_CLASS, 3);                // 4 super class
        utf8(out, "java/lang/Error");               // 5
        ref(out, CONSTANT_CLASS, 5);                // 6
        utf8(out, "<init>");                        // 7
        utf8(out, "(Ljava/lang/String;)V");         // 8
        out.writeByte(CONSTANT_NAME_AND_TYPE);      // 9
        out.writeShort(7);
        out.writeShort(8);
        out.writeByte(CONSTANT_METHODREF);          // 10 Error.<init>(String)
        out.writeShort(6);
        out.writeShort(9);
        utf8(out, message);                         // 11
        ref(out, CONSTANT_STRING, 11);              // 12
        utf8(out, "<clinit>");                      // 13
        utf8(out, "()V");                           // 14
        utf8(out, "Code");                          // 15
        utf8(out, "main");                          // 16
        utf8(out, "([Ljava/lang/String;)V");        // 17
        for (String piece : pieces) {               // 18 on, in order
            utf8(out, piece);
        }
        out.writeShort(0x0031); // public final super
        out.writeShort(2);
        out.writeShort(4);
        out.writeShort(0); // interfaces
        out.writeShort(0); // fields
        out.writeShort(2); // methods
        // static { throw new Error(message); }
        method(out, 0x0008, 13, 14, 3, 0, new byte[] {
            (byte) 0xBB, 0, 6,      // new java/lang/Error
            (byte) 0x59,            // dup
            (byte) 0x12, 12,        // ldc message
            (byte) 0xB7, 0, 10,     // invokespecial Error.<init>(String)
            (byte) 0xBF             // athrow
        });
        // public static void main(String[] args) {}
        method(out, 0x0009, 16, 17, 0, 1, new byte[] {(byte) 0xB1});
        out.writeShort(0); // class attributes
        out.flush();
        return bytes.toByteArray();
    }

    private static void method(DataOutputStream out, int access, int name, int descriptor,
            int maxStack, int maxLocals, byte[] code) throws IOException {
        out.writeShort(access);
        out.writeShort(name);
        out.writeShort(descriptor);
        out.writeShort(1);
        out.writeShort(15); // Code
        out.writeInt(12 + code.length);
        out.writeShort(maxStack);
        out.writeShort(maxLocals);
        out.writeInt(code.length);
        out.write(code);
        out.writeShort(0); // exception table
        out.writeShort(0); // attributes
    }

    private static void utf8(DataOutputStream out, String text) throws IOException {
        out.writeByte(CONSTANT_UTF8);
        out.writeUTF(text); // modified UTF-8 with its length, as class files store strings
    }

    private static void ref(DataOutputStream out, int tag, int index) throws IOException {
        out.writeByte(tag);
        out.writeShort(index);
    }

    /** The length of the text in modified UTF-8. */
    static int utf8Length(String text) {
        int length = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            length += c >= 1 && c <= 0x7F ? 1 : c <= 0x7FF ? 2 : 3;
        }
        return length;
    }

    /**
     * Finds the class name of the first tag in a class file, so that a carrier can be read
     * without knowing its name.
     *
     * @return the internal name, or null when there is no tag
     */
    static String taggedName(byte[] classFile) {
        byte[] start = ("<" + EmbeddedContainers.TAG_WORD + "#").getBytes(
                java.nio.charset.StandardCharsets.US_ASCII);
        int at = indexOf(classFile, start, 0);
        if (at < 0) {
            return null;
        }
        int from = at + start.length;
        int end = from;
        while (end < classFile.length && classFile[end] != '#' && classFile[end] != '>') {
            end++;
        }
        return end < classFile.length && classFile[end] == '#'
                ? new String(classFile, from, end - from, java.nio.charset.StandardCharsets.UTF_8)
                : null;
    }

    static int indexOf(byte[] data, byte[] pattern, int from) {
        outer:
        for (int i = from; i <= data.length - pattern.length; i++) {
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
