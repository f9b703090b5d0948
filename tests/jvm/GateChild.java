package com.kelo.rvs;

/**
 * A JVM of its own for the Java version gate: the first container of class kind 0 asks for Java
 * 1.7.0 while "java.version" says 1.6.0, so the library reports it and ends the JVM with status 1.
 */
public final class GateChild {
    private GateChild() {}

    public static void main(String[] args) {
        Runtime runtime = new Runtime();
        runtime.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                System.out.println("error: " + text);
            }
        });
        byte[] container = Containers.build(Containers.classBytes(LoadSample.class),
                new Containers.Shape().classKind(0).minJava(1, 7, 0));
        System.setProperty("java.version", "1.6.0");
        Class<?> loaded = runtime.iLoadClass(new ClassLoader(null) {}, "com/kelo/rvs/LoadSample",
                container);
        System.out.println("returned " + loaded);
    }
}
