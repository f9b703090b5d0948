package com.kelo.bench;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.ToDoubleFunction;

/**
 * Runs the JVM benchmarks: every run is a fresh JVM ({@link ColdLoad} or {@link HookLoad}), the
 * variants of a comparison run in turn, forwards and backwards alternately, and each comparison
 * is the median of the ratios of the runs of one round. Prints readable lines, notes starting
 * with {@code #} and rows {@code ROW<TAB>what<TAB>value<TAB>limit} (limit {@code -} when the row
 * only informs).
 *
 * <p>Usage: {@code Driver --corpus DIR --library FILE --classpath CP --agent JAR --work DIR
 * [--runs N]}; the class path holds this jar and kelo-rvs.jar, the work folder receives the list
 * of skipped classes and the error output of the runs.
 */
public final class Driver {
    /** What one run reported. */
    private static final class Result {
        long loadNanos;
        long cpuNanos;
        long wallNanos;
        int loaded;
        long peakKb;
        final List<String> failed = new ArrayList<>();
    }

    /** One way of loading the corpus, and its results round by round. */
    private static final class Variant {
        final String label;
        final List<String> command;
        final List<Result> results = new ArrayList<>();

        Variant(String label, List<String> command) {
            this.label = label;
            this.command = command;
        }
    }

    private final Path corpus;
    private final Path work;
    private final List<String> jvm;
    private final String agent;

    private Driver(Path corpus, Path work, List<String> jvm, String agent) {
        this.corpus = corpus;
        this.work = work;
        this.jvm = jvm;
        this.agent = agent;
    }

    public static void main(String[] args) throws Exception {
        Map<String, String> options = options(args);
        int runs = Integer.parseInt(options.getOrDefault("--runs", "5"));
        if (runs < 1) {
            throw new IllegalArgumentException("--runs must be at least 1");
        }
        Path corpus = Path.of(options.get("--corpus")).toAbsolutePath();
        Path work = Files.createDirectories(Path.of(options.get("--work")).toAbsolutePath());
        String java = Path.of(System.getProperty("java.home"), "bin", "java").toString();
        // The JDK's default logging configuration, as users have it: the library's progress line
        // for each class is debugging output there, neither printed nor sent.
        List<String> jvm = List.of(java, "-Dkelo.rvs.library=" + options.get("--library"),
                "-cp", options.get("--classpath"));
        new Driver(corpus, work, jvm, options.get("--agent")).runAll(runs);
    }

    private static Map<String, String> options(String[] args) {
        Map<String, String> options = new LinkedHashMap<>();
        for (int i = 0; i + 1 < args.length; i += 2) {
            options.put(args[i], args[i + 1]);
        }
        for (String required : List.of("--corpus", "--library", "--classpath", "--agent",
                     "--work")) {
            if (!options.containsKey(required) || args.length % 2 != 0) {
                throw new IllegalArgumentException("usage: Driver --corpus DIR --library FILE "
                        + "--classpath CP --agent JAR --work DIR [--runs N]");
            }
        }
        return options;
    }

