package com.kelo.rvs;

import com.kelo.rvs.LogTarget.Severity;
import java.util.List;
import java.util.Objects;
import java.util.concurrent.CopyOnWriteArrayList;

/**
 * The Java side of the native library {@code KeloRvs4J32}: loads the library, calls into it and
 * receives its callbacks.
 *
 * <p>Creating a runtime loads the library, once per process: from the file that the system
 * property {@value #LIBRARY_PROPERTY} names, else by name from {@code java.library.path}, else
 * the copy that this jar carries for the running platform (see {@link LibraryLoader}).
 * The library keeps its state per process, so all runtimes share the application name and the
 * native worker, and a clean-up affects them all. What the library reports while it works for
 * one runtime (log lines, start and error messages) reaches that runtime.
 *
 * <p>Log lines go to the platform logger {@value #LOGGER_NAME}: levels from
 * {@value #LOG_ERROR} on as errors, from {@value #LOG_INFO} on (the progress lines) as debug
 * output, lower ones as trace output. The library asks Java for nothing below the lowest level
 * that logger prints. It learns that level with every line it sends, so a logger made more
 * verbose later takes effect after the next line that the old level let through; a logger that
 * is off silences the library for the rest of the process.
 *
 * <p>Runtimes are thread-safe. The calls that change the library's state are serialised here,
 * as the library itself keeps that state without a lock.
 */
public final class Runtime {
    /** The system property that names the library file to load; a relative path is fine. */
    public static final String LIBRARY_PROPERTY = "kelo.rvs.library";

    /** The name of the platform logger that receives the library's log lines. */
    public static final String LOGGER_NAME = "com.kelo.rvs";

    /** The library's level for progress lines, such as the name of each class processed. */
    public static final int LOG_INFO = 800;

    /** The library's level for failures. */
    public static final int LOG_ERROR = 1000;

    // The library serialises its class loading on the runtime class for builds below 99. Nothing
    // here needs that: the callbacks are thread-safe.
    static final int BUILD = 99;

    private static final Object STATE_LOCK = new Object();
    private static NativeWorker registeredWorker; // guarded by STATE_LOCK

    private final LogTarget logTarget;
    private final List<RuntimeListener> listeners = new CopyOnWriteArrayList<>();

    /**
     * Creates a runtime, loading the native library first if this has not been done.
     *
     * @throws UnsatisfiedLinkError if the library cannot be loaded; its message names every
     *     place tried
     */
    public Runtime() {
        this(LogTarget.platformLogger(LOGGER_NAME));
    }

    /**
     * Creates a runtime that writes the library's log lines to the given target, loading the
     * native library first if this has not been done.
     *
     * @throws UnsatisfiedLinkError if the library cannot be loaded
     */
    public Runtime(LogTarget logTarget) {
        this(logTarget, true);
    }

    /** A runtime that logs to the given target; without loading, it leaves the library alone. */
    Runtime(LogTarget logTarget, boolean loadLibrary) {
        this.logTarget = Objects.requireNonNull(logTarget, "logTarget");
        if (loadLibrary) {
            LibraryLoader.loadOnce();
        }
    }

    /**
     * Asks the library for its version.
     *
     * @return the library's file version and build date
     * @throws IllegalStateException if the library does not deliver its version
     */
    public Version version() {
        Version.Holder holder = new Version.Holder();
        return holder.version(iGetVersion(holder));
    }

    /**
     * Tells the library the application's name.
     *
     * @param name the name; the library keeps it for the rest of the process
     */
    public void setApplicationName(String name) {
        Objects.requireNonNull(name, "name");
        synchronized (STATE_LOCK) {
            check("iSetApplicationName", iSetApplicationName(name));
        }
    }

    /**
     * Registers the worker that the library calls around its error reports. The library keeps
     * one worker until {@link #cleanUp()}; registering the same worker again does nothing.
     *
     * @param worker the worker; {@code new NativeWorker()} is one that does nothing
     * @throws IllegalStateException if a different worker is registered
     */
    public void setNativeWorker(NativeWorker worker) {
        Objects.requireNonNull(worker, "worker");
        synchronized (STATE_LOCK) {
            if (registeredWorker == worker) {
                return;
            }
            if (registeredWorker != null) {
                throw new IllegalStateException(
                        "A native worker is registered already; call cleanUp() first");
            }
            check("iSetNativeWorker", iSetNativeWorker(worker));
            registeredWorker = worker;
        }
    }

    /**
     * Makes the library drop its references to Java objects: the native worker, the runtime
     * class and the runtime that its class-load hook reports to. The library stays usable; a new
     * worker can be registered.
     */
    public void cleanUp() {
        synchronized (STATE_LOCK) {
            check("iCleanUp", iCleanUp());
            registeredWorker = null;
        }
    }

