package com.kelo.rvs;

/**
 * The native library's entry points as they are, with their raw answers and no checks, and the
 * calls the library makes into a runtime. For programs that test or measure the library itself;
 * applications use {@link Runtime}, {@link ProtectedClassLoader}, the agent or the launcher.
 *
 * <p>Each entry point answers 0 when done; the other values name a bad input.
 */
public final class NativeEntryPoints {
    private final Runtime runtime;

    /** The entry points as called through the given runtime, which receives their reports. */
    public NativeEntryPoints(Runtime runtime) {
        this.runtime = runtime;
    }

    /** Delivers the version through {@code holder.set(int, int, int, int, int, int, int)}. */
    public int iGetVersion(Object holder) {
        return runtime.iGetVersion(holder);
    }

    public int iSetApplicationName(String name) {
        return runtime.iSetApplicationName(name);
    }

    /** Holds on to the worker until {@link #iCleanUp()}, unless it holds one already. */
    public int iSetNativeWorker(Object worker) {
        return runtime.iSetNativeWorker(worker);
    }

    public int iCleanUp() {
        return runtime.iCleanUp();
    }

    /** Defines a class from class bytes or a class container; null when that fails. */
    public Class<?> iLoadClass(ClassLoader loader, String name, byte[] data) {
        return runtime.iLoadClass(loader, name, data);
    }

    /** Installs the class-load hook: mode "T" for the tool interface, "P" for the profiler one. */
    public int iSetNativeHook(String mode) {
        return runtime.iSetNativeHook(mode);
    }

    /** The library's report that it has begun to process class containers. */
    public int messageStart() {
        return runtime.messageStart();
    }

    /** The library's report of a failure. */
    public int errorUnspecified(String text) {
        return runtime.errorUnspecified(text);
    }

    /** One of the library's log lines; answers the lowest level the library should send. */
    public int log(int level, String text) {
        return runtime.log(level, text);
    }
}
