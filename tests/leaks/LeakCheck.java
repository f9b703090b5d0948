package com.kelo.rvs;

import com.kelo.pack.JarProtector;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Loads a real jar's classes, protected as containers, again and again through iLoadClass and
 * then through the class-load hook, each round with a fresh loader that is dropped afterwards,
 * and checks that the C heap stays flat once the JVM has settled. The JVM's own use comes and
 * goes (compiler arenas, symbols freed by a background thread), so each end of the stretch is
 * the lowest figure of {@value #WINDOW} rounds: those from round {@value #SETTLED} on, and the
 * last ones up to round {@value #ROUNDS}. Their difference must stay below a quarter of one
 * round's class bytes, where a leak of each class's bytes, or of its packed bytes, would add
 * several times that. Classes that need others from outside the jar cannot be defined; they
 * are counted and must be the same in every round. Prints the heap after every round; exits
 * with status 1 on a failure.
 */
public final class LeakCheck {
    private static final int ROUNDS = 20;
    private static final int SETTLED = 5;
    private static final int WINDOW = 5;
    private static final String CORPUS_PROPERTY = "kelo.rvs.test.corpus";

    private static final LogTarget QUIET = new LogTarget() {
        @Override
        public boolean isLoggable(Severity severity) {
            return false;
        }

        @Override
        public void log(Severity severity, String text, Throwable thrown) {}
    };

    /** Defines the classes it is asked for from their containers, through iLoadClass. */
    private static final class ContainerLoader extends ClassLoader {
        private final Runtime runtime;
        private final Map<String, byte[]> containers;

        ContainerLoader(Runtime runtime, Map<String, byte[]> containers) {
            super(ClassLoader.getPlatformClassLoader());
            this.runtime = runtime;
            this.containers = containers;
        }

        @Override
        protected Class<?> findClass(String name) throws ClassNotFoundException {
            String internalName = name.replace('.', '/');
            byte[] container = containers.get(internalName);
            if (container == null) {
                throw new ClassNotFoundException(name);
            }
            Class<?> defined = runtime.iLoadClass(this, internalName, container);
            if (defined == null) {
                throw new ClassNotFoundException(name + ": refused by the library");
            }
            return defined;
        }
    }

    private interface LoaderFactory {
        ClassLoader create() throws IOException;
    }

    /** The heap after each round of one path, and how many classes each round defined. */
    private static final class Series {
        final String path;
        final long[] heap = new long[ROUNDS + 1];
        final int[] defined = new int[ROUNDS + 1];
        final int[] failed = new int[ROUNDS + 1];

        Series(String path) {
            this.path = path;
        }

        long growth() {
            return lowest(ROUNDS - WINDOW + 1) - lowest(SETTLED);
        }

        private long lowest(int from) {
            long lowest = Long.MAX_VALUE;
            for (int round = from; round < from + WINDOW; round++) {
                lowest = Math.min(lowest, heap[round]);
            }
            return lowest;
        }
    }

    public static void main(String[] args) throws Exception {
        String corpusPath = System.getProperty(CORPUS_PROPERTY);
        if (corpusPath == null) {
            throw new IllegalStateException(CORPUS_PROPERTY + " does not name the jar to load");
        }
        File corpus = new File(corpusPath);
        Path folder = Files.createTempDirectory("kelo-leaks");
        File protectedJar = folder.resolve("containers.jar").toFile();
        boolean ok = true;
        try {
            JarProtector protector = new JarProtector();
            protector.form = JarProtector.Form.CONTAINER;
            protector.protect(corpus, protectedJar, System.out);
            Map<String, byte[]> containers = containers(protectedJar);
            long classBytes = classBytes(corpus, containers);
            System.out.println(corpus + ": " + containers.size() + " classes, " + classBytes
                    + " class bytes");

            new Runtime();
            Runtime runtime = new Runtime(QUIET);
            List<String> names = new ArrayList<>(containers.keySet());
            Series direct = run("iLoadClass", names,
                    () -> new ContainerLoader(runtime, containers));
            runtime.installClassLoadHook("T");
            URL[] jar = {protectedJar.toURI().toURL()};
            Series hooked = run("hook", names,
                    () -> new URLClassLoader(jar, ClassLoader.getPlatformClassLoader()));

            long allowed = classBytes / 4;
            for (Series series : new Series[] {direct, hooked}) {
                System.out.println(series.path + ": growth from rounds " + SETTLED + "-"
                        + (SETTLED + WINDOW - 1) + " to " + (ROUNDS - WINDOW + 1) + "-" + ROUNDS
                        + ": " + series.growth() + " bytes, allowed " + allowed);
                ok &= series.growth() < allowed && consistent(series);
            }
        } finally {
            Files.deleteIfExists(protectedJar.toPath());
            Files.delete(folder);
        }
        System.exit(ok ? 0 : 1);
    }

    private static Series run(String path, List<String> names, LoaderFactory loaders)
            throws IOException {
        Series series = new Series(path);
        for (int round = 1; round <= ROUNDS; round++) {
            ClassLoader loader = loaders.create();
            for (String name : names) {
                try {
                    loader.loadClass(name.replace('/', '.'));
                    series.defined[round]++;
                } catch (ClassNotFoundException | LinkageError e) {
                    series.failed[round]++;
                }
            }
            if (loader instanceof URLClassLoader) {
                ((URLClassLoader) loader).close();
            }
            // A full collection unloads the classes of loaders that nothing reaches; not even this
            // frame may hold the loader, as an interpreted frame would keep its slot.
            loader = null;
            System.gc();
            System.gc();
            series.heap[round] = NativeHeap.bytesInUse();
            System.out.println(path + " round " + round + ": " + series.defined[round]
                    + " defined, " + series.failed[round] + " not definable, C heap "
                    + series.heap[round] + " bytes");
        }
        return series;
    }

    private static boolean consistent(Series series) {
        for (int round = 1; round <= ROUNDS; round++) {
            if (series.defined[round] != series.defined[1] || series.defined[round] == 0
                    || series.failed[round] != series.failed[1]) {
                System.out.println(series.path + ": round " + round + " defined "
                        + series.defined[round] + " classes, round 1 " + series.defined[1]);
                return false;
            }
        }
        return true;
    }

    /** The protected jar's classes by internal name; module descriptors are not classes. */
    private static Map<String, byte[]> containers(File jar) throws IOException {
        Map<String, byte[]> containers = new TreeMap<>();
        try (ZipFile zip = new ZipFile(jar)) {
            for (Enumeration<? extends ZipEntry> e = zip.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                String name = entry.getName();
                if (name.endsWith(".class") && !name.startsWith("META-INF/")
                        && !name.endsWith("module-info.class")) {
                    try (InputStream in = zip.getInputStream(entry)) {
                        containers.put(name.substring(0, name.length() - 6), in.readAllBytes());
                    }
                }
            }
        }
        return containers;
    }

    /** The bytes of the original class files that the containers hold. */
    private static long classBytes(File jar, Map<String, byte[]> containers) throws IOException {
        long total = 0;
        try (ZipFile zip = new ZipFile(jar)) {
            for (String name : containers.keySet()) {
                total += zip.getEntry(name + ".class").getSize();
            }
        }
        return total;
    }

    private LeakCheck() {}
}
