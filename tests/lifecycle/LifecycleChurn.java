package com.kelo.rvs;

import com.kelo.pack.JarProtector.Form;
import com.kelo.rvs.LogTarget.Severity;
import java.io.File;
import java.net.URLClassLoader;
import java.util.*;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The library's references to Java objects dropped and made again while classes load through the
 * class-load hook: loader threads define every class of a real jar (system property
 * kelo.rvs.test.corpus) from its containers and from its carrier class files, while one thread
 * keeps cleaning up and installing the hook again, and the log target cleans up from inside the
 * hook's own callbacks now and then. Every class must come out as the plain jar defines it, and
 * the library must still report afterwards.
 */
final class LifecycleChurn extends JvmTest {
    private static final int LOADERS = 6;
    private static final int CLEAN_UP_EVERY = 97;

    private final AtomicInteger lines = new AtomicInteger();
    private final List<String> errors = Collections.synchronizedList(new ArrayList<>());
    private final Runtime runtime = runtime(Severity.PROGRESS, line -> {
        if (line.startsWith("ERROR") || line.startsWith("error")) {
            errors.add(line);
        } else if (lines.incrementAndGet() % CLEAN_UP_EVERY == 0) {
            this.runtime.cleanUp(); // on the hook's own thread, in the middle of its callback
        }
    });

    public static void main(String[] args) throws Exception {
        new LifecycleChurn().run(new File(System.getProperty("kelo.rvs.test.corpus")));
    }

    private void run(File corpus) throws Exception {
        List<String> names = new ArrayList<>(classes(corpus).keySet());
        File[] forms = {protect(corpus, Form.CONTAINER), protect(corpus, Form.EMBEDDED)};
        Map<String, String> expected = outcomes(corpus, names);
        runtime.installClassLoadHook("T");
        CountDownLatch loading = new CountDownLatch(LOADERS);
        check("every class as the plain jar defines it", () -> inParallel(LOADERS + 1, i -> () -> {
            if (i == LOADERS) {
                int rounds = 0;
                for (; loading.getCount() > 0; rounds++) {
                    runtime.cleanUp();
                    runtime.installClassLoadHook("T");
                    Thread.sleep(1); // the references stay set most of the time, for callbacks
                }
                System.out.print(rounds + " clean-ups with a new hook");
            } else {
                try {
                    sameOutcomes(expected, outcomes(forms[i % 2], names), forms[i % 2].getName());
                } finally {
                    loading.countDown();
                }
            }
        }));
        System.out.println(", " + lines.get() / CLEAN_UP_EVERY + " from callbacks");
        runtime.installClassLoadHook("T"); // a callback may have cleaned up after the last round
        check("a line after the churn, and no error", () -> {
            int before = lines.get();
            outcomes(forms[0], names.subList(0, 1));
            expect(lines.get() > before && errors.isEmpty(), errors);
        });
        end();
    }

    private static Map<String, String> outcomes(File jar, List<String> names) throws Exception {
        try (URLClassLoader loader = jarLoader(jar)) {
            return outcomes(loader, names, true);
        }
    }
}
