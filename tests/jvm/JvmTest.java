package com.kelo.check;

import com.kelo.pack.Containers;
import com.kelo.pack.JarProtector;
import com.kelo.pack.WrapOptions;
import com.kelo.rvs.LogTarget.Severity;
import com.kelo.rvs.LogTarget;
import com.kelo.rvs.NativeEntryPoints;
import com.kelo.rvs.Runtime;
import com.kelo.rvs.RuntimeListener;
import java.io.*;
import java.lang.reflect.*;
import java.net.*;
import java.nio.charset.StandardCharsets;
import java.util.*;
import java.util.concurrent.*;
import java.util.function.*;
import java.util.jar.*;
import java.util.stream.*;
import java.util.zip.*;

/**
 * What the JVM tests share, compiled into each test jar: a walk over cases that prints
 * "N passed, M failed", containers made by the packer, jars read and written, loaders over
 * containers and jars, a runtime that records what the library reports, threads started at once
 * and child JVMs of the same java.
 */
class JvmTest {
    interface Check {
        void run() throws Exception;
    }

    private int passed;
    private int failed;

    /** Runs one case; a failure is printed (the first 20 in full) and the walk goes on. */
    void check(String name, Check check) {
        try {
            check.run();
            passed++;
        } catch (Throwable e) {
            if (++failed <= 20) {
                System.out.println("FAILED " + name + ": " + e);
                Arrays.stream(e.getStackTrace()).limit(8).forEach(System.out::println);
            }
        }
    }

    /** Prints the counts and ends the JVM: status 0 only when cases ran and all passed. */
    void end() {
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }

    static void expect(boolean holds, Object what) {
        if (!holds) {
            throw new AssertionError(what);
        }
    }

    /** Compares arrays by content. */
    static void expect(Object expected, Object actual, Object what) {
        expect(Objects.deepEquals(expected, actual), what + ": expected "
                + Arrays.deepToString(new Object[] {expected}) + ", found "
                + Arrays.deepToString(new Object[] {actual}));
    }

    /** What the call answered, as text, or the simple name of what it threw. */
    static String outcome(Callable<?> call) {
        return outcome(call, e -> e.getClass().getSimpleName());
    }

    /** What the call answered, as text, or what `failure` makes of what it threw. */
    static String outcome(Callable<?> call, Function<Throwable, String> failure) {
        try {
            return String.valueOf(call.call());
        } catch (Throwable e) {
            return failure.apply(e);
        }
    }

