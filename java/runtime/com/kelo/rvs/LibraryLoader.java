package com.kelo.rvs;

import java.io.File;
import java.util.ArrayList;
import java.util.List;

/**
 * Loads the native library once per class loader, from the first of these that works: the file
 * that the system property {@value Runtime#LIBRARY_PROPERTY} names (then no other); the library
 * by its name from {@code java.library.path}; the copy that this jar carries for the running
 * platform ({@link BundledLibrary}).
 */
final class LibraryLoader {
    static final String LIBRARY_NAME = "KeloRvs4J32";

    /** The two ways the JVM loads a library; replaced in tests. */
    interface Linker {
        void load(String absolutePath);

        void loadLibrary(String name);
    }

    // The JVM ties a library to the class loader of the class that loads it: this one's, which
    // is the runtime class's.
    private static final Linker SYSTEM = new Linker() {
        @Override
        public void load(String absolutePath) {
            System.load(absolutePath);
        }

        @Override
        public void loadLibrary(String name) {
            System.loadLibrary(name);
        }
    };

    private static boolean loaded; // guarded by LibraryLoader.class

    private LibraryLoader() {}

    /** Loads the library unless that has succeeded before; a failed attempt is repeated. */
    static synchronized void loadOnce() {
        if (!loaded) {
            load(System.getProperty(Runtime.LIBRARY_PROPERTY), SYSTEM, BundledLibrary.ofThisJvm());
            loaded = true;
        }
    }

    /**
     * Loads the library from an explicit file, or else from the first place that has it. An
     * explicit file is the only one tried: loading some other copy instead would hide the
     * mistake.
     *
     * @param explicitPath the value of the system property, or null
     * @throws UnsatisfiedLinkError naming every place tried and why it failed, with the JVM's
     *     first error as its cause
     */
    static void load(String explicitPath, Linker linker, BundledLibrary bundled) {
        if (explicitPath != null && !explicitPath.trim().isEmpty()) {
            File file = new File(explicitPath).getAbsoluteFile();
            String tried = "the " + LIBRARY_NAME + " library from " + file + " (system property "
                    + Runtime.LIBRARY_PROPERTY + ")";
            if (!file.isFile()) {
                throw new UnsatisfiedLinkError("Cannot load " + tried + ": no such file");
            }
            try {
                linker.load(file.getPath());
            } catch (UnsatisfiedLinkError e) {
                throw failure("Cannot load " + tried + ": " + e.getMessage(), e);
            }
            return;
        }
        List<String> tried = new ArrayList<>();
        UnsatisfiedLinkError first;
        try {
            linker.loadLibrary(LIBRARY_NAME);
            return;
        } catch (UnsatisfiedLinkError e) {
            first = e;
            // The JVM's message names java.library.path.
            tried.add("by name (" + System.mapLibraryName(LIBRARY_NAME) + "): " + e.getMessage());
        }
        if (!bundled.load(linker, tried)) {
            throw failure("Cannot load the " + LIBRARY_NAME + " library for "
                            + bundled.platform() + ". Tried " + String.join("; ", tried)
                            + ". Set the system property " + Runtime.LIBRARY_PROPERTY
                            + " to the library's path.",
                    first);
        }
    }

    private static UnsatisfiedLinkError failure(String message, UnsatisfiedLinkError cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message);
        error.initCause(cause);
        return error;
    }
}
