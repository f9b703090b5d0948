package com.kelo.bench;

import com.kelo.rvs.Runtime;
import java.nio.file.Path;
import java.util.List;
import java.util.Map;

/**
 * One cold-process run: reads the corpus's classes into memory, then loads every one of them
 * through a class loader that serves them from there.
 *
 * <p>Usage: {@code ColdLoad plain|native|java CORPUS-DIR [SKIP-FILE]}. plain defines the class
 * files with {@code defineClass}; native defines the gzip containers through the library's
 * {@code iLoadClass}; java decodes the same containers in Java and defines the result. Every
 * variant loads the native library first, so that the loading phases differ only in how the
 * classes are defined.
 */
public final class ColdLoad {
    private ColdLoad() {}

    public static void main(String[] args) throws Exception {
        if (args.length < 2 || args.length > 3) {
            throw new IllegalArgumentException(
                    "usage: ColdLoad plain|native|java CORPUS-DIR [SKIP-FILE]");
        }
        Runtime runtime = new Runtime();
        Path corpus = Path.of(args[1]);
        List<String> names = Corpus.classNames(corpus, args.length > 2 ? Path.of(args[2]) : null);
        boolean plain = args[0].equals("plain");
        Map<String, byte[]> bytes =
                Corpus.read(corpus.resolve(plain ? "plain" : "containers"), names);
        ClassLoader loader;
        switch (args[0]) {
        case "plain":
            loader = new PlainLoader(bytes);
            break;
        case "native":
            loader = new NativeMemoryLoader(bytes, runtime);
            break;
        case "java":
            loader = new JavaContainerLoader(bytes);
            break;
        default:
            throw new IllegalArgumentException("unknown variant " + args[0]);
        }
        LoadPhase.run(loader, names);
    }
}
