package com.kelo.rvs;

import com.kelo.pack.Carrier;
import com.kelo.pack.ContainerHeader;
import com.kelo.rvs.LogTarget.Severity;
import java.lang.ref.WeakReference;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * The library in a real JVM under -Xcheck:jni: its entry points, iLoadClass over every container
 * form and each failure it reports, the ProtectedClassLoader, then the class-load hook, and the
 * launcher. What a JVM shows once (the version gate ending it, the monitor of a runtime below
 * build 99, the library found by name) runs in a child JVM: this class with an argument.
 */
final class RuntimeChecks extends JvmTest {
    // The classes that travel packed, defined again by loaders whose parent is the bootstrap.
    public static final class Stored {
        @Override
        public String toString() {
            return "stored";
        }
    }

    public static final class Gzipped {
        @Override
        public String toString() {
            return "gzipped " + new Stored();
        }
    }

    public static final class Carried {
        @Override
        public String toString() {
            return "carried";
        }
    }

    public static final class Broken {}

    /** Not protected, the main class for the launcher. */
    public static final class App {
        public static void main(String[] args) {
            if (args.length > 0 && args[0].equals("throw")) {
                throw new IllegalStateException("thrown by main");
            }
            System.out.println(Stream.of(new Gzipped(), new Carried(), new App(), List.of(args))
                    .map(String::valueOf).collect(Collectors.joining(" ")));
        }

        @Override
        public String toString() {
            return "plain";
        }
    }

    static final String NAME = internalName(Stored.class);
    static final String PROCESSING = "PROGRESS Processing " + NAME;
    static final List<Class<?>> PACKED = List.of(Stored.class, Gzipped.class, Carried.class,
            App.class, Broken.class);

    private final List<String> lines = Collections.synchronizedList(new ArrayList<>());
    private final Runtime runtime = runtime(Severity.DETAIL, lines::add);

    /** Receives the version. */
    static final class Holder {
        int[] parts;

        void set(int major, int minor, int release, int build, int year, int month, int day) {
            parts = new int[] {major, minor, release, build, year, month, day};
        }
    }

    public static void main(String[] args) throws Exception {
        switch (args.length == 0 ? "" : args[0]) {
            case "gate" -> gate();
            case "monitor" -> monitor();
            case "byname" -> System.out.println(new Runtime().version());
            default -> new RuntimeChecks().run();
        }
    }

    private void run() throws Exception {
        natives();
        loadClass();
        Path folder = Files.createTempDirectory("kelo-jvm");
        Path jar = jar(folder.resolve("app.jar"), packedJar(), App.class.getName());
        // Deleted in the reverse order: the jar, then its folder.
        folder.toFile().deleteOnExit();
        jar.toFile().deleteOnExit();
        loaders(jar);
        launcher(jar);
        children();
        end();
    }

    private void natives() {
        check("version", () -> {
            Holder holder = new Holder();
            expect(0, runtime.iGetVersion(holder), "answer");
            expect(new int[] {9, 0, 1220, 500, 2013, 10, 28}, holder.parts, "parts");
            expect("9.0.1220.500 (2013-10-28)", runtime.version().toString(), "version");
            expect("NoSuchMethodError", outcome(() -> runtime.iGetVersion(new Object())), "no set");
            expect(1, runtime.iGetVersion(null), "null");
        });
        check("application names", () -> {
            expect(1, runtime.iSetApplicationName(null), "null");
            // Modified UTF-8: a two-byte NUL, and surrogate pairs encoded one by one.
            for (String name : List.of("", "Z\u00fcrich \u6771\u4eac \ud83d\ude00 \u0000")) {
                expect(0, runtime.iSetApplicationName(name), name);
            }
        });
        check("one worker until iCleanUp", () -> {
            for (int round = 0; round < 2; round++) {
                WeakReference<?> kept = offerWorker();
                WeakReference<?> refused = offerWorker();
                expect(collected(refused) && kept.get() != null, "the first worker is kept");
                expect(0, runtime.iCleanUp(), "iCleanUp");
                expect(collected(kept), "iCleanUp lets the worker go");
            }
            expect(0, runtime.iCleanUp(), "iCleanUp again");
            NativeWorker worker = new NativeWorker();
            runtime.setNativeWorker(worker);
            runtime.setNativeWorker(worker);
            expect("IllegalStateException", outcome(() -> call(() ->
                    runtime.setNativeWorker(new NativeWorker()))), "another worker");
            runtime.cleanUp();
            runtime.setNativeWorker(new NativeWorker());
            runtime.cleanUp();
        });
    }

    // Its own frame, so that no local variable keeps the worker alive.
    private WeakReference<?> offerWorker() {
        NativeWorker worker = new NativeWorker();
        expect(0, runtime.iSetNativeWorker(worker), "iSetNativeWorker");
        return new WeakReference<>(worker);
    }

    private static boolean collected(WeakReference<?> reference) throws InterruptedException {
        for (int i = 0; i < 100 && reference.get() != null; i++) {
            System.gc();
            Thread.sleep(10);
        }
        return reference.get() == null;
    }