    private void runAll(int runs) throws IOException, InterruptedException {
        Path skip = findSkipped();
        String skipFile = skip.toString();
        String dir = corpus.toString();
        Variant plain = variant("cold: plain defineClass", List.of(),
                "ColdLoad", "plain", dir, skipFile);
        Variant iLoadClass = variant("cold: iLoadClass", List.of(),
                "ColdLoad", "native", dir, skipFile);
        Variant javaGzip = variant("cold: Java Inflater", List.of(),
                "ColdLoad", "java", dir, skipFile);
        Variant noHook = variant("hook: plain.jar without hook", List.of(),
                "HookLoad", "none", jar("plain"), dir, skipFile);
        Variant plainHook = variant("hook: plain.jar with hook", List.of(),
                "HookLoad", "hook", jar("plain"), dir, skipFile);
        Variant containerHook = variant("hook: containers.jar with hook", List.of(),
                "HookLoad", "hook", jar("containers"), dir, skipFile);
        Variant javaAgent = variant("hook: containers.jar via Java agent",
                List.of("-javaagent:" + agent), "HookLoad", "none", jar("containers"), dir,
                skipFile);
        Variant embeddedHook = variant("hook: embedded.jar (skeletons) with hook", List.of(),
                "HookLoad", "hook", jar("embedded"), dir, skipFile);
        List<Variant> cold = List.of(plain, iLoadClass, javaGzip);
        List<Variant> hook = List.of(noHook, plainHook, containerHook, javaAgent, embeddedHook);

        String loadBefore = loadAverage();
        measure(runs, List.of(cold, hook));
        // Other processes on the machine stretch the elapsed times; the CPU times less so.
        System.out.println("# load average (1, 5, 15 min) before: " + loadBefore + ", after: "
                + loadAverage() + ", on " + java.lang.Runtime.getRuntime().availableProcessors()
                + " processors");
        printTable(runs, concat(cold, hook));

        ratio("cold: iLoadClass / plain defineClass", iLoadClass, plain, "1.30");
        ratio("cold: iLoadClass / Java Inflater loader", iLoadClass, javaGzip, "0.58");
        ratio("hook: plain.jar with hook / without", plainHook, noHook, "1.02");
        ratio("hook: containers.jar with hook / plain.jar without", containerHook, noHook,
                "1.10");
        ratio("hook: containers.jar via Java agent / plain.jar without", javaAgent, noHook, "-");
        ratio("hook: embedded.jar (skeletons) with hook / plain.jar without", embeddedHook,
                noHook, "1.10");
        for (String form : List.of("containers", "embedded")) {
            row("size: " + form + ".jar / plain.jar",
                    (double) Files.size(Path.of(jar(form))) / Files.size(Path.of(jar("plain"))),
                    "-");
        }
        row("memory: VmHWM iLoadClass / plain defineClass",
                medianRatio(iLoadClass, plain, r -> r.peakKb), "1.05");
        for (Variant variant : concat(cold, hook)) {
            row(variant.label + " loading (ms)", median(variant, r -> r.loadNanos / 1e6), "-");
        }
        for (Variant variant : concat(cold, hook)) {
            row(variant.label + " process (ms)", median(variant, r -> r.wallNanos / 1e6), "-");
        }
        for (Variant variant : cold) {
            row(variant.label + " VmHWM (MB)", median(variant, r -> r.peakKb / 1024.0), "-");
        }
        // The CPU time of the loading thread tells the same comparisons with less of the noise
        // that other processes on the machine add to the elapsed time.
        cpuRatio("cold: iLoadClass / plain defineClass", iLoadClass, plain);
        cpuRatio("cold: iLoadClass / Java Inflater loader", iLoadClass, javaGzip);
        cpuRatio("hook: plain.jar with hook / without", plainHook, noHook);
        cpuRatio("hook: containers.jar with hook / plain.jar without", containerHook, noHook);
        cpuRatio("hook: containers.jar via Java agent / plain.jar without", javaAgent, noHook);
        cpuRatio("hook: embedded.jar (skeletons) with hook / plain.jar without", embeddedHook,
                noHook);
        row("cold process: iLoadClass / plain defineClass",
                medianRatio(iLoadClass, plain, r -> r.wallNanos), "-");
        row("hook process: containers.jar with hook / plain.jar without",
                medianRatio(containerHook, noHook, r -> r.wallNanos), "-");
    }

    /**
     * One warm-up round, then the measured rounds. A round runs every group's variants in turn,
     * forwards in even rounds and backwards in odd ones.
     */
    private void measure(int runs, List<List<Variant>> groups)
            throws IOException, InterruptedException {
        System.out.println("# one warm-up round, then " + runs + " measured rounds");
        for (int round = -1; round < runs; round++) {
            for (List<Variant> group : groups) {
                List<Variant> order = new ArrayList<>(group);
                if (round % 2 != 0) {
                    Collections.reverse(order);
                }
                for (Variant variant : order) {
                    Result result = run(variant.command);
                    if (!result.failed.isEmpty()) {
                        throw new IllegalStateException(variant.label + " could not load "
                                + result.failed.size() + " classes, first "
                                + result.failed.get(0));
                    }
                    if (round >= 0) {
                        variant.results.add(result);
                    }
                }
            }
            System.out.println(round < 0 ? "warm-up round done"
                                         : "round " + (round + 1) + " of " + runs + " done");
        }
    }

    private static void printTable(int runs, List<Variant> variants) {
        System.out.println();
        System.out.printf(Locale.ROOT, "%-43s %9s %12s %11s %12s %10s%n",
                "variant (median of " + runs + " runs)", "classes", "loading ms", "CPU ms",
                "process ms", "VmHWM MB");
        for (Variant variant : variants) {
            System.out.printf(Locale.ROOT, "%-43s %9d %12.1f %11.1f %12.1f %10.1f%n",
                    variant.label, variant.results.get(0).loaded,
                    median(variant, r -> r.loadNanos / 1e6),
                    median(variant, r -> r.cpuNanos / 1e6),
                    median(variant, r -> r.wallNanos / 1e6),
                    median(variant, r -> r.peakKb / 1024.0));
        }
        System.out.println();
    }

