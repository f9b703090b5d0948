package com.kelo.rvs;

import java.io.IOException;
import java.nio.file.*;
import java.util.*;
import java.util.jar.JarFile;
import java.util.stream.*;

/**
 * kelo-rvs.jar in child JVMs of this java, with no -D option: as a Java agent in front of the
 * protected demo, as an executable jar, and the extraction of its library to the cache. A JVM
 * that runs prints the demo's own output and nothing on standard error (on JDK 24 and later, no
 * warning about native access either); one that stops prints none of the demo's output.
 *
 * <p>Arguments: RUNTIME_JAR DEMO_JAR EMBEDDED_JAR CONTAINER_JAR SELF_RUNNING_JAR.
 */
final class AgentRuns extends JvmTest {
    record Run(int status, String out, String err) {}

    private static final String ONE_LINE = "com\\.kelo\\.rvs\\.Agent: [^\n]*\n";

    private final String runtime;
    private final Path work = Files.createTempDirectory("kelo-agent");
    private final Map<Process, Path> outputs = new HashMap<>();
    private String expected;
    private int runs;

    private AgentRuns(String runtime) throws IOException {
        this.runtime = runtime;
    }

    public static void main(String[] args) throws Exception {
        AgentRuns runs = new AgentRuns(args[0]);
        runs.runAll(args[1], args[2], args[3], args[4]);
        try (Stream<Path> files = Files.walk(runs.work)) {
            files.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        }
        runs.end();
    }

    private void runAll(String demo, String embedded, String container, String self)
            throws Exception {
        expected = run(null, "-jar", demo, "one", "two").out;
        String agent = "-javaagent:" + runtime;
        // What the README asks for on JDK 24 and later, where a manifest cannot help an agent.
        String[] access = java.lang.Runtime.version().feature() < 24 ? new String[0]
                : new String[] {"--enable-native-access=ALL-UNNAMED"};
        String[] app = {"-jar", embedded, "one", "two"};
        Object[][] cases = {
            {"the agent, -Xcheck:jni", 0, "", "-Xcheck:jni", access, agent, app},
            {"the agent's options", 0, "", access, agent + "=hook=T,name=Demo,log=error", app},
            {"log=debug", 0, "(?s).*FINE: Processing com/kelo/demo/Main\n.*", access,
                agent + "=log=debug", app},
            // AgentTest has every bad option; here, that the JVM stops before the application.
            {"a bad option: hok=T", 2, ONE_LINE, access, agent + "=hok=T", app},
            // The JVM and the library report the missing interface too, in lines of their own.
            {"hook=P, no such interface", 1, "(?s).*\n" + ONE_LINE, access, agent + "=hook=P", app},
            {"an unsupported platform, and what the jar carries", 1,
                "com\\.kelo\\.rvs\\.Agent: .*no copy for linux-sparc, only for linux-x86_64\\..*\n",
                "-Dos.arch=sparc", access, agent, app},
            {"java -jar kelo-rvs.jar --jar", 0, "", "-jar", runtime, "--jar", app[1], "one", "two"},
            {"java -jar kelo-rvs.jar --loader", 0, "", "-jar", runtime, "--loader", "--jar",
                container, "one", "two"},
            // Its manifest lets the library load without a warning on any JDK.
            {"a self-running jar, -Xcheck:jni", 0, "", "-Xcheck:jni", "-jar", self, "one", "two"},
            {"a self-running jar and the agent", 0, "", access, agent, "-jar", self, "one", "two"}};
        for (Object[] c : cases) {
            check((String) c[0], run(null, Arrays.copyOfRange(c, 3, c.length)), (Integer) c[1],
                    (String) c[2]);
        }
        Map<String, String> env = cache();
        env.put("JAVA_TOOL_OPTIONS", String.join(" ", access) + " " + agent);
        check("JAVA_TOOL_OPTIONS", run(env, (Object) app), 0, "Picked up JAVA_TOOL_OPTIONS: .*\n");

        Map<String, String> shared = cache();
        List<Process> many = new ArrayList<>();
        for (int i = 0; i < 4; i++) {
            many.add(start(shared, access, agent, app));
        }
        for (Process process : many) {
            check("one of 4 JVMs at once", finish(process), 0, "");
        }
        Path cached = onlyFile(Paths.get(shared.get("XDG_CACHE_HOME")));
        check("4 JVMs at once leave one file, the jar's copy", () -> holdsJarCopy(cached));
        byte[] library = Files.readAllBytes(cached);
        Files.write(cached, Arrays.copyOf(library, library.length / 2));
        check("a damaged cached file", run(shared, access, agent, app), 0, "");
        check("a damaged cached file is replaced, not loaded", () -> holdsJarCopy(cached));

        env = new HashMap<>();
        env.put("XDG_CACHE_HOME", null);
        Path tmp = Files.createDirectories(work.resolve("tmp"));
        check("a missing home", run(env, access, "-Duser.home=" + work.resolve("no-home"),
                "-Djava.io.tmpdir=" + tmp, agent, app), 0, "");
        check("a missing home: the copy goes below java.io.tmpdir", () -> {
            holdsJarCopy(onlyFile(tmp));
            expect(!Files.exists(work.resolve("no-home")), "a home made");
        });
    }

    private void check(String name, Run run, int status, String err) {
        check(name, () -> expect(run.status == status && run.err.matches(err) && (status == 0
                ? run.out.equals(expected) : !run.out.contains(expected.split("\n")[0])), run));
    }

    /** A cache folder of its own, so that a case starts from an empty one. */
    private Map<String, String> cache() {
        Map<String, String> env = new HashMap<>();
        env.put("XDG_CACHE_HOME", work.resolve("cache-" + ++runs).toString());
        return env;
    }

    private Run run(Map<String, String> env, Object... args) throws Exception {
        return finish(start(env, args));
    }

    /** Starts a JVM with the arguments, arrays of them flattened, and a fresh cache by default. */
    private Process start(Map<String, String> env, Object... args) throws IOException {
        List<String> command = new ArrayList<>(List.of(System.getProperty("java.home")
                + "/bin/java"));
        for (Object arg : args) {
            command.addAll(arg instanceof String[] more ? List.of(more) : List.of((String) arg));
        }
        ProcessBuilder builder = new ProcessBuilder(command);
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
        Path output = work.resolve("run-" + ++runs);
        builder.redirectOutput(Paths.get(output + ".out").toFile());
        builder.redirectError(Paths.get(output + ".err").toFile());
        Process process = builder.start();
        outputs.put(process, output);
        return process;
    }

    private Run finish(Process process) throws Exception {
        int status = process.waitFor();
        Path output = outputs.get(process);
        return new Run(status, Files.readString(Paths.get(output + ".out")),
                Files.readString(Paths.get(output + ".err")));
    }

    /** The one file below a folder, or null when there are none or several. */
    private static Path onlyFile(Path folder) throws IOException {
        try (Stream<Path> files = Files.walk(folder)) {
            List<Path> found = files.filter(Files::isRegularFile).collect(Collectors.toList());
            return found.size() == 1 ? found.get(0) : null;
        }
    }

    /** Fails unless the file holds the copy of the library that the jar carries. */
    private void holdsJarCopy(Path file) throws IOException {
        expect(file != null, "not one file");
        try (JarFile jar = new JarFile(runtime)) {
            expect(jar.getInputStream(jar.getEntry("com/kelo/rvs/native/linux-x86_64/"
                    + file.getFileName())).readAllBytes(), Files.readAllBytes(file), file);
        }
    }
}
