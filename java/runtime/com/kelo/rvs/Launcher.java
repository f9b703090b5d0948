package com.kelo.rvs;

import com.kelo.rvs.format.LaunchAttributes;
import java.io.File;
import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLClassLoader;
import java.security.CodeSource;
import java.util.Arrays;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

/**
 * Runs a protected application: installs the library's class-load hook, then calls the main
 * class's {@code main} with the remaining arguments. The application's jar is either on the
 * class path, or given with {@code --jar}, in which case its manifest may name the main class.
 * With {@code --loader} no hook is installed; the jar's classes are defined by a
 * {@link ProtectedClassLoader} instead.
 *
 * <p>As the {@code Main-Class} of a self-running protected jar (the packer's
 * {@code --with-runtime}), whose manifest names the application's main class in
 * {@value LaunchAttributes#APPLICATION_MAIN_CLASS}, it takes no options: every argument is the
 * application's.
 */
public final class Launcher {

    static final String USAGE = String.join(System.lineSeparator(),
            "Usage: java -cp kelo-rvs.jar:APP.jar com.kelo.rvs.Launcher [options] MAIN-CLASS [ARGS...]",
            "       java -jar kelo-rvs.jar [options] --jar APP.jar [ARGS...]",
            "       java -javaagent:kelo-rvs.jar[=OPTIONS] -jar APP.jar [ARGS...]",
            "",
            "Installs the class-load hook of KeloRvs4J32, then runs the main class. The library",
            "comes from the file that the system property " + Runtime.LIBRARY_PROPERTY
                    + " names, else from",
            "java.library.path, else from the copy in kelo-rvs.jar for the running platform.",
            "The agent's OPTIONS: " + Agent.OPTIONS + ".",
            "",
            "Options:",
            "  --jar FILE     run the application in FILE; the main class comes from its manifest",
            "                 unless --main names it, and all other arguments go to the application",
            "  --main CLASS   the main class, with --jar",
            "  --hook T|P     the hook: T, the tool interface (default), or P, the profiler one",
            "  --loader       install no hook: define the jar's classes through a",
            "                 ProtectedClassLoader (needs --jar)",
            "  -h, --help     print this help");

    private Launcher() {}

    private static boolean hookInstalled; // guarded by Launcher.class

    public static void main(String[] args) throws Throwable {
        Attributes own = ownManifest();
        String application =
                own == null ? null : own.getValue(LaunchAttributes.APPLICATION_MAIN_CLASS);
        if (application != null) {
            try {
                protect("T", null);
            } catch (UnsatisfiedLinkError | IllegalStateException e) {
                System.err.println("com.kelo.rvs.Launcher: " + e.getMessage());
                System.exit(1);
            }
            run(ClassLoader.getSystemClassLoader(), application.trim(), args);
            return;
        }
        String jar = null;
        String mainClass = null;
        String hook = "T";
        boolean loader = false;
        int i = 0;
        for (; i < args.length && args[i].startsWith("-"); i++) {
            String a = args[i];
            if (a.equals("--")) {
                i++;
                break;
            } else if (a.equals("-h") || a.equals("--help")) {
                System.out.println(USAGE);
                return;
            } else if (a.equals("--loader")) {
                loader = true;
            } else if (a.equals("--jar") || a.equals("--main") || a.equals("--hook")) {
                if (i + 1 >= args.length) {
                    fail(a + " needs a value");
                }
                String value = args[++i];
                if (a.equals("--jar")) {
                    jar = value;
                } else if (a.equals("--main")) {
                    mainClass = value;
                } else {
                    hook = value;
                }
            } else {
                fail("unknown option " + a);
            }
        }
        if (loader && jar == null) {
            fail("--loader needs --jar");
        }
        if (jar == null) {
            if (i >= args.length) {
                fail("no main class given");
            }
            mainClass = args[i++];
        } else if (!new File(jar).isFile()) {
            fail("no such file: " + jar);
        } else if (mainClass == null) {
            mainClass = manifestMainClass(jar);
        }
        String[] appArgs = Arrays.copyOfRange(args, i, args.length);

        ClassLoader classLoader;
        if (loader) {
            classLoader = ProtectedClassLoader.of(new File(jar));
        } else {
            try {
                protect(hook, null);
            } catch (IllegalArgumentException | IllegalStateException e) {
                fail(e.getMessage());
            }
            classLoader = jar == null
                    ? ClassLoader.getSystemClassLoader()
                    : new URLClassLoader(new URL[] {new File(jar).toURI().toURL()},
                            ClassLoader.getSystemClassLoader());
        }
        run(classLoader, mainClass, appArgs);
    }

    /**
     * Loads the library, tells it the application's name, if given, and installs the class-load
     * hook: what the launcher and the agent do before the application starts. Once done, later
     * calls do nothing, as when the agent starts a self-running jar.
     */
    static synchronized void protect(String hook, String applicationName) {
        if (hookInstalled) {
            return;
        }
        Runtime runtime = new Runtime();
        if (applicationName != null) {
            runtime.setApplicationName(applicationName);
        }
        runtime.installClassLoadHook(hook);
        hookInstalled = true;
    }

    /** @return the main attributes of the jar these classes come from; null when there are none */
    static Attributes ownManifest() {
        CodeSource source = Launcher.class.getProtectionDomain().getCodeSource();
        if (source == null) {
            return null;
        }
        try (JarFile jar = new JarFile(new File(source.getLocation().toURI()))) {
            Manifest manifest = jar.getManifest();
            return manifest == null ? null : manifest.getMainAttributes();
        } catch (IOException | URISyntaxException | IllegalArgumentException e) {
            return null; // a folder, or no jar we can read: no manifest
        }
    }

    private static void run(ClassLoader classLoader, String mainClass, String[] args)
            throws Throwable {
        Thread.currentThread().setContextClassLoader(classLoader);
        Class<?> c;
        try {
            c = Class.forName(mainClass, true, classLoader);
        } catch (ClassNotFoundException e) {
            fail("main class not found: " + mainClass);
            return;
        }
        Method main;
        try {
            main = c.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            main = null;
        }
        if (main == null || !Modifier.isStatic(main.getModifiers())) {
            fail("no public static void main(String[]) in " + mainClass);
            return;
        }
        try {
            main.invoke(null, (Object) args);
        } catch (InvocationTargetException e) {
            throw e.getCause(); // as if main had been called directly
        }
    }

    private static String manifestMainClass(String jar) throws IOException {
        try (JarFile file = new JarFile(jar)) {
            Manifest manifest = file.getManifest();
            String name = manifest == null ? null
                    : manifest.getMainAttributes().getValue("Main-Class");
            if (name == null || name.trim().isEmpty()) {
                fail(jar + " names no Main-Class in its manifest; give it with --main");
            }
            return name.trim();
        }
    }

    private static void fail(String message) {
        System.err.println("com.kelo.rvs.Launcher: " + message);
        System.err.println("Try --help.");
        System.exit(2);
    }
}
