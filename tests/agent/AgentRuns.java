package com.kelo.check;

import com.kelo.pack.JarProtector.Form;
import com.kelo.rvs.Runtime;
import java.io.*;
import java.nio.file.*;
import java.util.*;
import java.util.jar.JarFile;
import java.util.regex.Pattern;
import java.util.stream.*;

/**
 * kelo-rvs.jar in child JVMs of this java: as a Java agent in front of the protected demo, as an
 * executable jar, the places it loads its library from (the system property, else the copy it
 * carries, extracted to a cache) and the platform it looks for. A JVM that runs prints the demo's
 * own output and nothing on standard error (on JDK 24 and later, no warning about native access
 * either); one that stops prints none of the demo's output.
 *
 * <p>Arguments: RUNTIME_JAR DEMO_JAR. The demo is protected here, as carriers, as containers and
 * as carriers with the runtime in an executable jar.
 */
final class AgentRuns extends JvmTest {
    private static final String ONE_LINE = "com\\.kelo\\.rvs\\.Agent: [^\n]*\n";

    private final Path work = Files.createTempDirectory("kelo-agent");
    private final String runtime;
    // The copy this JVM needs, told by its word size rather than by os.arch as the runtime does.
    private final String platform =
            "linux-x86" + ("32".equals(System.getProperty("sun.arch.data.model")) ? "" : "_64");
    private final String carried;
    private String expected;
    private int caches;

    private AgentRuns(String runtime) throws IOException {
        this.runtime = runtime;
        // The platforms the jar carries, in its order, which is the runtime's.
        try (JarFile jar = new JarFile(runtime)) {
            carried = Pattern.quote(jar.stream().map(e -> e.getName().split("/"))
                    .filter(p -> p.length == 6 && p[3].equals("native")).map(p -> p[4])
                    .collect(Collectors.joining(", ")));
        }
    }

    public static void main(String[] args) throws Exception {
        AgentRuns runs = new AgentRuns(args[0]);
        runs.runAll(new File(args[1]));
        try (Stream<Path> files = Files.walk(runs.work)) {
            files.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        }
        runs.end();
    }

