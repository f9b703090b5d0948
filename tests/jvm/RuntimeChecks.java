package com.kelo.check;

import com.kelo.pack.*;
import com.kelo.rvs.Launcher;
import com.kelo.rvs.LogTarget.Severity;
import com.kelo.rvs.NativeEntryPoints;
import com.kelo.rvs.NativeWorker;
import com.kelo.rvs.ProtectedClassLoader;
import com.kelo.rvs.Runtime;
import java.lang.ref.WeakReference;
import java.net.*;
import java.nio.file.*;
import java.util.*;
import java.util.concurrent.Executors;
import java.util.regex.Pattern;
import java.util.stream.*;
import java.util.zip.*;

/**
 * The library in a real JVM under -Xcheck:jni: its entry points, iLoadClass over every container
 * form and each failure it reports, the ProtectedClassLoader, then the class-load hook, and the
 * launcher. What a JVM shows once (the version gate ending it, the monitor of a runtime below
 * build 99, the library found by name) runs in a child JVM: this class with an argument.
 *
 * <p>With "sharing", the class-load hook leaves the JVM its class-data sharing: JDK classes of the
 * default shared archive that are first loaded after the hook is installed still come from the
 * archive, which they would not if the hook handed the JVM new bytes for them. Two child JVMs load
 * classes of the JDK's class list, which its default archive holds: without the hook ("none") and
 * with it ("hook").
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

    public static final class Broken {}

    /** Not protected, the main class for the launcher. */
    public static final class App {
        public static void main(String[] args) {
            if (args.length > 0 && args[0].equals("throw")) {
                throw new IllegalStateException("thrown by main");
            }
            System.out.println(new Gzipped() + " " + List.of(args));
        }

        @Override
        public String toString() {
            return "plain";
        }
    }

    static final String NAME = internalName(Stored.class);
    static final String PROCESSING = "PROGRESS Processing " + NAME;
    static final String SHARED = "shared objects file";

    private final List<String> lines = Collections.synchronizedList(new ArrayList<>());
    private final Runtime runtime = runtime(Severity.DETAIL, lines::add);
    private final NativeEntryPoints natives = new NativeEntryPoints(runtime);

    public static void main(String[] args) throws Exception {
        switch (args.length == 0 ? "" : args[0]) {
            case "gate", "monitor" -> loadInChild(args[0].equals("gate"));
            case "byname" -> System.out.println(new Runtime().version());
            case "sharing" -> new RuntimeChecks().sharing();
            case "hook", "none" -> loadListed(args);
            default -> new RuntimeChecks().run();
        }
    }

    private void run() throws Exception {
        natives();
        loadClass();
        Path jar = Files.createTempFile("kelo-app", ".jar");
        jar.toFile().deleteOnExit();
        try (ZipOutputStream out = new ZipOutputStream(Files.newOutputStream(jar))) {
            for (Map.Entry<Class<?>, byte[]> entry : packedJar().entrySet()) {
                out.putNextEntry(new ZipEntry(internalName(entry.getKey()) + ".class"));
                out.write(entry.getValue());
            }
        }
        loaders(jar);
        children(jar);
        end();
    }

    private void natives() {
        // The version itself: the child that finds the library by name prints it.
        check("version", () -> expect("NoSuchMethodError 1", outcome(() -> natives.iGetVersion(
                new Object())) + " " + natives.iGetVersion(null), "no set, null"));
        // Modified UTF-8: a two-byte NUL, and surrogate pairs encoded one by one.
        check("application names", () -> expect("1 0", natives.iSetApplicationName(null) + " "
                + natives.iSetApplicationName("Z\u00fcrich \u6771\u4eac \ud83d\ude00 \u0000"), ""));
        check("one worker until cleanUp", () -> {
            NativeWorker worker = new NativeWorker();
            runtime.setNativeWorker(worker);
            runtime.setNativeWorker(worker);
            expect("IllegalStateException", outcome(Executors.callable(() ->
                    runtime.setNativeWorker(new NativeWorker()))), "another worker");
            runtime.cleanUp();
            runtime.setNativeWorker(new NativeWorker());
            runtime.cleanUp();
        });
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
        String old = "File format too old: Found 0.75 - current is 3.75.";
        loads("format 0", NAME, with(gzip, ContainerHeader.OFFSET_FORMAT_VERSION, 2, 0),
                "ClassFormatError", "ERROR " + old, "error " + old);
        byte[] truncated = Arrays.copyOf(plain, plain.length - 1);
        loads("broken class in a container", NAME, container(truncated, o -> {}),
                "ClassFormatError", PROCESSING);
        loads("null name", null, plain, "null");
        loads("null bytes", NAME, null, "null");
    }

    /** iLoadClass with a fresh loader: what it answers and reports; the bytes stay as they were. */
    private void loads(String label, String name, byte[] data, String answer, String... reports) {
        check("iLoadClass, " + label, () -> {
            lines.clear();
            byte[] copy = data == null ? null : data.clone();
            ClassLoader loader = new ClassLoader(null) {};
            expect(answer, outcome(() -> instance(natives.iLoadClass(loader, name, data), loader)),
                    "answer");
            expect(List.of(reports), new ArrayList<>(lines), "reports");
            expect(copy, data, "the caller's bytes");
        });
    }

    /** A new instance of the class, which must be the loader's own; null without a class. */
    private static Object instance(Class<?> type, ClassLoader loader) throws Exception {
        expect(type == null || type.getClassLoader() == loader, "its loader");
        return type == null ? null : type.getDeclaredConstructor().newInstance();
    }

    /** The gzip member's header asks for a file name that is not there. */
    private static byte[] undecodable(byte[] container) {
        return with(container, ContainerHeader.LENGTH + 3, 1, 0x08);
    }

    /**
     * The packed classes as the application jar holds them: a carrier of several pieces, a
     * container of class kind 0 (which runs the version gate), a carrier whose container cannot
     * be decoded, and one plain class.
     */
    private static Map<Class<?>, byte[]> packedJar() throws Exception {
        byte[] broken = undecodable(container(classFile(Broken.class), o -> {}));
        return Map.of(Stored.class, Carrier.build(internalName(Stored.class),
                        container(classFile(Stored.class), o -> o.compressed = false), 200),
                Gzipped.class, container(classFile(Gzipped.class),
                        o -> o.minJava = new int[] {1, 8, 0}),
                Broken.class, Carrier.build(internalName(Broken.class), broken, 200),
                App.class, classFile(App.class));
    }

    /** The jar through a ProtectedClassLoader, then, once the hook is installed, a plain one. */
    private void loaders(Path jar) throws Exception {
        URL[] urls = {jar.toUri().toURL()};
        // Dropped, the loader and its classes can be unloaded while the runtime lives on.
        check("ProtectedClassLoader", () -> expect(collected(loadedThrough(
                new ProtectedClassLoader(urls, null, runtime))), "loader not collected"));
        check("class-load hook", () -> {
            runtime.installClassLoadHook("T");
            try (URLClassLoader loader = new URLClassLoader(urls, null)) {
                loadsAll(loader);
            }
        });
    }

    /** The packed classes through the loader, with the reason for the one it refuses. */
    private WeakReference<?> loadedThrough(ProtectedClassLoader loader) throws Exception {
        loadsAll(loader);
        String refusal = outcome(() -> Class.forName(Broken.class.getName(), true, loader),
                e -> e + "");
        expect(refusal.matches("java.lang.ClassFormatError: .*: Decompression failed!"), refusal);
        return new WeakReference<>(loader);
    }

    /** Each packed class through the loader, and the one error the undecodable carrier reports. */
    private void loadsAll(ClassLoader loader) {
        lines.clear();
        String loaded = Stream.of(Stored.class, Gzipped.class, Broken.class, App.class)
                .map(type -> outcome(() -> instance(Class.forName(type.getName(), true, loader),
                        loader))).collect(Collectors.joining(" "));
        expect("stored gzipped stored ClassFormatError plain", loaded, "classes");
        expect(List.of("error Decompression failed!"), lines.stream()
                .filter(l -> l.startsWith("error")).distinct().toList(), "reports");
    }

    /** The launcher, the version gate, a runtime of build 98 and the library found by name. */
    private void children(Path jar) {
        String classPath = System.getProperty("java.class.path");
        String withApp = classPath + ":" + jar;
        String launcher = Launcher.class.getName();
        String app = App.class.getName();
        String self = RuntimeChecks.class.getName();
        Path library = Path.of(System.getProperty(Runtime.LIBRARY_PROPERTY));
        String[][] cases = {
            {"launcher", "0", "gzipped stored [one, two]\n", withApp, launcher, app, "one", "two"},
            {"launcher, main throws", "1", "(?s).*IllegalStateException: thrown by main\n.*",
                withApp, launcher, app, "throw"},
            // No JDK since 6 offers the profiler interface; the library reports it too.
            {"launcher, no profiler interface", "2",
                "(?s).*Interface not available\n.*no profiler interface.*", withApp, launcher,
                "--hook", "p", app},
            {"version gate", "1",
                "(?s)(?!.*lock=).*error Java Version too old, 1\\.7\\.0 required\\.\n.*",
                classPath, self, "gate"},
            {"monitor below build 99", "0", String.join("\n", "build 98 lock=false",
                "log 800 Processing " + NAME + " lock=true", "start lock=true",
                "defined stored lock=false", "log 800 Processing " + NAME + " lock=true",
                "log 1000 Decompression failed lock=true", "error Decompression failed! lock=true",
                "refused lock=false", ""), System.getProperty("kelo.rvs.test.standin") + ":"
                + classPath, self, "monitor"},
            {"library by name", "0", "9.0.1220.500 (2013-10-28)\n", classPath,
                "-Dkelo.rvs.library=", "-Djava.library.path=" + library.getParent(), self,
                "byname"}};
        for (String[] c : cases) {
            check(c[0], () -> {
                Child child = child(c[3], (Object) Arrays.copyOfRange(c, 4, c.length));
                expect(child.status() == Integer.parseInt(c[1]) && (child.output().equals(c[2])
                        || child.output().matches(c[2])
                        && !child.output().contains("InvocationTargetException")), child);
            });
        }
    }

    /**
     * One container that loads and one that fails, each printed with whether the runtime class's
     * monitor is held after the call (with standin98 ahead of the runtime jar, it prints its
     * callbacks). The containers ask for Java 1.7.0: at the version gate, "java.version" says
     * 1.6.0, and a listener prints what it hears.
     */
    private static void loadInChild(boolean gate) throws Exception {
        Runtime runtime = new Runtime();
        if (gate) {
            runtime.addListener(listener(System.out::println));
            System.setProperty("java.version", "1.6.0");
        }
        byte[] container = container(classFile(Stored.class), o -> o.minJava = new int[] {1, 7, 0});
        for (byte[] data : new byte[][] {container, undecodable(container)}) {
            Class<?> loaded = new NativeEntryPoints(runtime).iLoadClass(new ClassLoader(null) {},
                    NAME, data);
            System.out.println((loaded == null ? "refused" : "defined "
                    + loaded.getDeclaredConstructor().newInstance()) + " lock="
                    + Thread.holdsLock(Runtime.class));
        }
    }

    private void sharing() {
        check("classes of the archive stay shared under the hook", () -> {
            // Lambda forms and hidden classes carry an @.
            List<String> listed = Files.readAllLines(Path.of(System.getProperty("java.home"),
                            "lib", "classlist")).stream()
                    .filter(l -> !l.isEmpty() && !l.startsWith("#") && !l.contains("@"))
                    .map(l -> l.replace('/', '.')).collect(Collectors.toList());
            Map<String, String> plain = sources("none", listed);
            List<String> shared = listed.stream().filter(n -> SHARED.equals(plain.get(n))).toList();
            expect(shared.size() >= 5, "no class-data sharing in this JVM");
            // Classes that the runtime's start loaded before the hook are not seen again.
            Map<String, String> hooked = sources("hook", shared);
            List<String> seen = shared.stream().filter(hooked::containsKey).toList();
            expect(seen.size() >= 5, "too few archived classes loaded after the hook: " + seen);
            seen.forEach(name -> expect(SHARED, hooked.get(name), name));
        });
        end();
    }

    /** Where a child JVM took each class from that it loaded after its start line. */
    private static Map<String, String> sources(String mode, List<String> classes) throws Exception {
        Child child = child(System.getProperty("java.class.path"), "-Xlog:class+load",
                RuntimeChecks.class.getName(), mode, classes.toArray(String[]::new));
        expect(child.status() == 0, child);
        return Pattern.compile("\\[class,load\\] (\\S+) source: (.*)$", Pattern.MULTILINE)
                .matcher(child.output().substring(child.output().indexOf("start " + mode)))
                .results().collect(Collectors.toMap(line -> line.group(1), line -> line.group(2),
                        (first, again) -> first));
    }

    /** With the hook installed or none, loads the classes named after the mode. */
    private static void loadListed(String[] args) {
        if (args[0].equals("hook")) {
            new Runtime().installClassLoadHook("T");
        }
        System.out.println("start " + args[0]);
        for (String name : Arrays.copyOfRange(args, 1, args.length)) {
            // A class of a module outside the boot layer shows up in no log line.
            outcome(() -> Class.forName(name, false, ClassLoader.getSystemClassLoader()));
        }
    }
}
