package com.kelo.rvs;

import com.kelo.pack.JarProtector;
import java.io.*;
import java.util.Map;
import java.util.concurrent.Callable;
import java.util.stream.LongStream;

/**
 * Loads a real jar's classes (system property kelo.rvs.test.corpus), protected as containers,
 * again and again through iLoadClass and then through the class-load hook, each round with a
 * fresh loader that is dropped afterwards, and checks that the C heap stays flat once the JVM has
 * settled. The JVM's own use comes and goes (compiler arenas, symbols freed by a background
 * thread) by a megabyte or two, so each end of the stretch is the median of five rounds: rounds 5
 * to 9, and the last five. Their difference must stay below a quarter of one round's class bytes,
 * where a leak of each class's bytes, its packed bytes or even its name would add several times
 * that over the 21 rounds between them. Classes that need others from outside the jar cannot be
 * defined; each round must define the same number.
 */
final class LeakCheck extends JvmTest {
    private static final int ROUNDS = 30;

    static {
        System.load(new File(System.getProperty("kelo.rvs.test.nativeHeap")).getAbsolutePath());
    }

    /** The bytes that malloc has handed out and not taken back, in every arena and mapping. */
    private static native long heapInUse();

    public static void main(String[] args) throws Exception {
        File corpus = new File(System.getProperty("kelo.rvs.test.corpus"));
        File jar = protect(corpus, JarProtector.Form.CONTAINER, null);
        Map<String, byte[]> containers = classes(jar);
        long allowed = classes(corpus).values().stream().mapToLong(b -> b.length).sum() / 4;
        Runtime runtime = runtime(null, line -> {});
        LeakCheck check = new LeakCheck();
        check.check("iLoadClass", () -> flat("iLoadClass", containers,
                () -> containerLoader(runtime, containers), allowed));
        runtime.installClassLoadHook("T");
        check.check("hook", () -> flat("hook", containers, () -> jarLoader(jar), allowed));
        check.end();
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
        long growth = median(heap, ROUNDS - 4) - median(heap, 5);
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

    private static long median(long[] heap, int from) {
        return LongStream.range(from, from + 5).map(round -> heap[(int) round]).sorted().skip(2)
                .findFirst().getAsLong();
    }
}
