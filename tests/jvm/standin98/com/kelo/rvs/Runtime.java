package com.kelo.rvs;

import java.io.File;

/**
 * A stand-in for the runtime class in a JVM of its own (MonitorChild): the real one always
 * reports build 99. This one reports the build that the system property kelo.rvs.test.build
 * names, and prints every callback with whether the calling thread holds this class's monitor.
 */
public final class Runtime {
    private static final int BUILD = Integer.getInteger("kelo.rvs.test.build", 98);

    static {
        System.load(new File(System.getProperty("kelo.rvs.library")).getAbsolutePath());
    }

    public Runtime() {}

    int log(int level, String text) {
        print("log " + level + " " + text);
        return 0;
    }

    int getRvsJavaRuntimeBuild() {
        print("build " + BUILD);
        return BUILD;
    }

    int messageStart() {
        print("start");
        return 0;
    }

    int errorUnspecified(String text) {
        print("error " + text);
        return 0;
    }

    private static void print(String line) {
        System.out.println(line + " lock=" + Thread.holdsLock(Runtime.class));
    }

    native Class<?> iLoadClass(ClassLoader loader, String name, byte[] data);
}
