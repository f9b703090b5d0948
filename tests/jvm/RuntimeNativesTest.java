package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.ref.WeakReference;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * The library's entry points in a real JVM: what they answer, which objects they keep and which
 * errors Java sees. Run with -Xcheck:jni and the system property kelo.rvs.library naming the
 * built library; the JVM's JNI checks print what they find, and ctest fails on it.
 */
class RuntimeNativesTest {
    private static final int[] VERSION_PARTS = {9, 0, 1220, 500, 2013, 10, 28};
    private static final Version VERSION = new Version(9, 0, 1220, 500, 2013, 10, 28);

    private static Runtime runtime;

    static class Holder {
        int[] parts;

        void set(int major, int minor, int release, int build, int year, int month, int day) {
            parts = new int[] {major, minor, release, build, year, month, day};
        }
    }

    static class InheritedSet extends Holder {}

    static class SixInts {
        void set(int major, int minor, int release, int build, int year, int month) {}
    }

    static class LongParts {
        void set(long major, long minor, long release, long build, long year, long month,
                long day) {}
    }

    static class StaticSet {
        static void set(int major, int minor, int release, int build, int year, int month,
                int day) {}
    }

    @BeforeAll
    static void loadLibrary() {
        runtime = new Runtime();
    }

    @BeforeEach
    void dropWhatTheLibraryKeeps() {
        runtime.cleanUp();
    }

    @Test
    void versionReachesHoldersWithSet() {
        for (Holder holder : new Holder[] {new Holder(), new InheritedSet()}) {
            assertEquals(0, runtime.iGetVersion(holder));
            assertArrayEquals(VERSION_PARTS, holder.parts, holder.getClass().getName());
        }
        assertEquals(VERSION, runtime.version());
    }

    @Test
    void holdersWithoutSetLeaveTheLookupFailurePending() {
        for (Object holder : new Object[] {new Object(), new SixInts(), new LongParts(),
                                           new StaticSet()}) {
            // The native answers 2, but the pending error is thrown before Java sees the answer.
            NoSuchMethodError error = assertThrows(NoSuchMethodError.class,
                    () -> runtime.iGetVersion(holder), holder.getClass().getName());
            assertTrue(error.getMessage().contains("set"), error.getMessage());
        }
        assertEquals(1, runtime.iGetVersion(null));
    }

    @Test
    void applicationNames() {
        assertEquals(1, runtime.iSetApplicationName(null));
        assertEquals(0, runtime.iSetApplicationName("Demo"));
        assertEquals(0, runtime.iSetApplicationName(""));
        // Modified UTF-8: a two-byte NUL and surrogate pairs encoded one by one.
        String name = "Z\u00fcrich \u6771\u4eac \ud83d\ude00 \u0000";
        assertEquals(0, runtime.iSetApplicationName(name));

        runtime.setApplicationName("Demo");
        assertThrows(NullPointerException.class, () -> runtime.setApplicationName(null));
    }

    @Test
    void theLibraryKeepsTheFirstWorkerUntilCleanUp() throws InterruptedException {
        WeakReference<Object> first = offerWorker();
        WeakReference<Object> second = offerWorker();
        assertTrue(collected(second), "the library kept a second worker");
        assertNotNull(first.get(), "the library let go of its worker");

        assertEquals(0, runtime.iCleanUp());
        assertTrue(collected(first), "the library kept its worker after iCleanUp");

        WeakReference<Object> third = offerWorker();
        WeakReference<Object> fourth = offerWorker();
        assertTrue(collected(fourth), "the library kept a second worker after iCleanUp");
        assertNotNull(third.get(), "the library did not take a new worker after iCleanUp");
    }

    @Test
    void cleanUpTwiceAnswersZeroTwice() {
        assertEquals(0, runtime.iSetNativeWorker(new NativeWorker()));
        assertEquals(0, runtime.iCleanUp());
        assertEquals(0, runtime.iCleanUp());
    }

    @Test
    void theRuntimeHasOneWorkerAtATime() {
        NativeWorker worker = new NativeWorker();
        runtime.setNativeWorker(worker);
        runtime.setNativeWorker(worker);
        NativeWorker other = new NativeWorker();
        assertThrows(IllegalStateException.class, () -> runtime.setNativeWorker(other));
        runtime.cleanUp();
        runtime.cleanUp();
        runtime.setNativeWorker(new NativeWorker());
    }

    @Test
    void manyThreadsAtOnce() throws Exception {
        ExecutorService threads = Executors.newFixedThreadPool(4);
        try {
            List<Future<?>> results = new ArrayList<>();
            for (int t = 0; t < 4; t++) {
                String name = "thread " + t;
                results.add(threads.submit((Callable<Void>) () -> {
                    for (int i = 0; i < 500; i++) {
                        assertEquals(VERSION, runtime.version());
                        runtime.setApplicationName(name);
                    }
                    return null;
                }));
            }
            for (Future<?> result : results) {
                result.get();
            }
        } finally {
            threads.shutdown();
        }
    }

    // Its own method, so that no local variable of the caller keeps the worker alive.
    private static WeakReference<Object> offerWorker() {
        NativeWorker worker = new NativeWorker();
        assertEquals(0, runtime.iSetNativeWorker(worker));
        return new WeakReference<>(worker);
    }

    private static boolean collected(WeakReference<?> reference) throws InterruptedException {
        for (int i = 0; i < 100 && reference.get() != null; i++) {
            System.gc();
            Thread.sleep(10);
        }
        return reference.get() == null;
    }
}
