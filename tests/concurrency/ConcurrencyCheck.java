package com.kelo.check;

import com.kelo.pack.JarProtector.Form;
import com.kelo.rvs.LogTarget.Severity;
import com.kelo.rvs.Runtime;
import java.io.*;
import java.net.URLClassLoader;
import java.util.*;
import java.util.concurrent.*;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.*;

/**
 * Threads at once, each with a loader of its own, load every class of a real jar (system property
 * kelo.rvs.test.corpus), protected as containers and as carriers, and each must define what a
 * serial run over the plain jar defines. A class that cannot be defined (it refers to classes
 * outside the jar) or reflected on counts by the kind of its error, the same in every run.
 *
 * <p>Without arguments, eight threads: through iLoadClass; then through the class-load hook, set
 * up once for the runtime and again for one whose every line loads another class (the hook's
 * loads without such callbacks are the churn's). With "churn": the library's references to Java
 * objects dropped and made again while six threads load through the hook, by a thread that keeps
 * cleaning up and installing the hook again and by the log target from inside the hook's own
 * callbacks now and then.
 *
 * <p>With "heap": the C heap across rounds of loading the containers again and again through
 * iLoadClass and then through the class-load hook, each round with a fresh loader that is dropped
 * afterwards, must stay flat once the JVM has settled (system property kelo.rvs.test.nativeHeap
 * names the library that reads it). The JVM's own use comes and goes (compiler arenas, symbols
 * freed by a background thread) by a megabyte or two, for several rounds at a time on a busy
 * machine, while a leak raises every round; so each end of the stretch is the lowest of five
 * rounds: rounds 5 to 9, and the last five. Their difference must stay below a quarter of one
 * round's class bytes, where a leak of each class's bytes, its packed bytes or even its name would
 * add several times that over the 21 rounds between them. Each round must define the same number
 * of classes.
 */
final class ConcurrencyCheck extends JvmTest {
    private static final int THREADS = 8;
    private static final int CLEAN_UP_EVERY = 97;
    private static final int ROUNDS = 30;

    private final File corpus = new File(System.getProperty("kelo.rvs.test.corpus"));
    private final List<String> names = new ArrayList<>(classes(corpus).keySet());
    private final File containers = protect(corpus, Form.CONTAINER, null);
    private final File carriers = protect(corpus, Form.EMBEDDED, null);

    private ConcurrencyCheck() throws Exception {}

    public static void main(String[] args) throws Exception {
        ConcurrencyCheck check = new ConcurrencyCheck();
        switch (args.length == 0 ? "" : args[0]) {
            case "churn" -> check.churn();
            case "heap" -> check.heap();
            default -> check.run();
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
        check("one line for every class, one start message", () -> {
            long progress = lines.stream().filter(l -> l.startsWith("PROGRESS")).count();
            expect((long) THREADS * packed.size(), progress, "lines");
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

    /** The bytes that malloc has handed out and not taken back, in every arena and mapping. */
    private static native long heapInUse();

    private void heap() throws Exception {
        System.load(new File(System.getProperty("kelo.rvs.test.nativeHeap")).getAbsolutePath());
        Map<String, byte[]> packed = classes(containers);
        long allowed = classes(corpus).values().stream().mapToLong(b -> b.length).sum() / 4;
        Runtime runtime = runtime(null, line -> {});
        check("iLoadClass", () -> flat("iLoadClass", packed,
                () -> containerLoader(runtime, packed), allowed));
        runtime.installClassLoadHook("T");
        check("hook", () -> flat("hook", packed, () -> jarLoader(containers), allowed));
    }

    private static void flat(String path, Map<String, byte[]> classes,
            Callable<ClassLoader> loaders, long allowed) throws Exception {
        long[] heap = new long[ROUNDS + 1];
        long first = defineAll(loaders.call(), classes);
        for (int round = 1; round <= ROUNDS; round++) {
            long defined = round == 1 ? first : defineAll(loaders.call(), classes);
            expect(first > 0 && defined == first, path + " round " + round + " defined " + defined);
            // A full collection unloads the classes of the loader that nothing reaches any more.
            System.gc();
            System.gc();
            heap[round] = heapInUse();
            System.out.println(path + " round " + round + ": " + defined + " defined, C heap "
                    + heap[round] + " bytes");
        }
        long growth = lowest(heap, ROUNDS - 4) - lowest(heap, 5);
        System.out.println(path + ": growth " + growth + " bytes, allowed " + allowed);
        expect(growth < allowed, path + " grew by " + growth + " bytes");
    }

    /** How many classes the loader defines; it is closed and dropped afterwards. */
    private static long defineAll(ClassLoader loader, Map<String, byte[]> classes)
            throws IOException {
        // A class's outcome is "class NAME" or "interface NAME", or its error's name.
        long defined = classes.keySet().stream()
                .filter(name -> outcome(() -> loader.loadClass(name)).contains(" ")).count();
        if (loader instanceof Closeable closeable) {
            closeable.close();
        }
        return defined;
    }

    private static long lowest(long[] heap, int from) {
        return Arrays.stream(heap, from, from + 5).min().getAsLong();
    }

    /** What a fresh loader over the jar makes of every class. */
    private Map<String, String> outcomes(File jar, boolean initialize) throws Exception {
        try (URLClassLoader loader = jarLoader(jar)) {
            return outcomes(loader, names, initialize);
        }
    }
}
