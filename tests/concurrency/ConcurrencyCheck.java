package com.kelo.rvs;

import com.kelo.pack.JarProtector;
import com.kelo.rvs.LogTarget.Severity;
import java.io.File;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collection;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Collectors;

/**
 * Eight threads at once, each with a loader of its own, load every class of a real jar (system
 * property kelo.rvs.test.corpus), and each must define what a serial run over the plain jar
 * defines: through iLoadClass; through the class-load hook, half of them reading the jar of
 * containers and half the jar of carriers; then through the hook installed again for a runtime
 * whose every line loads another class, through the hooks again. A class that cannot be defined
 * (it refers to classes outside the jar) or reflected on counts by the kind of its error, the
 * same in every run.
 */
final class ConcurrencyCheck extends JvmTest {
    private static final int THREADS = 8;

    public static void main(String[] args) throws Exception {
        new ConcurrencyCheck().run(new File(System.getProperty("kelo.rvs.test.corpus")));
    }

    private void run(File corpus) throws Exception {
        Map<String, String> serial;
        try (URLClassLoader plain = jarLoader(corpus)) {
            serial = outcomes(plain, classes(corpus).keySet());
        }
        long skipped = serial.values().stream().filter(o -> o.startsWith("not ")).count();
        System.out.println(serial.size() + " classes, " + skipped + " not definable");
        check("most classes are defined", () -> expect(skipped < serial.size() / 10, skipped));
        Path folder = Files.createTempDirectory("kelo-concurrency");
        folder.toFile().deleteOnExit();
        File containers = protect(corpus, folder, JarProtector.Form.CONTAINER);
        File carriers = protect(corpus, folder, JarProtector.Form.EMBEDDED);
        containers.deleteOnExit();
        carriers.deleteOnExit();

        // Every line at every level, so that the library keeps sending them all.
        List<String> lines = Collections.synchronizedList(new ArrayList<>());
        Runtime runtime = runtime(Severity.DETAIL, lines::add);
        Map<String, byte[]> packed = classes(containers);
        check("iLoadClass", () -> sameEverywhere(serial,
                thread -> outcomes(new ContainerLoader(runtime, packed), packed.keySet())));
        check("hook", () -> {
            runtime.installClassLoadHook("T");
            sameEverywhere(serial, thread -> {
                try (URLClassLoader loader = jarLoader(thread % 2 == 0 ? containers : carriers)) {
                    return outcomes(loader, packed.keySet());
                }
            });
        });
        check("one line for every class, one start message", () -> {
            long progress = lines.stream().filter(l -> l.startsWith("PROGRESS")).count();
            expect(2L * THREADS * packed.size(), progress, "lines");
            expect(List.of("started"), lines.stream().filter(l -> !l.startsWith("PROGRESS"))
                    .collect(Collectors.toList()), "messages");
        });
        check("hook re-entered from its callbacks", () -> reentered(carriers, serial));
        end();
    }

    /** Through a second hook, whose every line loads another class through the hooks again. */
    private void reentered(File carriers, Map<String, String> serial) throws Exception {
        AtomicInteger nested = new AtomicInteger();
        ThreadLocal<Boolean> inCallback = ThreadLocal.withInitial(() -> false);
        List<String> names = new ArrayList<>(serial.keySet());
        try (URLClassLoader shared = jarLoader(carriers)) {
            // Unless it comes from such a load.
            runtime(Severity.DETAIL, line -> {
                if (!inCallback.get()) {
                    inCallback.set(true);
                    outcomes(shared, List.of(names.get(nested.getAndIncrement() % names.size())));
                    inCallback.set(false);
                }
            }).installClassLoadHook("T");
            sameEverywhere(serial, thread -> {
                try (URLClassLoader loader = jarLoader(carriers)) {
                    return outcomes(loader, names);
                }
            });
        }
        expect(nested.get() >= THREADS * names.size(), "a load for every line");
    }

    private interface Run {
        Map<String, String> outcomes(int thread) throws Exception;
    }

    /** Each of the threads, all at once, must come to the expected outcomes. */
    private static void sameEverywhere(Map<String, String> expected, Run run) throws Exception {
        List<Map<String, String>> runs = inParallel(THREADS, thread -> () -> run.outcomes(thread));
        for (int thread = 0; thread < THREADS; thread++) {
            List<String> differences = new ArrayList<>();
            Map<String, String> found = runs.get(thread);
            for (String name : expected.keySet()) {
                if (!expected.get(name).equals(found.get(name)) && differences.size() < 3) {
                    differences.add(name + ":\n  expected " + expected.get(name) + "\n  found    "
                            + found.get(name));
                }
            }
            expect(List.of(), differences, "thread " + thread);
        }
    }

    /** What the loader makes of each class: its description, or the kind of error it met. */
    private static Map<String, String> outcomes(ClassLoader loader, Collection<String> names) {
        Map<String, String> outcomes = new TreeMap<>();
        for (String name : names) {
            Class<?> type;
            try {
                type = Class.forName(name, false, loader);
            } catch (ClassNotFoundException | LinkageError e) {
                outcomes.put(name, "not defined: " + e.getClass().getName());
                continue;
            }
            try {
                outcomes.put(name, describe(type));
            } catch (LinkageError | RuntimeException e) {
                outcomes.put(name, "not reflected: " + e.getClass().getName());
            }
        }
        return outcomes;
    }

    private static URLClassLoader jarLoader(File jar) throws java.io.IOException {
        return new URLClassLoader(new URL[] {jar.toURI().toURL()},
                ClassLoader.getPlatformClassLoader());
    }
}
