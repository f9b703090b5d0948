package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;

/**
 * Threads that load a whole corpus from its containers through iLoadClass at once, each with a
 * loader of its own, define every class as a serial run over the plain jar does.
 */
class ConcurrentLoadClassTest {
    @Test
    void everyThreadDefinesWhatTheSerialRunDefines() throws Exception {
        Corpus corpus = new Corpus();
        long started = System.nanoTime();
        Map<String, String> serial;
        try (URLClassLoader plain = Corpus.jarLoader(corpus.jar)) {
            serial = corpus.outcomes(plain);
        }
        long skipped = Corpus.skipped(serial);
        System.out.println(corpus.names.size() + " classes, " + skipped + " skipped; serial run "
                + (System.nanoTime() - started) / 1_000_000 + " ms");
        assertTrue(skipped < corpus.names.size() / 10, "most classes are defined");

        Map<String, byte[]> containers = corpus.containers();
        List<String> errors = Collections.synchronizedList(new ArrayList<>());
        Runtime runtime = Corpus.quietRuntime(errors);
        List<Map<String, String>> runs = Corpus.inParallel(
                thread -> () -> corpus.outcomes(new ContainerLoader(runtime, containers)));
        for (int i = 0; i < runs.size(); i++) {
            Corpus.assertSameOutcomes(serial, runs.get(i), "Thread " + i + " and the serial run");
        }
        assertEquals(List.of(), errors);
    }
}
