package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.kelo.pack.JarProtector;
import java.io.File;
import java.net.URLClassLoader;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * With the class-load hook installed, ordinary loaders over the protected corpus, one per thread
 * and all at once, define every class as a serial run over the plain jar does: half of them read
 * the containers jar, half the jar of carrier class files.
 */
class ConcurrentHookTest {
    @Test
    void everyLoaderDefinesWhatTheSerialRunDefines(@TempDir Path folder) throws Exception {
        Corpus corpus = new Corpus();
        File containers = corpus.protect(folder, JarProtector.Form.CONTAINER);
        File carriers = corpus.protect(folder, JarProtector.Form.EMBEDDED);
        List<String> errors = Collections.synchronizedList(new ArrayList<>());
        Corpus.quietRuntime(errors).installClassLoadHook("T");

        Map<String, String> serial;
        try (URLClassLoader plain = Corpus.jarLoader(corpus.jar)) {
            serial = corpus.outcomes(plain);
        }
        List<Map<String, String>> runs = Corpus.inParallel(thread -> () -> {
            try (URLClassLoader loader =
                            Corpus.jarLoader(thread % 2 == 0 ? containers : carriers)) {
                return corpus.outcomes(loader);
            }
        });
        for (int i = 0; i < runs.size(); i++) {
            Corpus.assertSameOutcomes(serial, runs.get(i), "Loader " + i + " and the serial run");
        }
        assertEquals(List.of(), errors);
    }
}
