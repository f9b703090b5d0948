import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.jar.JarFile;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * kelo-rvs.jar in real JVMs of one JDK, with no -D option: as a Java agent in front of the
 * protected demo, as an executable jar, and the extraction of its native library to the cache.
 * The demo prints its own output and, unless a case expects otherwise, nothing goes to standard
 * error: on JDK 24 and later, no warning about native access either. Prints a line for each case
 * and "N passed, M failed".
 *
 * <p>Usage: AgentRuns JAVA_HOME RUNTIME_JAR DEMO_JAR EMBEDDED_JAR CONTAINER_JAR WORK_FOLDER
 */
public final class AgentRuns {
    record Run(int status, String out, String err) {
        String lastLine() {
            String[] lines = err.split("\n");
            return lines[lines.length - 1];
        }
    }

    private final String java;
    private final String runtime;
    private final Path work;
    private final Map<Process, String> outputs = new HashMap<>();
    /** What the README asks for on JDK 24 and later, where a manifest cannot help an agent. */
    private final List<String> nativeAccess;
    private String expected;
    private int passed;
    private int failed;
    private int caches;
    private int starts;

    private AgentRuns(String java, String runtime, Path work, int feature) {
        this.java = java;
        this.runtime = runtime;
        this.work = work;
        nativeAccess = feature >= 24 ? List.of("--enable-native-access=ALL-UNNAMED") : List.of();
    }

    public static void main(String[] args) throws Exception {
        Path home = Paths.get(args[0]);
        Path java = home.resolve("bin/java");
        if (!Files.isExecutable(java)) {
            System.out.println("skipped: no JDK at " + home);
            return;
        }
        Path work = Paths.get(args[5]);
        if (Files.exists(work)) {
            try (Stream<Path> files = Files.walk(work)) {
                files.sorted((a, b) -> b.compareTo(a)).map(Path::toFile).forEach(File::delete);
            }
        }
        Files.createDirectories(work);
        AgentRuns runs = new AgentRuns(java.toString(), args[1], work, feature(home));
        runs.runAll(args[2], args[3], args[4]);
        System.out.println(runs.passed + " passed, " + runs.failed + " failed");
        System.exit(runs.failed == 0 ? 0 : 1);
    }

    private void runAll(String demo, String embedded, String container) throws Exception {
        expected = finish(start(null, "-jar", demo, "one", "two")).out;
        String agent = "-javaagent:" + runtime;
        String[] app = {"-jar", embedded, "one", "two"};

        check("the agent, no options, -Xcheck:jni", same(agent(null, "-Xcheck:jni", agent, app)));
        check("the agent with hook, name and log level",
                same(agent(null, agent + "=hook=T,name=Demo,log=error", app)));
        Run debug = agent(null, agent + "=log=debug", app);
        check("log=debug shows each class decoded", debug.status == 0 && debug.out.equals(expected)
                && debug.err.contains("Processing com/kelo/demo/Main"), debug);
        Map<String, String> toolOptions = cache();
        toolOptions.put("JAVA_TOOL_OPTIONS", String.join(" ", nativeAccess) + " " + agent);
        Run tool = finish(start(toolOptions, (Object) app));
        check("the agent through JAVA_TOOL_OPTIONS", tool.status == 0 && tool.out.equals(expected)
                && tool.err.matches("Picked up JAVA_TOOL_OPTIONS: [^\n]*\n"), tool);
        for (String bad : Arrays.asList("hok=T", "hook=X", "name", "log=loud")) {
            check("a bad option stops the JVM: " + bad,
                    stopped(agent(null, agent + "=" + bad, app), 2, true));
        }
        // The JVM and the library report the missing interface too, in lines of their own.
        check("a hook that the JVM cannot give stops it",
                stopped(agent(null, agent + "=hook=P", app), 1, false));
        Run sparc = agent(null, "-Dos.arch=sparc", agent, app);
        check("an unsupported platform stops the JVM, naming what the jar carries",
                stopped(sparc, 1, true) == null
                        && sparc.err.contains("no copy for linux-sparc, only for linux-x86_64"),
                sparc);

        Map<String, String> shared = cache();
        List<Process> many = new ArrayList<>();
        for (int i = 0; i < 4; i++) {
            many.add(start(shared, line(nativeAccess, agent, app)));
        }
        List<String> failures = new ArrayList<>();
        for (Process process : many) {
            String why = same(finish(process));
            if (why != null) {
                failures.add(why);
            }
        }
        Path cached = onlyFile(Paths.get(shared.get("XDG_CACHE_HOME")));
        check("4 JVMs at once extract one file", failures.isEmpty() && holdsJarCopy(cached),
                failures + " " + cached);
        byte[] library = Files.readAllBytes(cached);
        Files.write(cached, Arrays.copyOf(library, library.length / 2));
        check("a damaged cached file is replaced, not loaded",
                same(agent(shared, agent, app)) == null && holdsJarCopy(cached), cached);

        Map<String, String> noCache = new HashMap<>();
        noCache.put("XDG_CACHE_HOME", null);
        Path noHome = work.resolve("no-home");
        Path tmp = Files.createDirectories(work.resolve("tmp"));
        Run homeless =
                agent(noCache, "-Duser.home=" + noHome, "-Djava.io.tmpdir=" + tmp, agent, app);
        check("a missing home: the copy goes below java.io.tmpdir", same(homeless) == null
                && !Files.exists(noHome) && holdsJarCopy(onlyFile(tmp)), homeless);

        check("java -jar kelo-rvs.jar --jar, the launcher alone",
                same(finish(start(null, "-jar", runtime, "--jar", embedded, "one", "two"))));
        check("java -jar kelo-rvs.jar --loader --jar", same(finish(
                start(null, "-jar", runtime, "--loader", "--jar", container, "one", "two"))));
    }