    private void runAll(File demo) throws Exception {
        String embedded = protect(demo, Form.EMBEDDED, null).getPath();
        String container = protect(demo, Form.CONTAINER, null).getPath();
        String self = protect(demo, Form.EMBEDDED, new File(runtime)).getPath();
        expected = runJava(cache(), "-jar", demo.getPath(), "one", "two").out();
        String agent = "-javaagent:" + runtime;
        // What the README asks for on JDK 24 and later, where a manifest cannot help an agent.
        String[] access = java.lang.Runtime.version().feature() < 24 ? new String[0]
                : new String[] {"--enable-native-access=ALL-UNNAMED"};
        String[] app = {"-jar", embedded, "one", "two"};
        String property = "-D" + Runtime.LIBRARY_PROPERTY + "=";
        Path library = Path.of(System.getProperty(Runtime.LIBRARY_PROPERTY));
        Path fake = Files.writeString(work.resolve("fake.so"), "no library");
        Object[][] cases = {
            {"the agent, -Xcheck:jni", 0, "", "-Xcheck:jni", access, agent, app},
            {"the agent's options, log=debug", 0, "(?s).*FINE: Processing com/kelo/demo/Main\n.*",
                access, agent + "=hook=T,name=Demo,log=debug", app},
            // Every bad option is a case above; here, that the JVM stops before the application.
            {"a bad option: hok=T", 2, ONE_LINE, access, agent + "=hok=T", app},
            // The JVM and the library report the missing interface too, in lines of their own.
            {"hook=P, no such interface", 1, "(?s).*\n" + ONE_LINE, access, agent + "=hook=P", app},
            {"an unsupported platform, and what the jar carries", 1,
                "com\\.kelo\\.rvs\\.Agent: .*no copy for linux-sparc, only for " + carried
                + "\\..*\n",
                "-Dos.arch=sparc", access, agent, app},
            {"a 32-bit JVM on Windows", 1, ".*no copy for windows-x86, only for " + carried
                + ".*\n",
                "-Dos.name=Windows 10", "-Dos.arch=x86", access, agent, app},
            {"the property's file, relative to the working folder", 0, "", property
                + Path.of("").toAbsolutePath().relativize(library), access, agent, app},
            // The property's file is the only one tried.
            {"the property names a missing file", 1, ".*missing\\.so \\(system property "
                + "kelo\\.rvs\\.library\\): no such file\n", property + "missing.so", access,
                agent, app},
            // The JVM adds a warning of its own about the file's stack guard.
            {"the property names no library", 1, "(?s).*" + Pattern.quote(fake.toString())
                + " \\(system property kelo\\.rvs\\.library\\): .*\n", property + fake, access,
                agent, app},
            {"a blank property is none", 0, "", property + " ", access, agent, app},
            {"java -jar kelo-rvs.jar --jar", 0, "", "-jar", runtime, "--jar", app[1], "one", "two"},
            {"java -jar kelo-rvs.jar --loader", 0, "", "-jar", runtime, "--loader", "--jar",
                container, "one", "two"},
            // Its manifest lets the library load without a warning on any JDK.
            {"a self-running jar, -Xcheck:jni", 0, "", "-Xcheck:jni", "-jar", self, "one", "two"},
            {"a self-running jar and the agent", 0, "", access, agent, "-jar", self, "one", "two"}};
        for (Object[] c : cases) {
            check((String) c[0], runJava(cache(), Arrays.copyOfRange(c, 3, c.length)),
                    (Integer) c[1], (String) c[2]);
        }
        Map<String, String> shared = cache();
        Child[] many = new Child[4];
        inParallel(many.length, i -> () -> many[i] = runJava(shared, access, agent, app));
        for (Child child : many) {
            check("one of 4 JVMs at once", child, 0, "");
        }
        Path cached = onlyFile(Path.of(shared.get("XDG_CACHE_HOME")));
        check("4 JVMs at once leave one file, the jar's copy", () -> holdsJarCopy(cached));
        byte[] bytes = Files.readAllBytes(cached);
        Files.write(cached, Arrays.copyOf(bytes, bytes.length / 2));
        check("a damaged cached file", runJava(shared, access, agent, app), 0, "");
        check("a damaged cached file is replaced, not loaded", () -> holdsJarCopy(cached));

        // No cache folder: a missing home, or a cache that is a file. The copy goes below
        // java.io.tmpdir instead.
        Path blocked = Files.createFile(work.resolve("blocked"));
        for (Map<String, String> noCache : List.of(Map.<String, String>of(),
                Map.of("XDG_CACHE_HOME", blocked.toString()))) {
            Path tmp = Files.createDirectories(work.resolve("tmp" + ++caches));
            check("no cache folder " + noCache, runJava(noCache, access, "-Duser.home="
                    + work.resolve("no-home"), "-Djava.io.tmpdir=" + tmp, agent, app), 0, "");
            check("no cache folder " + noCache + ": the copy in java.io.tmpdir", () -> {
                holdsJarCopy(onlyFile(tmp));
                expect(!Files.exists(work.resolve("no-home")), "a home made");
            });
        }
    }

    private void check(String name, Child run, int status, String err) {
        check(name, () -> expect(run.status() == status && run.err().matches(err) && (status == 0
                ? run.out().equals(expected) : !run.out().contains(expected.split("\n")[0])), run));
    }

    /** A cache folder of its own, so that a case starts from an empty one. */
    private Map<String, String> cache() {
        return new HashMap<>(Map.of("XDG_CACHE_HOME", work.resolve("cache" + ++caches).toString()));
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
            expect(jar.getInputStream(jar.getEntry("com/kelo/rvs/native/" + platform + "/"
                    + file.getFileName())).readAllBytes(), Files.readAllBytes(file), file);
        }
    }
}
