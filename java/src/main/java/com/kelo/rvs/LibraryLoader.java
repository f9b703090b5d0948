package com.kelo.rvs;

import java.io.File;

/**
 * Loads the native library once per class loader: from the file that the system property
 * {@value Runtime#LIBRARY_PROPERTY} names, else by its name from {@code java.library.path}.
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
            load(System.getProperty(Runtime.LIBRARY_PROPERTY), SYSTEM);
            loaded = true;
        }
    }

    /**
     * Loads the library from an explicit file, or by its name when there is none. An explicit
     * file is the only one tried: loading some other copy instead would hide the mistake.
     *
     * @param explicitPath the value of the system property, or null
     * @throws UnsatisfiedLinkError naming what was tried, with the JVM's own error as its cause
     */
    static void load(String explicitPath, Linker linker) {
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
        try {
            linker.loadLibrary(LIBRARY_NAME);
        } catch (UnsatisfiedLinkError e) {
            throw failure("Cannot load the " + LIBRARY_NAME + " library: "
                            + System.mapLibraryName(LIBRARY_NAME)
                            + " is not in java.library.path ("
                            + System.getProperty("java.library.path") + ") or cannot be loaded ("
                            + e.getMessage() + "); set the system property "
                            + Runtime.LIBRARY_PROPERTY + " to the library's path",
                    e);
        }
    }

    private static UnsatisfiedLinkError failure(String message, UnsatisfiedLinkError cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(message);
        error.initCause(cause);
        return error;
    }
}