    /**
     * A runtime that hands `lines` its log lines from `lowest` on ("SEVERITY text", marked
     * " [locked]" when the runtime class's monitor is held) and its messages. The library is
     * loaded first.
     */
    static Runtime runtime(Severity lowest, Consumer<String> lines) {
        Runtime runtime = new Runtime(new LogTarget() {
            @Override
            public boolean isLoggable(Severity severity) {
                return lowest != null && severity.compareTo(lowest) >= 0;
            }

            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                if (isLoggable(severity)) {
                    lines.accept(severity + " " + text
                            + (Thread.holdsLock(Runtime.class) ? " [locked]" : ""));
                }
            }
        });
        runtime.addListener(listener(lines));
        return runtime;
    }

    /** Hands `heard` the messages it gets: "started", "error text". */
    static RuntimeListener listener(Consumer<String> heard) {
        return new RuntimeListener() {
            @Override
            public void started() {
                heard.accept("started");
            }

            @Override
            public void error(String text) {
                heard.accept("error " + text);
            }
        };
    }

    static String internalName(Class<?> type) {
        return type.getName().replace('.', '/');
    }

    static byte[] classFile(Class<?> type) throws IOException {
        try (InputStream in = type.getResourceAsStream("/" + internalName(type) + ".class")) {
            return in.readAllBytes();
        }
    }

    /** The class file as the packer wraps it: compressed and checked, unless `options` say. */
    static byte[] container(byte[] classFile, Consumer<WrapOptions> options) throws Exception {
        WrapOptions wrap = new WrapOptions();
        options.accept(wrap);
        return Containers.wrap(classFile, wrap);
    }

    /** A copy with the little-endian field of `width` bytes at `offset` set to `value`. */
    static byte[] with(byte[] data, int offset, int width, long value) {
        byte[] changed = data.clone();
        for (int i = 0; i < width; i++) {
            changed[offset + i] = (byte) (value >>> 8 * i);
        }
        return changed;
    }

    /** The classes of a jar by binary name, sorted; module descriptors are no classes. */
    static Map<String, byte[]> classes(File jar) throws IOException {
        Map<String, byte[]> classes = new TreeMap<>();
        try (ZipFile zip = new ZipFile(jar)) {
            for (ZipEntry entry : Collections.list(zip.entries())) {
                String name = entry.getName();
                if (name.matches("(?!META-INF/).*(?<!module-info)\\.class")) {
                    classes.put(name.substring(0, name.length() - 6).replace('/', '.'),
                            zip.getInputStream(entry).readAllBytes());
                }
            }
        }
        return classes;
    }

    /**
     * The jar as the packer protects it in that form, and with the runtime jar when one is given,
     * in a file deleted when the JVM ends.
     */
    static File protect(File jar, JarProtector.Form form, File runtimeJar) throws Exception {
        JarProtector protector = new JarProtector();
        protector.form = form;
        protector.runtimeJar = runtimeJar;
        File protectedJar = File.createTempFile("kelo-" + form, ".jar");
        protectedJar.deleteOnExit();
        protector.protect(jar, protectedJar, new PrintStream(OutputStream.nullOutputStream()));
        return protectedJar;
    }

    /** Defines containers (by binary name) through iLoadClass, other classes by its parent. */
    static ClassLoader containerLoader(Runtime runtime, Map<String, byte[]> containers) {
        NativeEntryPoints natives = new NativeEntryPoints(runtime);
        return new ClassLoader(ClassLoader.getPlatformClassLoader()) {
            @Override
            protected Class<?> findClass(String name) throws ClassNotFoundException {
                byte[] container = containers.get(name);
                return Optional.ofNullable(container == null ? null : natives.iLoadClass(this,
                        name.replace('.', '/'), container))
                        .orElseThrow(() -> new ClassNotFoundException(name));
            }
        };
    }

    static URLClassLoader jarLoader(File jar) throws IOException {
        return new URLClassLoader(new URL[] {jar.toURI().toURL()},
                ClassLoader.getPlatformClassLoader());
    }

    /** A class's modifiers, name, supertypes and declared members, to compare two copies. */
    static String describe(Class<?> type) {
        List<String> members = Stream.of(type.getDeclaredFields(), type.getDeclaredConstructors(),
                        type.getDeclaredMethods())
                .flatMap(Arrays::stream)
                .map(m -> m instanceof Field f ? f.toGenericString()
                        : ((Executable) m).toGenericString())
                .sorted().collect(Collectors.toList());
        return Modifier.toString(type.getModifiers()) + " " + type.getName() + " extends "
                + type.getGenericSuperclass() + " implements "
                + Arrays.toString(type.getGenericInterfaces()) + " " + members;
    }

    /**
     * What the loader makes of each class: its description, or the kind of error it met. A
     * skeleton left in place has its class's shape but a static initializer that throws: only
     * initialized classes tell them apart.
     */
    static Map<String, String> outcomes(ClassLoader loader, Collection<String> names,
            boolean initialize) {
        return names.stream().collect(Collectors.toMap(name -> name, name -> outcome(() ->
                describe(Class.forName(name, initialize, loader))), (a, b) -> a, TreeMap::new));
    }

    /** Fails naming the first three classes whose outcomes differ. */
    static void sameOutcomes(Map<String, String> expected, Map<String, String> found, String what) {
        expect(List.of(), expected.keySet().stream()
                .filter(name -> !expected.get(name).equals(found.get(name))).limit(3)
                .map(name -> name + ": " + found.get(name) + " instead of " + expected.get(name))
                .collect(Collectors.toList()), what);
    }

    /** Runs one task per thread, all released at once; fails unless all end within 3 minutes. */
    static void inParallel(int threads, IntFunction<Check> tasks) throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(threads);
        CyclicBarrier start = new CyclicBarrier(threads);
        try {
            // A task that has not finished is cancelled: its get() throws.
            for (Future<?> task : pool.invokeAll(IntStream.range(0, threads)
                    .mapToObj(i -> (Callable<Object>) () -> {
                        start.await();
                        tasks.apply(i).run();
                        return null;
                    }).collect(Collectors.toList()), 3, TimeUnit.MINUTES)) {
                task.get();
            }
        } finally {
            pool.shutdownNow();
        }
    }

    /** What a child JVM printed on standard output and error, and its exit status. */
    record Child(int status, String out, String err) {
        String output() {
            return out + err;
        }
    }

    /**
     * Runs a JVM of this java to its end: the arguments, arrays of them flattened; only `env`'s
     * options. An emulated JVM is started by the command it was given, words split at spaces.
     */
    static Child runJava(Map<String, String> env, Object... args) throws Exception {
        String java = System.getProperty("kelo.rvs.test.java",
                System.getProperty("java.home") + "/bin/java");
        ProcessBuilder builder = new ProcessBuilder(
                Stream.concat(Arrays.stream(java.split(" ")), flat(args)).toList());
        builder.environment().keySet().removeAll(List.of("JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                "_JAVA_OPTIONS", "XDG_CACHE_HOME"));
        builder.environment().putAll(env);
        Process process = builder.start();
        // Standard output is read to its end first: what goes to standard error must fit the pipe.
        String out = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        String err = new String(process.getErrorStream().readAllBytes(), StandardCharsets.UTF_8);
        return new Child(process.waitFor(), out, err);
    }

    private static Stream<String> flat(Object arg) {
        return arg instanceof Object[] more ? Arrays.stream(more).flatMap(JvmTest::flat)
                : Stream.of((String) arg);
    }

    /**
     * Runs a JVM of this java under -Xcheck:jni, with the library this one was given, and fails
     * on a JNI warning. The arguments are further JVM options, the main class and its arguments.
     */
    static Child child(String classPath, Object... arguments) throws Exception {
        // From JDK 24 on, System.load warns unless the code calling it may use native access.
        Child child = runJava(Map.of(), "-Xcheck:jni", "--enable-native-access=ALL-UNNAMED",
                "-Dkelo.rvs.library=" + System.getProperty(Runtime.LIBRARY_PROPERTY, ""), "-cp",
                classPath, arguments);
        expect(!child.output().contains("WARNING"), child);
        return child;
    }
}
