package com.kelo.bench;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/** A prepared corpus (bench/corpus): the class names to load and the unpacked class files. */
final class Corpus {
    private Corpus() {}

    /**
     * The class names of classes.txt, in its order, without the names that the skip file lists.
     *
     * @param skipFile one class name a line, or null for none
     */
    static List<String> classNames(Path corpus, Path skipFile) throws IOException {
        Set<String> skipped = new HashSet<>();
        if (skipFile != null) {
            skipped.addAll(lines(skipFile));
        }
        List<String> names = new ArrayList<>();
        for (String name : lines(corpus.resolve("classes.txt"))) {
            if (!skipped.contains(name)) {
                names.add(name);
            }
        }
        return names;
    }

    /** The bytes of every named class under the folder (plain/ or containers/), by class name. */
    static Map<String, byte[]> read(Path folder, List<String> names) throws IOException {
        Map<String, byte[]> classes = new HashMap<>();
        for (String name : names) {
            Path file = folder.resolve(name.replace('.', '/') + ".class");
            classes.put(name, Files.readAllBytes(file));
        }
        return classes;
    }

    private static List<String> lines(Path file) throws IOException {
        List<String> lines = new ArrayList<>();
        for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            if (!line.isBlank()) {
                lines.add(line.strip());
            }
        }
        return lines;
    }
}
