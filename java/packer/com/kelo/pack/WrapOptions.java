package com.kelo.pack;

/** How a class file is wrapped into a container. The defaults give a compressed, checked container. */
public final class WrapOptions {
    public boolean compressed = true;
    /** The deflate level of compressed containers, 0 to 9. */
    public int level = 9;
    public boolean crc = true;
    public boolean suspendThreads;
    /** The class kind, or null: 0 when a Java range is given, else 1 (no version gate). */
    public Integer classKind;
    public int formatVersion = ContainerHeader.CURRENT_FORMAT_VERSION;
    public int headerLength = ContainerHeader.LENGTH;
    /** Major, minor and micro number, or null for no bound. */
    public int[] minJava;
    public int[] maxJava;

    int effectiveClassKind() {
        if (classKind != null) {
            return classKind;
        }
        return minJava != null || maxJava != null ? 0 : 1;
    }

    /**
     * Reads a Java version bound as the options take it.
     *
     * @return major, minor and micro from X, X.Y or X.Y.Z; each 0 to 255
     * @throws PackException naming what a version needs
     */
    public static int[] javaVersion(String text) throws PackException {
        String[] parts = text.split("\\.", -1);
        int[] version = new int[3];
        boolean ok = parts.length <= 3;
        for (int p = 0; ok && p < parts.length; p++) {
            ok = parts[p].matches("[0-9]{1,3}") && Integer.parseInt(parts[p]) <= 255;
            version[p] = ok ? Integer.parseInt(parts[p]) : 0;
        }
        if (!ok) {
            throw new PackException("needs a version such as 1.8.0 or 17.0.2 (numbers 0 to 255),"
                    + " not " + text);
        }
        return version;
    }
}