    /**
     * Adds a listener for the library's messages to this runtime.
     *
     * @param listener the listener; added twice, it hears every message twice
     */
    public void addListener(RuntimeListener listener) {
        listeners.add(Objects.requireNonNull(listener, "listener"));
    }

    /**
     * Removes a listener from this runtime.
     *
     * @param listener the listener; one of its registrations is removed, if it has any
     */
    public void removeListener(RuntimeListener listener) {
        listeners.remove(listener);
    }

    /**
     * Installs the library's class-load hook, so that the JVM hands every class it loads to the
     * library first: class containers and carrier class files become the classes they hold.
     * Install it before the protected classes are loaded; it stays for the life of the JVM.
     *
     * @param mode "T" for the JVM tool interface, "P" for the old profiler interface
     * @throws IllegalArgumentException if the mode is not one of these
     * @throws IllegalStateException if the JVM does not offer the interface or refuses the hook
     */
    public void installClassLoadHook(String mode) {
        checkHookMode(mode);
        int result;
        synchronized (STATE_LOCK) {
            result = iSetNativeHook(mode);
        }
        if (result == 1 || result == 3) {
            throw new IllegalStateException("This JVM offers no "
                    + (result == 1 ? "tool interface (JVMTI)" : "profiler interface (JVMPI)")
                    + " for the class-load hook");
        }
        if (result != 0) {
            throw new IllegalStateException("The JVM refused the class-load hook (mode " + mode
                    + ", result " + result + ")");
        }
    }

    /** @throws IllegalArgumentException if the mode is not one that the hook knows */
    static void checkHookMode(String mode) {
        if (mode == null || !mode.equalsIgnoreCase("T") && !mode.equalsIgnoreCase("P")) {
            throw new IllegalArgumentException("Unknown class-load hook mode: " + mode
                    + " (T or P)");
        }
    }

    private static void check(String call, int result) {
        if (result != 0) {
            throw new IllegalStateException(
                    "The native library refused " + call + " (result " + result + ")");
        }
    }

    // Called by the library. None of them lets an exception escape: the library goes on with
    // its own JNI calls after they return, which must not meet a pending exception.

    /**
     * Writes one of the library's log lines.
     *
     * @return the lowest level that the library should send from now on
     */
    int log(int level, String text) {
        try {
            logTarget.log(Severity.of(level), text, null);
            return logTarget.threshold();
        } catch (RuntimeException e) {
            // A logger that fails cannot report its own failure. Errors still reach it, so that
            // it is tried again.
            return LOG_ERROR;
        }
    }

    /** @return the build number of this companion, which tells the library what it supports */
    int getRvsJavaRuntimeBuild() {
        return BUILD;
    }

    /** The library has begun to process class containers. */
    int messageStart() {
        for (RuntimeListener listener : listeners) {
            try {
                listener.started();
            } catch (RuntimeException e) {
                listenerFailed(listener, "the start message", e);
            }
        }
        return 0;
    }

    /** The library reports a failure: to the listeners, or to the log when there are none. */
    int errorUnspecified(String text) {
        boolean delivered = false;
        for (RuntimeListener listener : listeners) {
            delivered = true;
            try {
                listener.error(text);
            } catch (RuntimeException e) {
                listenerFailed(listener, "the error \"" + text + "\"", e);
            }
        }
        if (!delivered) {
            logQuietly(text, null);
        }
        return 0;
    }

    private void listenerFailed(RuntimeListener listener, String message, RuntimeException e) {
        logQuietly("Listener " + listener + " failed on " + message, e);
    }

    private void logQuietly(String text, Throwable thrown) {
        try {
            logTarget.log(Severity.ERROR, text, thrown);
        } catch (RuntimeException e) {
            // As in log, the failure of a logger goes unreported.
        }
    }

    // The library's entry points. Each answers 0 when done; the other values name a bad input.

    /** Delivers the version through {@code holder.set(int, int, int, int, int, int, int)}. */
    native int iGetVersion(Object holder);

    native int iSetApplicationName(String name);

    /** Holds on to the worker until {@link #iCleanUp()}, unless it holds one already. */
    native int iSetNativeWorker(Object worker);

    native int iCleanUp();

    /** Defines a class from class bytes or a class container; null when that fails. */
    native Class<?> iLoadClass(ClassLoader loader, String name, byte[] data);

    /** Installs the class-load hook: mode "T" for the tool interface, "P" for the profiler one. */
    native int iSetNativeHook(String mode);
}
