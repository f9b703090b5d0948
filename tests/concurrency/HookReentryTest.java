package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kelo.pack.ContainerHeader;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.net.URLClassLoader;
import java.nio.file.Path;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.jar.JarOutputStream;
import java.util.zip.ZipEntry;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The class-load hook calls into Java in the middle of the JVM's class loading: here every line,
 * start message and error it sends loads another class, through the hook again, while several
 * threads define classes at once. The JVM must get through it within a generous bound.
 */
class HookReentryTest {
    private static final int BROKEN = 4;

    private final AtomicInteger nested = new AtomicInteger();
    private final AtomicInteger reported = new AtomicInteger();
    private final ThreadLocal<Boolean> inCallback = ThreadLocal.withInitial(() -> false);
    private Corpus corpus;
    private URLClassLoader shared;

    /** Loads the next class of the corpus through the shared loader, unless already doing so. */
    private void loadAnother() {
        if (inCallback.get()) {
            return;
        }
        inCallback.set(true);
        try {
            String name = corpus.names.get(nested.getAndIncrement() % corpus.names.size());
            Class.forName(name, false, shared);
        } catch (ClassNotFoundException | LinkageError e) {
            // Only the load through the hook matters here, not whether it succeeds.
        } finally {
            inCallback.set(false);
        }
    }

    private Runtime reentrantRuntime() {
        LibraryLoader.loadOnce();
        Runtime runtime = new Runtime(new LogTarget() {
            @Override
            public boolean isLoggable(Severity severity) {
                return true;
            }

            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                loadAnother();
            }
        });
        runtime.addListener(new RuntimeListener() {
            @Override
            public void started() {
                loadAnother();
            }

            @Override
            public void error(String text) {
                reported.incrementAndGet();
                loadAnother();
            }
        });
        return runtime;
    }

    // The corpus's containers and a few whose gzip stream is broken, which the hook reports.
    private File containerJar(Path folder) throws Exception {
        Map<String, byte[]> entries = new TreeMap<>(corpus.containers());
        byte[] sample = entries.values().iterator().next();
        for (int i = 0; i < BROKEN; i++) {
            byte[] broken = sample.clone();
            broken[ContainerHeader.LENGTH + 10] = 0x07; // deflate block type 3
            entries.put(brokenName(i), broken);
        }
        File jar = folder.resolve("reentry.jar").toFile();
        try (JarOutputStream out = new JarOutputStream(new FileOutputStream(jar))) {
            for (Map.Entry<String, byte[]> entry : entries.entrySet()) {
                out.putNextEntry(new ZipEntry(entry.getKey().replace('.', '/') + ".class"));
                out.write(entry.getValue());
                out.closeEntry();
            }
        }
        return jar;
    }

    private static String brokenName(int i) {
        return "com.kelo.broken.Broken" + i;
    }

    @Test
    void callbacksThatLoadClassesDoNotStopTheJvm(@TempDir Path folder) throws Exception {
        corpus = new Corpus();
        File jar = containerJar(folder);
        shared = Corpus.jarLoader(jar);
        reentrantRuntime().installClassLoadHook("T");
        try {
            loadAtOnce(jar);
        } finally {
            shared.close();
        }
        assertEquals(Corpus.THREADS * BROKEN, reported.get());
        assertTrue(nested.get() >= Corpus.THREADS * corpus.names.size(), "a load per line");
    }

    // Every thread loads the corpus and the broken containers through a loader of its own.
    private void loadAtOnce(File jar) throws Exception {
        List<Map<String, String>> runs = Corpus.inParallel(thread -> () -> {
            try (URLClassLoader loader = Corpus.jarLoader(jar)) {
                Map<String, String> outcomes = corpus.outcomes(loader);
                for (int i = 0; i < BROKEN; i++) {
                    outcomes.put(brokenName(i), Corpus.outcome(brokenName(i), loader));
                }
                return outcomes;
            }
        });
        for (int i = 1; i < runs.size(); i++) {
            Corpus.assertSameOutcomes(runs.get(0), runs.get(i), "Loaders 0 and " + i);
        }
        for (int i = 0; i < BROKEN; i++) {
            assertEquals("not defined: java.lang.ClassFormatError", runs.get(0).get(brokenName(i)));
        }
    }
}
