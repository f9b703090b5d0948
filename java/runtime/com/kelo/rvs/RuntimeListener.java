package com.kelo.rvs;

/**
 * Receives the messages of the native library. Register one with
 * {@link Runtime#addListener(RuntimeListener)}; override only what you need.
 *
 * <p>Messages arrive on the thread that made the library work, often while the JVM is loading a
 * class: keep listeners short, and load no classes through the runtime from within them. A
 * listener that throws does not stop the others; its exception is logged.
 */
public interface RuntimeListener {
    /** The library has begun to process class containers. Sent once per process. */
    default void started() {}

    /**
     * The library reports a failure. It has logged it already at {@link Runtime#LOG_ERROR}, in
     * most cases.
     *
     * @param text a short description, such as {@code Decompression failed!}
     */
    default void error(String text) {}
}