    private void loadClass() throws Exception {
        byte[] plain = classFile(Stored.class);
        loads("plain class bytes", NAME, plain, "stored");
        // Every container form: stored or gzip, checked or not, class kind 0 (the version gate)
        // or not, a header of 75 or 120 bytes.
        for (int form = 0; form < 16; form++) {
            int bits = form;
            byte[] container = container(plain, o -> {
                o.compressed = (bits & 1) != 0;
                o.crc = (bits & 2) != 0;
                o.classKind = bits >> 2 & 1;
                o.minJava = new int[] {1, 8, 0};
                o.headerLength = (bits & 8) != 0 ? 120 : 75;
            });
            // Bytes after the class bytes are carried along, not read. The first container of
            // the process sends the start message.
            loads("form " + form, NAME, Arrays.copyOf(container, container.length + 3), "stored",
                    form == 0 ? new String[] {PROCESSING, "started"} : new String[] {PROCESSING});
        }
        byte[] gzip = container(plain, o -> {});
        byte[] stored = container(plain, o -> o.compressed = false);
        loads("class size 31", NAME, with(gzip, ContainerHeader.OFFSET_CLASS_SIZE, 4, 31), "null",
                PROCESSING);
        for (byte[] container : new byte[][] {gzip, stored}) {
            int at = ContainerHeader.OFFSET_CLASS_CRC;
            loads("CRC mismatch, gzip " + (container == gzip), NAME,
                    with(container, at, 1, container[at] ^ 1), "null", PROCESSING);
        }
        loads("undecodable", NAME, undecodable(gzip), "null", PROCESSING,
                "ERROR Decompression failed", "error Decompression failed!");
        String old = "File format too old: Found 0.75 - current is 3.75.";
        loads("format 0", NAME, with(gzip, ContainerHeader.OFFSET_FORMAT_VERSION, 2, 0),
                "ClassFormatError", "ERROR " + old, "error " + old);
        String newer = "File format incompatible: Found 4.80 - current is 3.75.";
        loads("format 4", NAME, container(plain, o -> {
            o.formatVersion = 4;
            o.headerLength = 80;
        }), "ClassFormatError", "ERROR " + newer, "error " + newer);
        byte[] truncated = Arrays.copyOf(plain, plain.length - 1);
        loads("broken class", NAME, truncated, "ClassFormatError");
        loads("broken class in a container", NAME, container(truncated, o -> {}),
                "ClassFormatError", PROCESSING);
        loads("binary name", NAME.replace('/', '.'), plain, "NoClassDefFoundError");
        loads("null name", null, plain, "null");
        loads("null bytes", NAME, null, "null");
    }

    /** iLoadClass with a fresh loader: what it answers and reports; the bytes stay as they were. */
    private void loads(String label, String name, byte[] data, String answer, String... reports) {
        check("iLoadClass, " + label, () -> {
            lines.clear();
            byte[] copy = data == null ? null : data.clone();
            ClassLoader loader = new ClassLoader(null) {};
            expect(answer, outcome(() -> {
                Class<?> loaded = runtime.iLoadClass(loader, name, data);
                expect(loaded == null || loaded.getClassLoader() == loader, "its loader");
                return loaded == null ? null : loaded.getDeclaredConstructor().newInstance();
            }), "answer");
            expect(List.of(reports), new ArrayList<>(lines), "reports");
            expect(copy, data, "the caller's bytes");
        });
    }

    /** The gzip member's header asks for a file name that is not there. */
    private static byte[] undecodable(byte[] container) {
        return with(container, ContainerHeader.LENGTH + 3, 1, 0x08);
    }

    /**
     * The packed classes as the application jar holds them: containers (Gzipped of class kind 0,
     * which runs the version gate), carriers of several pieces, one plain class, and a carrier
     * whose container cannot be decoded.
     */
    private static Map<String, byte[]> packedJar() throws Exception {
        Map<String, byte[]> classes = new TreeMap<>();
        classes.put(Stored.class.getName(),
                container(classFile(Stored.class), o -> o.compressed = false));
        classes.put(Gzipped.class.getName(),
                container(classFile(Gzipped.class), o -> o.minJava = new int[] {1, 8, 0}));
        for (Class<?> carried : List.of(Carried.class, Broken.class)) {
            byte[] container = container(classFile(carried), o -> {});
            classes.put(carried.getName(), Carrier.build(internalName(carried),
                    carried == Broken.class ? undecodable(container) : container, 200));
        }
        classes.put(App.class.getName(), classFile(App.class));
        return classes;
    }