    private Run agent(Map<String, String> env, Object... args) throws Exception {
        return finish(start(env, line(nativeAccess, args)));
    }

    private String same(Run run) {
        return run.status == 0 && run.out.equals(expected) && run.err.isEmpty() ? null
                : "not the demo's output alone: " + run;
    }

    /** Whether the JVM stopped before the demo ran; alone: with one line and nothing else. */
    private String stopped(Run run, int status, boolean alone) {
        boolean ok = run.status == status && !run.out.contains(expected.split("\n")[0])
                && run.lastLine().startsWith("com.kelo.rvs.Agent: ")
                && (!alone || run.out.isEmpty() && run.err.split("\n").length == 1);
        return ok ? null : "not stopped with status " + status + (alone ? " and one line: " : ": ")
                + run;
    }

    private void check(String name, String failure) {
        check(name, failure == null, failure);
    }

    private void check(String name, boolean ok, Object details) {
        if (ok) {
            passed++;
            System.out.println("ok    " + name);
        } else {
            failed++;
            System.out.println("FAIL  " + name + ": " + details);
        }
    }

    /** A cache folder of its own, so that each case starts from an empty one. */
    private Map<String, String> cache() {
        Map<String, String> env = new HashMap<>();
        env.put("XDG_CACHE_HOME", work.resolve("cache-" + ++caches).toString());
        return env;
    }

    /** Starts the JVM with the given arguments, and a fresh cache unless env says otherwise. */
    private Process start(Map<String, String> env, Object... args) throws IOException {
        ProcessBuilder builder = new ProcessBuilder(line(java, args));
        for (String inherited : List.of("JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS")) {
            builder.environment().remove(inherited);
        }
        (env == null ? cache() : env).forEach((k, v) -> {
            if (v == null) {
                builder.environment().remove(k);
            } else {
                builder.environment().put(k, v);
            }
        });
        String output = "run-" + ++starts;
        builder.redirectOutput(work.resolve(output + ".out").toFile());
        builder.redirectError(work.resolve(output + ".err").toFile());
        Process process = builder.start();
        outputs.put(process, output);
        return process;
    }

    private Run finish(Process process) throws Exception {
        if (!process.waitFor(120, TimeUnit.SECONDS)) {
            process.destroyForcibly();
        }
        String output = outputs.get(process);
        String out = Files.readString(work.resolve(output + ".out"));
        String err = Files.readString(work.resolve(output + ".err"));
        return new Run(process.exitValue(), out, err);
    }

    /** The strings given, and those in the arrays and lists given, in one list. */
    private static List<String> line(Object... parts) {
        List<String> line = new ArrayList<>();
        for (Object part : parts) {
            if (part instanceof Object[] array) {
                line.addAll(line(array));
            } else if (part instanceof List<?> list) {
                line.addAll(line(list.toArray()));
            } else {
                line.add((String) part);
            }
        }
        return line;
    }

    /** The one file below a folder, or null when there are none or several. */
    private static Path onlyFile(Path folder) throws IOException {
        try (Stream<Path> files = Files.walk(folder)) {
            List<Path> found = files.filter(Files::isRegularFile).collect(Collectors.toList());
            return found.size() == 1 ? found.get(0) : null;
        }
    }

    private boolean holdsJarCopy(Path file) throws IOException {
        if (file == null) {
            return false;
        }
        try (JarFile jar = new JarFile(runtime)) {
            byte[] copy = jar.getInputStream(jar.getEntry(
                    "com/kelo/rvs/native/linux-x86_64/" + file.getFileName())).readAllBytes();
            return Arrays.equals(copy, Files.readAllBytes(file));
        }
    }

    /** The feature release of a JDK, from its release file. */
    private static int feature(Path home) throws IOException {
        for (String line : Files.readAllLines(home.resolve("release"))) {
            if (line.startsWith("JAVA_VERSION=")) {
                String version = line.substring(line.indexOf('"') + 1).replaceFirst("^1\\.", "");
                return Integer.parseInt(version.split("[.\"_+-]")[0]);
            }
        }
        throw new IOException("No JAVA_VERSION in " + home.resolve("release"));
    }
}
