package com.kelo.rvs;

import java.io.File;

/**
 * Stands in for the runtime class, ahead of the real one on a child JVM's class path (see
 * RuntimeChecks): it reports build 98, and prints every callback with whether the calling thread
 * holds this class's monitor.
 */
public final class Runtime {
    static {
        System.load(new File(System.getProperty("kelo.rvs.library")).getAbsolutePath());
    }

    int log(int level, String text) {
        return print("log " + level + " " + text);
    }

    int getRvsJavaRuntimeBuild() {
        print("build 98");
        return 98;
    }

    int messageStart() {
        return print("start");
    }

    int errorUnspecified(String text) {
        return print("error " + text);
    }

    private static int print(String line) {
        System.out.println(line + " lock=" + Thread.holdsLock(Runtime.class));
        return 0;
    }

    native Class<?> iLoadClass(ClassLoader loader, String name, byte[] data);
}
