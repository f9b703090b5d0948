package com.kelo.pack;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

/**
 * The packer's command line: {@code wrap}, {@code protect} and {@code inspect}. Exit status 0
 * when done, 1 when the work failed, 2 for a bad command line.
 */
public final class Main {
    static final String USAGE = String.join(System.lineSeparator(),
            "Usage: kelo-pack wrap CLASS-FILE -o CONTAINER [header options]",
            "       kelo-pack protect JAR -o PROTECTED-JAR [--form embedded|container]",
            "                 [--include GLOB]... [--exclude GLOB]... [--with-runtime]",
            "                 [--runtime-jar FILE] [--no-nested] [header options]",
            "       kelo-pack inspect FILE...",
            "",
            "wrap     turns one class file into a class container for KeloRvs4J32.",
            "protect  turns every class of a jar, war or ear, and of the jars and wars inside it,",
            "         into a skeleton carrier (--form embedded, the default): a class file with",
            "         the class's declarations and annotations but no code, holding its container",
            "         as Base64 pieces in constant-pool strings, so that frameworks that read",
            "         class files still see the class. --form container writes the containers",
            "         themselves. A class is named by its class file, wherever it lies",
            "         (WEB-INF/classes/, BOOT-INF/classes/, ...). Every other entry is copied byte",
            "         for byte, in its order; signature files are dropped; an executable jar's",
            "         manifest gains Enable-Native-Access: ALL-UNNAMED. Run the result with the",
            "         class-load hook of kelo-rvs.jar (see its README).",
            "inspect  prints the header of a container, or of the container in a carrier class,",
            "         and checks that the library can decode it.",
            "",
            "Header options:",
            "  --stored             store the class bytes instead of compressing them (gzip)",
            "  --level N            deflate level, 0 to 9 (default 9)",
            "  --no-crc             do not ask the library to check the CRC-32 of the class bytes",
            "  --suspend-threads    loading the class switches the library's thread suspension on",
            "  --java-min X.Y.Z     lowest Java version the class runs on",
            "  --java-max X.Y.Z     highest Java version the class runs on",
            "  --class-kind N       0 to 255; 0 makes the library check the Java version range",
            "                       (default: 0 when --java-min or --java-max is given, else 1)",
            "  --format-version N   container format version (default 3; the library accepts 1-3)",
            "  --header-length N    header length, 75 to 65535 (default 75); the extra bytes are 0",
            "",
            "The Java version check compares major.minor.micro of the running JVM's java.version",
            "with the range, once per process. It needs three numbers: 1.8.0_402 and 17.0.9 are",
            "fine, but a first release such as 21 or 17 (fewer numbers) makes the library refuse",
            "the class. Leave the range out (class kind 1, no check) unless you know the JVMs.",
            "",
            "Protect options:",
            "  --form F             embedded (default) or container",
            "  --include GLOB       protect only matching classes (repeatable; default all)",
            "  --exclude GLOB       leave matching classes unprotected (repeatable)",
            "                       GLOB is a class name: * within a name, ** across dots,",
            "                       ? one character; com.example.** or com.example.Main*",
            "  --chunk-bytes N      container bytes per Base64 piece (default: as many as fit",
            "                       one constant-pool entry)",
            "  --with-runtime       make an executable jar run with plain java -jar (Java 8 and",
            "                       later): the runtime's classes and native libraries go into it",
            "                       unprotected, com.kelo.rvs.Launcher becomes its Main-Class and",
            "                       runs the original one with every argument",
            "  --runtime-jar FILE   the runtime jar for --with-runtime (implies it; default: the",
            "                       kelo-rvs.jar beside kelo-pack.jar)",
            "  --no-nested          copy jars and wars inside the archive as they are",
            "",
            "  -o, --output FILE    where to write the result",
            "  -h, --help           print this help");

    /** A mistake on the command line. */
    static final class UsageException extends Exception {
        private static final long serialVersionUID = 1L;

        UsageException(String message) {
            super(message);
        }
    }

    private Main() {}

    public static void main(String[] args) {
        System.exit(run(args, System.out, System.err));
    }