    /**
     * Loads the plain corpus once and lists the classes that cannot be defined from it (their
     * dependencies are not in the corpus) in a file that every later run skips.
     */
    private Path findSkipped() throws IOException, InterruptedException {
        Result probe = run(command(List.of(), "ColdLoad", "plain", corpus.toString()));
        Path skip = work.resolve("skipped.txt");
        Files.write(skip, probe.failed, StandardCharsets.UTF_8);
        int total = probe.loaded + probe.failed.size();
        System.out.println("# " + probe.failed.size() + " of " + total
                + " classes cannot be defined without classes outside the corpus; every run"
                + " skips them (" + skip + ")");
        for (String name : probe.failed) {
            System.out.println("#   skipped " + name);
        }
        return skip;
    }

    private static String loadAverage() throws IOException {
        Path loadavg = Path.of("/proc/loadavg");
        if (!Files.isReadable(loadavg)) {
            return "unknown";
        }
        String[] fields = Files.readString(loadavg).split(" ");
        return fields[0] + " " + fields[1] + " " + fields[2];
    }

    private String jar(String form) {
        return corpus.resolve(form + ".jar").toString();
    }

    private Variant variant(String label, List<String> options, String main, String... args) {
        return new Variant(label, command(options, main, args));
    }

    private List<String> command(List<String> options, String main, String... args) {
        List<String> command = new ArrayList<>(jvm);
        command.addAll(options);
        command.add("com.kelo.bench." + main);
        command.addAll(Arrays.asList(args));
        return command;
    }

    private Result run(List<String> command) throws IOException, InterruptedException {
        // The runs stop at the first failure, so one file holds the errors worth reading.
        Path errors = work.resolve("run.err");
        ProcessBuilder builder = new ProcessBuilder(command).redirectError(errors.toFile());
        long start = System.nanoTime();
        Process process = builder.start();
        List<String> lines;
        try (var out = process.getInputStream()) {
            lines = new String(out.readAllBytes(), StandardCharsets.UTF_8).lines().toList();
        }
        int exit = process.waitFor();
        Result result = new Result();
        result.wallNanos = System.nanoTime() - start;
        boolean reported = false;
        for (String line : lines) {
            String[] fields = line.split(" ");
            if (fields[0].equals("RESULT")) {
                result.loadNanos = Long.parseLong(fields[1]);
                result.loaded = Integer.parseInt(fields[2]);
                result.peakKb = Long.parseLong(fields[4]);
                result.cpuNanos = Long.parseLong(fields[5]);
                reported = true;
            } else if (fields[0].equals("FAILED")) {
                result.failed.add(fields[1]);
            }
        }
        if (exit != 0 || !reported) {
            throw new IllegalStateException("exit " + exit + " of " + String.join(" ", command)
                    + "; its errors are in " + errors);
        }
        return result;
    }

    private static void ratio(String what, Variant measured, Variant base, String limit) {
        row(what, medianRatio(measured, base, r -> r.loadNanos), limit);
    }

    private static void cpuRatio(String what, Variant measured, Variant base) {
        row(what.replaceFirst(":", " CPU:"), medianRatio(measured, base, r -> r.cpuNanos), "-");
    }

    private static double medianRatio(Variant measured, Variant base, ToDoubleFunction<Result> f) {
        List<Double> ratios = new ArrayList<>();
        for (int i = 0; i < measured.results.size(); i++) {
            ratios.add(f.applyAsDouble(measured.results.get(i))
                    / f.applyAsDouble(base.results.get(i)));
        }
        return median(ratios);
    }

    private static double median(Variant variant, ToDoubleFunction<Result> f) {
        List<Double> values = new ArrayList<>();
        for (Result result : variant.results) {
            values.add(f.applyAsDouble(result));
        }
        return median(values);
    }

    private static double median(List<Double> values) {
        List<Double> sorted = new ArrayList<>(values);
        Collections.sort(sorted);
        int n = sorted.size();
        return n % 2 == 1 ? sorted.get(n / 2) : (sorted.get(n / 2 - 1) + sorted.get(n / 2)) / 2;
    }

    private static void row(String what, double value, String limit) {
        System.out.printf(Locale.ROOT, "ROW\t%s\t%.3f\t%s%n", what, value, limit);
    }

    private static List<Variant> concat(List<Variant> first, List<Variant> second) {
        List<Variant> all = new ArrayList<>(first);
        all.addAll(second);
        return all;
    }
}