    /** The jar through a ProtectedClassLoader, then, once the hook is installed, a plain one. */
    private void loaders(Path jar) throws Exception {
        URL[] urls = {jar.toUri().toURL()};
        String loaded = "stored gzipped stored carried plain ClassFormatError";
        check("ProtectedClassLoader", () -> {
            lines.clear();
            ClassLoader loader = new ProtectedClassLoader(urls, null, runtime);
            expect(loaded, instances(loader), "classes");
            expect(List.of("error Decompression failed!"), errors(), "reports");
            try {
                Class.forName(Broken.class.getName(), true, loader);
            } catch (ClassFormatError refusal) {
                expect(refusal.getMessage().endsWith(": Decompression failed!"), refusal);
            }
        });
        check("class-load hook", () -> {
            runtime.installClassLoadHook("T");
            lines.clear();
            try (URLClassLoader loader = new URLClassLoader(urls, null)) {
                expect(loaded, instances(loader), "classes");
            }
            expect(List.of("error Decompression failed!"), errors(), "reports");
        });
        check("hook modes", () -> {
            lines.clear();
            // No JDK since 6 offers the profiler interface.
            expect("IllegalArgumentException IllegalStateException",
                    outcome(() -> call(() -> runtime.installClassLoadHook("X"))) + " "
                            + outcome(() -> call(() -> runtime.installClassLoadHook("P"))),
                    "installClassLoadHook");
            expect(List.of("error Interface not available"), lines, "reports");
            expect(0, runtime.iSetNativeHook("t"), "lower case");
        });
    }

    private String instances(ClassLoader loader) {
        return PACKED.stream().map(type -> outcome(() -> {
            Class<?> loaded = Class.forName(type.getName(), true, loader);
            expect(loader, loaded.getClassLoader(), "loader");
            return loaded.getDeclaredConstructor().newInstance();
        })).collect(Collectors.joining(" "));
    }

    private List<String> errors() {
        return lines.stream().filter(l -> l.startsWith("error")).distinct()
                .collect(Collectors.toList());
    }

    /** The launcher, each run in a child JVM: through the hook, through its loader, and failing. */
    private void launcher(Path jar) throws Exception {
        String runtimeJar = Path.of(Runtime.class.getProtectionDomain().getCodeSource()
                .getLocation().toURI()).toString();
        String app = App.class.getName();
        String output = "gzipped stored carried plain [one, two]\n";
        String classPath = runtimeJar + ":" + jar;
        String launcher = Launcher.class.getName();
        check("launcher, hook", () -> expect(new Child(0, output),
                child(classPath, launcher, app, "one", "two"), "child"));
        check("launcher, loader", () -> expect(new Child(0, output), child(runtimeJar, launcher,
                "--loader", "--jar", jar.toString(), "one", "two"), "child"));
        check("launcher, main throws", () -> {
            Child child = child(classPath, launcher, app, "throw");
            expect(child.status() == 1
                    && child.output().contains("IllegalStateException: thrown by main")
                    && !child.output().contains("InvocationTargetException"), child);
        });
        check("launcher, no profiler interface", () -> {
            Child child = child(classPath, launcher, "--hook", "P", app);
            expect(child.status() == 2 && child.output().contains("no profiler interface"), child);
        });
    }

    private void children() {
        String classPath = System.getProperty("java.class.path");
        check("version gate", () -> {
            Child child = child(classPath, RuntimeChecks.class.getName(), "gate");
            expect(child.status() == 1 && !child.output().contains("returned") && child.output()
                    .contains("error Java Version too old, 1.7.0 required.\n"), child);
        });
        check("monitor below build 99", () -> {
            String standin = System.getProperty("kelo.rvs.test.standin");
            Child child = child(standin + ":" + classPath, RuntimeChecks.class.getName(),
                    "monitor");
            expect(new Child(0, String.join("\n", "build 98 lock=false",
                    "log 800 Processing " + NAME + " lock=true", "start lock=true",
                    "defined stored lock=false", "log 800 Processing " + NAME + " lock=true",
                    "log 1000 Decompression failed lock=true",
                    "error Decompression failed! lock=true", "refused lock=false", "")),
                    child, "child");
        });
        check("library by name", () -> {
            Path library = Path.of(System.getProperty(Runtime.LIBRARY_PROPERTY));
            Child child = child(classPath, "-Dkelo.rvs.library=",
                    "-Djava.library.path=" + library.getParent(), RuntimeChecks.class.getName(),
                    "byname");
            expect(new Child(0, "9.0.1220.500 (2013-10-28)\n"), child, "child");
        });
    }

    /** The first container of class kind 0 asks for Java 1.7.0, and "java.version" says 1.6.0. */
    private static void gate() throws Exception {
        Runtime runtime = new Runtime();
        runtime.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                System.out.println("error " + text);
            }
        });
        byte[] container = container(classFile(Stored.class), o -> o.minJava = new int[] {1, 7, 0});
        System.setProperty("java.version", "1.6.0");
        Class<?> loaded = runtime.iLoadClass(new ClassLoader(null) {}, NAME, container);
        System.out.println("returned " + loaded);
    }

    /** With standin98 ahead of the runtime jar: one container that loads and one that fails. */
    private static void monitor() throws Exception {
        Runtime runtime = new Runtime();
        byte[] container = container(classFile(Stored.class), o -> {});
        for (byte[] data : new byte[][] {container, undecodable(container)}) {
            Class<?> loaded = runtime.iLoadClass(new ClassLoader(null) {}, NAME, data);
            System.out.println((loaded == null ? "refused" : "defined "
                    + loaded.getDeclaredConstructor().newInstance()) + " lock="
                    + Thread.holdsLock(Runtime.class));
        }
    }

    private static Object call(Check check) throws Exception {
        check.run();
        return null;
    }

}
