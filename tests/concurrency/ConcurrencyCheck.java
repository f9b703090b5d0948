package com.kelo.rvs;

import com.kelo.pack.JarProtector.Form;
import com.kelo.rvs.LogTarget.Severity;
import java.io.File;
import java.net.URLClassLoader;
import java.util.*;
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
            serial = outcomes(plain, classes(corpus).keySet(), false);
        }
        long failing = serial.values().stream().filter(o -> !o.contains(" ")).count();
        System.out.println(serial.size() + " classes, " + failing + " not definable");
        check("most classes are defined", () -> expect(failing < serial.size() / 10, failing));
        File containers = protect(corpus, Form.CONTAINER);
        File carriers = protect(corpus, Form.EMBEDDED);

        // Every line at every level, so that the library keeps sending them all.
        List<String> lines = Collections.synchronizedList(new ArrayList<>());
        Runtime runtime = runtime(Severity.DETAIL, lines::add);
        Map<String, byte[]> packed = classes(containers);
        check("iLoadClass", () -> inParallel(THREADS, thread -> () -> sameOutcomes(serial,
                outcomes(containerLoader(runtime, packed), serial.keySet(), false), "thread "
                        + thread)));
        runtime.installClassLoadHook("T");
        check("hook", () -> inParallel(THREADS, thread -> () -> {
            try (URLClassLoader loader = jarLoader(thread % 2 == 0 ? containers : carriers)) {
                sameOutcomes(serial, outcomes(loader, serial.keySet(), false), "thread " + thread);
            }
        }));
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
                    outcomes(shared, List.of(names.get(nested.getAndIncrement() % names.size())),
                            false);
                    inCallback.set(false);
                }
            }).installClassLoadHook("T");
            inParallel(THREADS, thread -> () -> {
                try (URLClassLoader loader = jarLoader(carriers)) {
                    sameOutcomes(serial, outcomes(loader, names, false), "thread " + thread);
                }
            });
        }
        expect(nested.get() >= THREADS * names.size(), "a load for every line");
    }
}
