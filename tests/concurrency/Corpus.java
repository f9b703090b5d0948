package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.fail;

import com.kelo.pack.Containers;
import com.kelo.pack.JarProtector;
import com.kelo.pack.PackException;
import com.kelo.pack.WrapOptions;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Enumeration;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.Callable;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.function.IntFunction;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * The corpus of the concurrency tests: the classes of a real jar (system property
 * {@value #PROPERTY}), protected at test time, and what class loaders make of them. A class that
 * cannot be defined (its jar refers to classes outside it) or reflected on counts as such, by the
 * kind of its error, so that every run must skip the same classes in the same way.
 */
final class Corpus {
    static final String PROPERTY = "kelo.rvs.test.corpus";
    static final int THREADS = 8;
    /** How long the threads of one run may take before they count as deadlocked. */
    static final long BOUND_SECONDS = 180;

    final File jar;
    /** Binary names, sorted. */
    final List<String> names = new ArrayList<>();
    final Map<String, byte[]> classFiles = new LinkedHashMap<>();

    Corpus() throws IOException {
        jar = new File(System.getProperty(PROPERTY));
        try (ZipFile zip = new ZipFile(jar)) {
            for (Enumeration<? extends ZipEntry> e = zip.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                String name = entry.getName();
                if (name.endsWith(".class") && !name.startsWith("META-INF/")
                        && !name.endsWith("module-info.class")) {
                    try (InputStream in = zip.getInputStream(entry)) {
                        classFiles.put(binaryName(name), in.readAllBytes());
                    }
                }
            }
        }
        names.addAll(classFiles.keySet());
        Collections.sort(names);
    }

    static String binaryName(String entryName) {
        return entryName.substring(0, entryName.length() - ".class".length()).replace('/', '.');
    }

    /** Compressed, checked containers of every class, as the packer makes them by default. */
    Map<String, byte[]> containers() throws PackException {
        Map<String, byte[]> containers = new LinkedHashMap<>();
        WrapOptions options = new WrapOptions();
        for (Map.Entry<String, byte[]> entry : classFiles.entrySet()) {
            containers.put(entry.getKey(), Containers.wrap(entry.getValue(), options));
        }
        return containers;
    }

    /** The corpus jar as the packer protects it. */
    File protect(Path folder, JarProtector.Form form) throws IOException, PackException {
        JarProtector protector = new JarProtector();
        protector.form = form;
        File protectedJar = folder.resolve(form + ".jar").toFile();
        protector.protect(jar, protectedJar, new PrintStream(OutputStream.nullOutputStream()));
        return protectedJar;
    }

    /** An ordinary loader over a jar, beside the application's classes. */
    static URLClassLoader jarLoader(File file) {
        try {
            return new URLClassLoader(new URL[] {file.toURI().toURL()},
                    ClassLoader.getPlatformClassLoader());
        } catch (IOException e) {
            throw new IllegalArgumentException(file.toString(), e);
        }
    }

    /** What the loader makes of every class of the corpus, by name. */
    Map<String, String> outcomes(ClassLoader loader) {
        Map<String, String> outcomes = new TreeMap<>();
        for (String name : names) {
            outcomes.put(name, outcome(name, loader));
        }
        return outcomes;
    }

    static String outcome(String name, ClassLoader loader) {
        Class<?> type;
        try {
            type = Class.forName(name, false, loader);
        } catch (ClassNotFoundException | LinkageError e) {
            return "not defined: " + e.getClass().getName();
        }
        try {
            return fingerprint(type);
        } catch (LinkageError | RuntimeException e) {
            return "not reflected: " + e.getClass().getName();
        }
    }

    /** Name, modifiers, supertypes and declared members as generic strings. */
    static String fingerprint(Class<?> type) {
        List<String> members = new ArrayList<>();
        for (Field field : type.getDeclaredFields()) {
            members.add(field.toGenericString());
        }
        for (Method method : type.getDeclaredMethods()) {
            members.add(method.toGenericString());
        }
        for (Constructor<?> constructor : type.getDeclaredConstructors()) {
            members.add(constructor.toGenericString());
        }
        Collections.sort(members);
        return Modifier.toString(type.getModifiers()) + " " + type.getName() + " extends "
                + type.getGenericSuperclass() + " implements "
                + Arrays.toString(type.getGenericInterfaces()) + " " + members;
    }

    /** How many outcomes are not fingerprints. */
    static long skipped(Map<String, String> outcomes) {
        return outcomes.values().stream().filter(o -> o.startsWith("not ")).count();
    }

    /** Fails with the first differences, by name; `runs` names the two runs compared. */
    static void assertSameOutcomes(Map<String, String> expected, Map<String, String> actual,
            String runs) {
        List<String> differences = new ArrayList<>();
        for (String name : expected.keySet()) {
            if (!expected.get(name).equals(actual.get(name)) && differences.size() < 5) {
                differences.add(name + ":\n  expected " + expected.get(name) + "\n  found    "
                        + actual.get(name));
            }
        }
        if (!differences.isEmpty() || !expected.keySet().equals(actual.keySet())) {
            fail(runs + " differ:\n" + String.join("\n", differences));
        }
    }

    /**
     * Runs one task per thread, all started at once, and answers their results in order. Fails
     * with every thread's stack when they have not finished within the bound.
     */
    static <T> List<T> inParallel(IntFunction<Callable<T>> tasks) throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(THREADS, work -> {
            Thread thread = new Thread(work);
            thread.setDaemon(true);
            return thread;
        });
        CyclicBarrier start = new CyclicBarrier(THREADS);
        try {
            List<Future<T>> futures = new ArrayList<>();
            for (int i = 0; i < THREADS; i++) {
                Callable<T> task = tasks.apply(i);
                futures.add(pool.submit(() -> {
                    start.await();
                    return task.call();
                }));
            }
            long started = System.nanoTime();
            long deadline = started + TimeUnit.SECONDS.toNanos(BOUND_SECONDS);
            List<T> results = new ArrayList<>();
            for (Future<T> future : futures) {
                try {
                    results.add(future.get(deadline - System.nanoTime(), TimeUnit.NANOSECONDS));
                } catch (TimeoutException e) {
                    fail("The threads have not finished within " + BOUND_SECONDS + " s:\n"
                            + threadDump());
                }
            }
            System.out.println(THREADS + " threads took "
                    + TimeUnit.NANOSECONDS.toMillis(System.nanoTime() - started) + " ms");
            return results;
        } finally {
            pool.shutdownNow();
        }
    }

    private static String threadDump() {
        StringBuilder dump = new StringBuilder();
        for (Map.Entry<Thread, StackTraceElement[]> thread : Thread.getAllStackTraces().entrySet()) {
            dump.append(thread.getKey()).append('\n');
            for (StackTraceElement frame : thread.getValue()) {
                dump.append("    at ").append(frame).append('\n');
            }
        }
        return dump.toString();
    }

    /** A runtime that asks for error lines only, and keeps them with the errors it is sent. */
    static Runtime quietRuntime(List<String> errors) {
        LibraryLoader.loadOnce();
        Runtime runtime = new Runtime(new LogTarget() {
            @Override
            public boolean isLoggable(Severity severity) {
                return severity == Severity.ERROR;
            }

            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                // Lines sent before the library learns the threshold are not kept.
                if (isLoggable(severity)) {
                    errors.add(text);
                }
            }
        });
        runtime.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                errors.add(text);
            }
        });
        return runtime;
    }
}
