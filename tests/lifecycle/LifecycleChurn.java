package com.kelo.rvs;

import com.kelo.pack.JarProtector;
import java.io.File;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.zip.ZipFile;

/**
 * The library's references to Java objects dropped and made again while classes load through the
 * class-load hook: loader threads define every class of a jar (args[0]) from its containers and
 * from its carrier class files, while one thread keeps cleaning up and installing the hook again,
 * and the log target cleans up from inside the hook's own callbacks now and then. Every class
 * must come out as the plain jar defines it, and the library must still report afterwards.
 * Prints "N passed, M failed" and exits with status 1 on a failure.
 */
public final class LifecycleChurn implements LogTarget {
    private static final int LOADERS = 6;
    private static final int CLEAN_UP_EVERY = 97;

    private final AtomicInteger lines = new AtomicInteger();
    private final List<String> failures = new CopyOnWriteArrayList<>();
    private final Runtime runtime = new Runtime(this);

    @Override
    public boolean isLoggable(Severity severity) {
        return severity != Severity.DETAIL;
    }

    @Override
    public void log(Severity severity, String text, Throwable thrown) {
        if (severity == Severity.ERROR) {
            failures.add("error report: " + text);
        } else if (lines.incrementAndGet() % CLEAN_UP_EVERY == 0) {
            runtime.cleanUp(); // on the hook's own thread, in the middle of its callback
        }
    }

    public static void main(String[] args) throws Exception {
        LibraryLoader.loadOnce();
        System.exit(new LifecycleChurn().run(new File(args[0])) == 0 ? 0 : 1);
    }

    private int run(File jar) throws Exception {
        List<String> names = new ArrayList<>();
        try (ZipFile zip = new ZipFile(jar)) {
            zip.stream().map(e -> e.getName()).filter(n -> n.endsWith(".class")
                    && !n.startsWith("META-INF/") && !n.endsWith("module-info.class"))
                    .forEach(n -> names.add(n.substring(0, n.length() - 6).replace('/', '.')));
        }
        File[] forms = {protect(jar, JarProtector.Form.CONTAINER),
                protect(jar, JarProtector.Form.EMBEDDED)};
        List<String> expected = outcomes(names, jar);

        runtime.installClassLoadHook("T");
        ExecutorService pool = Executors.newFixedThreadPool(LOADERS);
        List<Future<List<String>>> runs = new ArrayList<>();
        for (int i = 0; i < LOADERS; i++) {
            File form = forms[i % 2];
            runs.add(pool.submit(() -> outcomes(names, form)));
        }
        pool.shutdown();
        int rounds = 0;
        while (!pool.isTerminated()) {
            runtime.cleanUp();
            runtime.installClassLoadHook("T");
            rounds++;
            Thread.sleep(1); // the references stay set most of the time, for callbacks to take
        }
        runtime.installClassLoadHook("T"); // a callback may have cleaned up after the last round
        for (int i = 0; i < LOADERS; i++) {
            List<String> found = runs.get(i).get();
            for (int c = 0; c < names.size(); c++) {
                if (!found.get(c).equals(expected.get(c))) {
                    failures.add(forms[i % 2].getName() + " " + names.get(c) + ": "
                            + found.get(c) + " instead of " + expected.get(c));
                }
            }
        }
        int before = lines.get();
        outcomes(names.subList(0, 1), forms[0]); // the hook stays: one more class, one more line
        if (lines.get() == before) {
            failures.add("no line after the churn");
        }
        failures.stream().limit(10).forEach(failure -> System.out.println("FAILED " + failure));
        System.out.println(rounds + " clean-ups with a new hook, " + lines.get() / CLEAN_UP_EVERY
                + " from callbacks");
        System.out.println((LOADERS * names.size() + 1 - failures.size()) + " passed, "
                + failures.size() + " failed");
        return failures.size();
    }

    private static File protect(File jar, JarProtector.Form form) throws Exception {
        JarProtector protector = new JarProtector();
        protector.form = form;
        File protectedJar = Files.createTempFile("lifecycle-" + form, ".jar").toFile();
        protectedJar.deleteOnExit();
        protector.protect(jar, protectedJar, new PrintStream(OutputStream.nullOutputStream()));
        return protectedJar;
    }

    /**
     * What a fresh loader over the jar makes of each class: its shape, or the error's kind. The
     * classes are initialized, as a skeleton carrier left in place has the shape of its class but
     * a static initializer that throws.
     */
    private static List<String> outcomes(List<String> names, File jar) throws Exception {
        List<String> outcomes = new ArrayList<>();
        try (URLClassLoader loader = new URLClassLoader(new URL[] {jar.toURI().toURL()},
                     ClassLoader.getPlatformClassLoader())) {
            for (String name : names) {
                try {
                    Class<?> type = Class.forName(name, true, loader);
                    outcomes.add(type.getDeclaredFields().length + " fields, "
                            + type.getDeclaredMethods().length + " methods");
                } catch (ClassNotFoundException | LinkageError e) {
                    outcomes.add(e.getClass().getName());
                }
            }
        }
        return outcomes;
    }
}
