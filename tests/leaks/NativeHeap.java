package com.kelo.rvs;

/** The process's C heap, as glibc counts it. */
final class NativeHeap {
    /** The system property that names the test library holding {@link #bytesInUse}. */
    static final String LIBRARY_PROPERTY = "kelo.rvs.test.nativeHeap";

    static {
        String library = System.getProperty(LIBRARY_PROPERTY);
        if (library == null) {
            throw new IllegalStateException(LIBRARY_PROPERTY + " is not set");
        }
        System.load(new java.io.File(library).getAbsolutePath());
    }

    private NativeHeap() {}

    /** @return the bytes allocated by malloc and not freed, in every arena and mapping */
    static native long bytesInUse();
}
