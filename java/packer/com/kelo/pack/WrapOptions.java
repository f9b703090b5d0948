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
}
