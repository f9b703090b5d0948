package com.kelo.bench;

import com.kelo.rvs.Runtime;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Path;

/**
 * One run of the class-load hook benchmark: loads every class of the corpus from a jar through a
 * {@link URLClassLoader}, with or without the library's hook installed first. The library is
 * loaded in either case, so that the loading phases differ only by the hook.
 *
 * <p>Usage: {@code HookLoad none|hook JAR CORPUS-DIR [SKIP-FILE]}. A Java agent given with
 * {@code -javaagent} comes on top of either.
 */
public final class HookLoad {
    private HookLoad() {}

    public static void main(String[] args) throws Exception {
        if (args.length < 3 || args.length > 4) {
            throw new IllegalArgumentException(
                    "usage: HookLoad none|hook JAR CORPUS-DIR [SKIP-FILE]");
        }
        Runtime runtime = new Runtime();
        if (args[0].equals("hook")) {
            runtime.installClassLoadHook("T");
        } else if (!args[0].equals("none")) {
            throw new IllegalArgumentException("unknown variant " + args[0]);
        }
        URL[] jar = {Path.of(args[1]).toUri().toURL()};
        try (URLClassLoader loader =
                        new URLClassLoader(jar, ClassLoader.getPlatformClassLoader())) {
            LoadPhase.run(loader, Corpus.classNames(Path.of(args[2]),
                                          args.length > 3 ? Path.of(args[3]) : null));
        }
    }
}