    /** Runs one command; @return the exit status */
    public static int run(String[] args, PrintStream out, PrintStream err) {
        try {
            return execute(args, out, err);
        } catch (UsageException e) {
            err.println("kelo-pack: " + e.getMessage());
            err.println("Try 'kelo-pack --help'.");
            return 2;
        } catch (PackException e) {
            err.println("kelo-pack: " + e.getMessage());
            return 1;
        } catch (IOException e) {
            err.println("kelo-pack: " + e);
            return 1;
        }
    }

    private static int execute(String[] args, PrintStream out, PrintStream err)
            throws UsageException, PackException, IOException {
        if (args.length == 0) {
            throw new UsageException("no command given");
        }
        String command = args[0];
        if (command.equals("-h") || command.equals("--help") || command.equals("help")) {
            out.println(USAGE);
            return 0;
        }
        Options o = Options.parse(command, args);
        if (o.help) {
            out.println(USAGE);
            return 0;
        }
        switch (command) {
            case "wrap":
                return wrap(o, out);
            case "protect":
                return protect(o, out, err);
            case "inspect":
                return inspect(o, out, err);
            default:
                throw new UsageException("unknown command: " + command);
        }
    }

    private static int wrap(Options o, PrintStream out)
            throws UsageException, PackException, IOException {
        File input = o.singleInput();
        File output = o.output();
        byte[] classFile = readFile(input);
        byte[] container;
        try {
            container = Containers.wrap(classFile, o.wrap);
        } catch (PackException e) {
            throw new PackException(input + ": " + e.getMessage(), e);
        }
        Files.write(output.toPath(), container);
        out.println("wrap: " + input + " -> " + o.output() + " (" + container.length + " bytes)");
        return 0;
    }

    private static int protect(Options o, PrintStream out, PrintStream err)
            throws UsageException, PackException, IOException {
        File input = o.singleInput();
        o.output();
        JarProtector protector = new JarProtector();
        protector.wrapOptions = o.wrap;
        protector.form = o.form;
        protector.pieceBytes = o.chunkBytes;
        protector.nested = !o.noNested;
        if (o.withRuntime) {
            protector.runtimeJar = o.runtimeJar != null ? o.runtimeJar : runtimeBesidePacker();
        }
        for (String glob : o.includes) {
            protector.include(glob);
        }
        for (String glob : o.excludes) {
            protector.exclude(glob);
        }
        for (String line : protector.protect(input, o.output(), err).summary()) {
            out.println(line);
        }
        return 0;
    }

    /** The kelo-rvs.jar in the folder of this packer's jar. */
    private static File runtimeBesidePacker() throws UsageException {
        File folder = null;
        try {
            folder = new File(Main.class.getProtectionDomain().getCodeSource().getLocation().toURI())
                    .getParentFile();
        } catch (java.net.URISyntaxException | RuntimeException e) {
            // no folder to look in
        }
        File runtime = new File(folder, "kelo-rvs.jar");
        if (folder == null || !runtime.isFile()) {
            throw new UsageException("no kelo-rvs.jar beside the packer"
                    + (folder == null ? "" : " in " + folder) + ": name it with --runtime-jar");
        }
        return runtime;
    }

    private static int inspect(Options o, PrintStream out, PrintStream err)
            throws UsageException, IOException {
        if (o.inputs.isEmpty()) {
            throw new UsageException("inspect needs a file");
        }
        int status = 0;
        for (File file : o.inputs) {
            try {
                out.print(Inspector.describe(file.getPath(), readFile(file)));
            } catch (PackException e) {
                err.println("kelo-pack: " + file + ": " + e.getMessage());
                status = 1;
            }
        }
        return status;
    }

    static byte[] readFile(File file) throws PackException, IOException {
        if (!file.isFile()) {
            throw new PackException("no such file: " + file);
        }
        return Files.readAllBytes(file.toPath());
    }

    /** The parsed command line of one command. */
    static final class Options {
        final WrapOptions wrap = new WrapOptions();
        final List<File> inputs = new ArrayList<>();
        final List<String> includes = new ArrayList<>();
        final List<String> excludes = new ArrayList<>();
        JarProtector.Form form = JarProtector.Form.EMBEDDED;
        int chunkBytes;
        boolean withRuntime;
        boolean noNested;
        File runtimeJar;
        File output;
        boolean help;

