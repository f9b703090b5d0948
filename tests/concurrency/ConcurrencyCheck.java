package com.kelo.rvs;

import com.kelo.pack.JarProtector.Form;
import com.kelo.rvs.LogTarget.Severity;
import java.io.File;
import java.net.URLClassLoader;
import java.util.*;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Collectors;

/**
 * Threads at once, each with a loader of its own, load every class of a real jar (system property
 * kelo.rvs.test.corpus), protected as containers and as carriers, and each must define what a
 * serial run over the plain jar defines. A class that cannot be defined (it refers to classes
 * outside the jar) or reflected on counts by the kind of its error, the same in every run.
 *
 * <p>Without arguments, eight threads: through iLoadClass; through the class-load hook; then
 * through the hook installed again for a runtime whose every line loads another class, through
 * the hooks again. With "churn": the library's references to Java objects dropped and made again
 * while six threads load through the hook, by a thread that keeps cleaning up and installing the
 * hook again and by the log target from inside the hook's own callbacks now and then.
 */
final class ConcurrencyCheck extends JvmTest {
    private static final int THREADS = 8;
    private static final int CLEAN_UP_EVERY = 97;

    private final File corpus = new File(System.getProperty("kelo.rvs.test.corpus"));
    private final List<String> names = new ArrayList<>(classes(corpus).keySet());
    private final File containers = protect(corpus, Form.CONTAINER, null);
    private final File carriers = protect(corpus, Form.EMBEDDED, null);

    private ConcurrencyCheck() throws Exception {}

    public static void main(String[] args) throws Exception {
        ConcurrencyCheck check = new ConcurrencyCheck();
        if (args.length == 0) {
            check.run();
        } else {
            check.churn();
        }
        check.end();
    }

    private void run() throws Exception {
        Map<String, String> serial = outcomes(corpus, false);
        long failing = serial.values().stream().filter(o -> !o.contains(" ")).count();
        System.out.println(serial.size() + " classes, " + failing + " not definable");
        check("most classes are defined", () -> expect(failing < serial.size() / 10, failing));
        // Every line at every level, so that the library keeps sending them all.
        List<String> lines = Collections.synchronizedList(new ArrayList<>());
        Runtime runtime = runtime(Severity.DETAIL, lines::add);
        Map<String, byte[]> packed = classes(containers);
        check("iLoadClass", () -> inParallel(THREADS, thread -> () -> sameOutcomes(serial,
                outcomes(containerLoader(runtime, packed), names, false), "thread " + thread)));
        runtime.installClassLoadHook("T");
        check("hook", () -> inParallel(THREADS, thread -> () -> sameOutcomes(serial,
                outcomes(thread % 2 == 0 ? containers : carriers, false), "thread " + thread)));
        check("one line for every class, one start message", () -> {
            long progress = lines.stream().filter(l -> l.startsWith("PROGRESS")).count();
            expect(2L * THREADS * packed.size(), progress, "lines");
            expect(List.of("started"), lines.stream().filter(l -> !l.startsWith("PROGRESS"))
                    .collect(Collectors.toList()), "messages");
        });
        check("hook re-entered from its callbacks", () -> {
            AtomicInteger nested = new AtomicInteger();
            ThreadLocal<Boolean> inCallback = ThreadLocal.withInitial(() -> false);
            try (URLClassLoader shared = jarLoader(carriers)) {
                // Unless it comes from such a load.
                runtime(Severity.DETAIL, line -> {
                    if (!inCallback.get()) {
                        inCallback.set(true);
                        outcomes(shared, List.of(names.get(nested.getAndIncrement()
                                % names.size())), false);
                        inCallback.set(false);
                    }
                }).installClassLoadHook("T");
                inParallel(THREADS, thread -> () -> sameOutcomes(serial, outcomes(carriers, false),
                        "thread " + thread));
            }
            expect(nested.get() >= THREADS * names.size(), "a load for every line");
        });
    }

    /** Initialized: a skeleton carrier left in place has a static initializer that throws. */
    private void churn() throws Exception {
        Map<String, String> expected = outcomes(corpus, true);
        AtomicInteger lines = new AtomicInteger();
        List<String> errors = Collections.synchronizedList(new ArrayList<>());
        Runtime[] runtime = new Runtime[1];
        runtime[0] = runtime(Severity.PROGRESS, line -> {
            if (line.startsWith("ERROR") || line.startsWith("error")) {
                errors.add(line);
            } else if (lines.incrementAndGet() % CLEAN_UP_EVERY == 0) {
                runtime[0].cleanUp(); // on the hook's own thread, in the middle of its callback
            }
        });
        runtime[0].installClassLoadHook("T");
        CountDownLatch loading = new CountDownLatch(6);
        check("every class as the plain jar defines it", () -> inParallel(7, i -> () -> {
            if (i == 6) {
                int rounds = 0;
                for (; loading.getCount() > 0; rounds++) {
                    runtime[0].cleanUp();
                    runtime[0].installClassLoadHook("T");
                    Thread.sleep(1); // the references stay set most of the time, for callbacks
                }
                System.out.print(rounds + " clean-ups with a new hook");
            } else {
                try {
                    sameOutcomes(expected, outcomes(i % 2 == 0 ? containers : carriers, true),
                            "thread " + i);
                } finally {
                    loading.countDown();
                }
            }
        }));
        System.out.println(", " + lines.get() / CLEAN_UP_EVERY + " from callbacks");
        runtime[0].installClassLoadHook("T"); // a callback may have cleaned up after the last round
        check("a line after the churn, and no error", () -> {
            int before = lines.get();
            try (URLClassLoader loader = jarLoader(containers)) {
                outcomes(loader, names.subList(0, 1), true);
            }
            expect(lines.get() > before && errors.isEmpty(), errors);
        });
    }

    /** What a fresh loader over the jar makes of every class. */
    private Map<String, String> outcomes(File jar, boolean initialize) throws Exception {
        try (URLClassLoader loader = jarLoader(jar)) {
            return outcomes(loader, names, initialize);
        }
    }
}
