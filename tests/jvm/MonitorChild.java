package com.kelo.rvs;

/**
 * A JVM of its own, with the stand-in runtime class of standin98/ in place of the real one: one
 * container that loads and one that fails, each callback printed with whether the runtime class's
 * monitor was held.
 */
public final class MonitorChild {
    private MonitorChild() {}

    public static void main(String[] args) {
        Runtime runtime = new Runtime();
        byte[] sample = Containers.classBytes(LoadSample.class);
        Class<?> loaded = runtime.iLoadClass(new ClassLoader(null) {}, "com/kelo/rvs/LoadSample",
                Containers.build(sample, new Containers.Shape().compressed(true)));
        print("defined " + loaded.getName());
        byte[] named = Containers.plainGzipHeader();
        named[3] = 0x08;
        Class<?> refused = runtime.iLoadClass(new ClassLoader(null) {}, "com/kelo/rvs/LoadSample",
                Containers.build(sample, new Containers.Shape().compressed(true).gzipHeader(named)));
        print(refused == null ? "refused" : "defined " + refused.getName());
    }

    private static void print(String line) {
        System.out.println(line + " lock=" + Thread.holdsLock(Runtime.class));
    }
}