        static Options parse(String command, String[] args) throws UsageException {
            Options o = new Options();
            boolean packing = command.equals("wrap") || command.equals("protect");
            for (int i = 1; i < args.length; i++) {
                String a = args[i];
                if (a.equals("-h") || a.equals("--help")) {
                    o.help = true;
                } else if (!a.startsWith("-") || a.equals("-")) {
                    o.inputs.add(new File(a));
                } else if (a.equals("-o") || a.equals("--output")) {
                    o.output = new File(value(args, ++i, a));
                } else if (packing && a.equals("--stored")) {
                    o.wrap.compressed = false;
                } else if (packing && a.equals("--level")) {
                    o.wrap.level = number(args, ++i, a, 0, 9);
                } else if (packing && a.equals("--no-crc")) {
                    o.wrap.crc = false;
                } else if (packing && a.equals("--suspend-threads")) {
                    o.wrap.suspendThreads = true;
                } else if (packing && a.equals("--java-min")) {
                    o.wrap.minJava = javaVersion(args, ++i, a);
                } else if (packing && a.equals("--java-max")) {
                    o.wrap.maxJava = javaVersion(args, ++i, a);
                } else if (packing && a.equals("--class-kind")) {
                    o.wrap.classKind = number(args, ++i, a, 0, 255);
                } else if (packing && a.equals("--format-version")) {
                    o.wrap.formatVersion = number(args, ++i, a, 0, 0xFFFF);
                } else if (packing && a.equals("--header-length")) {
                    o.wrap.headerLength = number(args, ++i, a, ContainerHeader.LENGTH, 0xFFFF);
                } else if (command.equals("protect") && a.equals("--form")) {
                    String form = value(args, ++i, a);
                    if (form.equals("container")) {
                        o.form = JarProtector.Form.CONTAINER;
                    } else if (form.equals("embedded")) {
                        o.form = JarProtector.Form.EMBEDDED;
                    } else {
                        throw new UsageException("--form must be container or embedded, not " + form);
                    }
                } else if (command.equals("protect") && a.equals("--include")) {
                    o.includes.add(value(args, ++i, a));
                } else if (command.equals("protect") && a.equals("--exclude")) {
                    o.excludes.add(value(args, ++i, a));
                } else if (command.equals("protect") && a.equals("--with-runtime")) {
                    o.withRuntime = true;
                } else if (command.equals("protect") && a.equals("--runtime-jar")) {
                    o.runtimeJar = new File(value(args, ++i, a));
                    o.withRuntime = true;
                } else if (command.equals("protect") && a.equals("--no-nested")) {
                    o.noNested = true;
                } else if (command.equals("protect") && a.equals("--chunk-bytes")) {
                    o.chunkBytes = number(args, ++i, a, 1, Integer.MAX_VALUE);
                } else {
                    throw new UsageException("unknown option for " + command + ": " + a);
                }
            }
            return o;
        }

        File singleInput() throws UsageException {
            if (inputs.size() != 1) {
                throw new UsageException(inputs.isEmpty() ? "no input file given"
                        : "one input file expected, got " + inputs.size());
            }
            return inputs.get(0);
        }

        File output() throws UsageException {
            if (output == null) {
                throw new UsageException("no output file given (-o FILE)");
            }
            return output;
        }

        private static String value(String[] args, int i, String option) throws UsageException {
            if (i >= args.length) {
                throw new UsageException(option + " needs a value");
            }
            return args[i];
        }

        private static int number(String[] args, int i, String option, int min, int max)
                throws UsageException {
            String text = value(args, i, option);
            try {
                int n = Integer.parseInt(text);
                if (n >= min && n <= max) {
                    return n;
                }
            } catch (NumberFormatException e) {
                // reported below
            }
            throw new UsageException(option + " needs a number from " + min + " to " + max
                    + ", not " + text);
        }

        static int[] javaVersion(String[] args, int i, String option) throws UsageException {
            try {
                return WrapOptions.javaVersion(value(args, i, option));
            } catch (PackException e) {
                throw new UsageException(option + " " + e.getMessage());
            }
        }
    }
}
