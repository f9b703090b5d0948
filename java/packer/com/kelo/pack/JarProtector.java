package com.kelo.pack;

import com.kelo.rvs.format.EmbeddedContainers;
import com.kelo.rvs.format.LaunchAttributes;
import java.io.BufferedOutputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.jar.Attributes;
import java.util.jar.Manifest;
import java.util.regex.Pattern;

/**
 * Turns a jar (or a war, an ear) into a protected one: the selected classes, named by their class
 * files, become skeleton carriers or containers; jars and wars inside it are protected the same
 * way; every other entry is copied byte for byte, in the original order. Signature files are
 * dropped, as the protected classes no longer match them. An executable jar's manifest gains
 * {@code Enable-Native-Access: ALL-UNNAMED}, so that JDK 24 and later let the runtime load its
 * native library without a warning. With a {@link #runtimeJar}, the runtime's classes and native
 * libraries go into the jar unprotected and its launcher becomes the main class, which
 * installs the hook and runs the application's own main class: {@code java -jar} runs it.
 */
public final class JarProtector {
    /** How a protected class is stored in the jar. */
    public enum Form {
        /** The container itself, as the class entry. */
        CONTAINER,
        /** A skeleton of the class holding the container (see {@link Skeleton}). */
        EMBEDDED
    }

    /** What a run did, for the archive and for each archive inside it that was protected. */
    public static final class Result {
        public int protectedClasses;
        public int keptClasses;
        /** Carriers of their own containers: classes protected before. */
        public int alreadyProtected;
        public int otherEntries;
        public int droppedSignatureFiles;
        /** Embedded classes that ASM could not read, written as minimal carriers. */
        public int minimalCarriers;
        public long inputBytes;
        public long outputBytes;
        /** Entries of the runtime jar added. */
        public int runtimeEntries;
        /** Archives directly inside this one that were written protected. */
        public int protectedArchives;
        /**
         * The archives inside that were read, by path ({@code WEB-INF/lib/a.jar}, deeper ones as
         * {@code app.war!/WEB-INF/lib/a.jar}); filled in the outermost result only.
         */
        public final Map<String, Result> nestedArchives = new LinkedHashMap<>();
        private final List<String> indexes = new ArrayList<>();
        private final String input;
        private final String output;
        private final Form form;

        Result(String input, String output, Form form) {
            this.input = input;
            this.output = output;
            this.form = form;
        }

        /** @return what the run did, one line for the archive and one per nested archive */
        public List<String> summary() {
            List<String> lines = new ArrayList<>();
            lines.add("protect: " + input + " -> " + output + ": " + counts());
            for (Map.Entry<String, Result> n : nestedArchives.entrySet()) {
                lines.add("  in " + n.getKey() + ": " + n.getValue().counts());
            }
            return lines;
        }

        private String counts() {
            return count(protectedClasses, "class", "classes") + " protected ("
                    + form.name().toLowerCase(Locale.ROOT) + ")"
                    + (minimalCarriers > 0 ? ", " + minimalCarriers + " as minimal carriers" : "")
                    + (alreadyProtected > 0 ? ", " + alreadyProtected + " protected before" : "")
                    + ", " + keptClasses + " left as they were, "
                    + count(otherEntries, "other entry", "other entries") + " copied"
                    + (protectedArchives > 0 ? ", "
                            + count(protectedArchives, "nested archive", "nested archives")
                            + " protected" : "")
                    + (droppedSignatureFiles > 0 ? ", "
                            + count(droppedSignatureFiles, "signature file", "signature files")
                            + " dropped" : "")
                    + (runtimeEntries > 0 ? ", the runtime added ("
                            + count(runtimeEntries, "entry", "entries") + ")" : "")
                    + "; " + inputBytes + " -> " + outputBytes + " bytes";
        }

        private static String count(int n, String one, String many) {
            return n + " " + (n == 1 ? one : many);
        }
    }

    /** Above this many entries, progress lines are printed. */
    static final int PROGRESS_STEP = 1000;

    private static final String MANIFEST = "META-INF/MANIFEST.MF";
    private static final Attributes.Name NATIVE_ACCESS = new Attributes.Name("Enable-Native-Access");

    // Where dependency-injection containers and scanners look for classes to read as resources.
    private static final List<String> SCANNING_INDEXES = Arrays.asList("META-INF/sisu/",
            "META-INF/plexus/components.xml", "META-INF/spring.components", "META-INF/beans.xml",
            "META-INF/persistence.xml");

    public WrapOptions wrapOptions = new WrapOptions();
    public Form form = Form.EMBEDDED;
    /** Container bytes per carrier piece; 0 for as many as fit one constant-pool entry. */
    public int pieceBytes;
    /** Whether archives inside the archive (a war's or a fat jar's jars) are protected too. */
    public boolean nested = true;
    /** The runtime jar (kelo-rvs.jar) to make the protected jar run on its own; null for none. */
    public File runtimeJar;
    private final List<Pattern> includes = new ArrayList<>();
    private final List<Pattern> excludes = new ArrayList<>();

    /**
     * Protects only classes that match one of the include patterns (all, when there is none).
     *
     * @param glob a class name pattern: {@code *} matches within a package name or class name,
     *     {@code **} across dots, {@code ?} one character; slashes count as dots
     */
    public void include(String glob) {
        includes.add(globPattern(glob));
    }

    /** Leaves classes that match the pattern unprotected, as {@link #include} writes it. */
    public void exclude(String glob) {
        excludes.add(globPattern(glob));
    }

    static Pattern globPattern(String glob) {
        StringBuilder regex = new StringBuilder();
        String g = glob.replace('/', '.');
        for (int i = 0; i < g.length(); i++) {
            char c = g.charAt(i);
            if (c == '*' && i + 1 < g.length() && g.charAt(i + 1) == '*') {
                regex.append(".*");
                i++;
            } else if (c == '*') {
                regex.append("[^.]*");
            } else if (c == '?') {
                regex.append("[^.]");
            } else {
                regex.append(Pattern.quote(String.valueOf(c)));
            }
        }
        return Pattern.compile(regex.toString());
    }

    boolean selected(String className) {
        boolean in = includes.isEmpty();
        for (Pattern p : includes) {
            in |= p.matcher(className).matches();
        }
        for (Pattern p : excludes) {
            in &= !p.matcher(className).matches();
        }
        return in;
    }

    /**
     * Writes the protected archive: a jar, a war or an ear, with the archives inside it protected
     * too unless {@link #nested} is off.
     *
     * @param messages where warnings and progress lines for large archives go
     * @throws PackException if the input is not a readable archive or a class cannot be wrapped
     */
    public Result protect(File input, File output, PrintStream messages)
            throws PackException, IOException {
        if (!input.isFile()) {
            throw new PackException("no such file: " + input);
        }
        if (input.getCanonicalFile().equals(output.getCanonicalFile())) {
            throw new PackException("the output would overwrite the input: " + output);
        }
        ZipArchive in = readArchive(input);
        ZipArchive runtime = runtimeJar == null ? null : readRuntime();
        if (runtime != null && in.entry(MANIFEST) == null) {
            throw new PackException(input + " has no manifest to name its main class, which"
                    + " a jar with the runtime needs");
        }
        Result result = new Result(input.getPath(), output.getPath(), form);
        File partial = new File(output.getPath() + ".part");
        try (OutputStream file = new BufferedOutputStream(new FileOutputStream(partial))) {
            protectArchive(in, input.getPath(), runtime, file, result, result, messages);
        } catch (PackException | IOException | RuntimeException e) {
            partial.delete();
            throw e;
        }
        if (output.exists() && !output.delete() || !partial.renameTo(output)) {
            partial.delete();
            throw new PackException("cannot write " + output);
        }
        warnings(input.getPath(), result, messages);
        if (runtimeJar != null && result.runtimeEntries == 0) {
            output.delete();
            throw new PackException(runtimeJar + " holds no runtime classes");
        }
        result.inputBytes = input.length();
        result.outputBytes = output.length();
        return result;
    }

    /**
     * Writes one archive protected, in its own order; entries left alone keep their bytes.
     *
     * @param label the archive's name in messages: the input, then !/ and the path of each level
     * @param runtime the runtime jar to add, for the outermost archive only
     */
    private void protectArchive(ZipArchive in, String label, ZipArchive runtime, OutputStream to,
            Result result, Result top, PrintStream messages) throws PackException, IOException {
        ZipArchive.Writer out = new ZipArchive.Writer(to, in.prefix);
        int done = 0;
        for (ZipArchive.Entry entry : in.entries) {
            String name = entry.name;
            if (SCANNING_INDEXES.stream().anyMatch(name::startsWith)) {
                result.indexes.add(name);
            }
            // The runtime's own classes replace any copy the application carries.
            if (runtime != null && isRuntimeEntry(name)) {
                continue;
            } else if (isSignatureFile(name)) {
                result.droppedSignatureFiles++;
                continue;
            }
            String where = (result == top ? "" : label + "!/") + name;
            byte[] changed;
            if (nested && isArchive(name)) {
                changed = protectNested(entry, label, result, top, messages);
            } else {
                try {
                    changed = change(in, entry, where, runtime != null, result, result == top,
                            messages);
                } catch (PackException e) {
                    throw new PackException(where + ": " + e.getMessage(), e);
                }
            }
            if (changed == null) {
                out.copy(entry);
            } else {
                out.replace(entry, changed);
            }
            done++;
            if (in.entries.size() > PROGRESS_STEP && done % PROGRESS_STEP == 0) {
                messages.println("protect: " + done + " of " + in.entries.size() + " entries"
                        + (result == top ? "" : " of " + label));
            }
        }
        for (ZipArchive.Entry entry : runtime == null ? Collections.<ZipArchive.Entry>emptyList()
                : runtime.entries) {
            if (isRuntimeEntry(entry.name)) {
                out.copy(entry);
                result.runtimeEntries++;
            }
        }
        out.finish(in.comment);
    }

    /** @return the entry's new content, or null to copy it as it is */
    private byte[] change(ZipArchive in, ZipArchive.Entry entry, String where, boolean withRuntime,
            Result result, boolean top, PrintStream messages) throws PackException, IOException {
        String name = entry.name;
        if (name.endsWith(".class")) {
            byte[] data = entry.content();
            String className = Containers.isClassFile(data) ? Containers.className(data) : null;
            if (className == null && Containers.isClassFile(data)) {
                warn(messages, where + ": its class name cannot be read; left as it is");
            }
            if (className == null || className.equals("module-info") || isRuntimeEntry(className)
                    || !selected(className.replace('/', '.'))) {
                result.keptClasses++;
                return null;
            }
            // Protected before, say a module's jar that its war's build packs: as it is.
            if (EmbeddedContainers.carries(data, className)) {
                result.alreadyProtected++;
                return null;
            }
            result.protectedClasses++;
            return protectClass(in, entry.name, where, className, data, result, messages);
        }
        result.otherEntries++;
        if (top && name.equalsIgnoreCase(MANIFEST)) {
            byte[] original = entry.content();
            byte[] manifest = manifest(original, withRuntime);
            return manifest == original ? null : manifest;
        }
        return null;
    }

    /**
     * Protects an archive inside another in memory.
     *
     * @return its protected bytes, or null when it is to be copied as it is: not a readable
     *     archive (with a warning), or nothing in it protected
     */
    private byte[] protectNested(ZipArchive.Entry entry, String label, Result parent, Result top,
            PrintStream messages) throws PackException, IOException {
        String inner = label + "!/" + entry.name;
        byte[] content;
        ZipArchive archive;
        try {
            content = entry.content();
            archive = ZipArchive.read(content);
        } catch (PackException e) {
            warn(messages, inner + " is not an archive the packer can read (" + e.getMessage()
                    + "); copied as it is");
            parent.otherEntries++;
            return null;
        }
        Result result = new Result(inner, null, form);
        top.nestedArchives.put(inner.substring(top.input.length() + 2), result);
        ByteArrayOutputStream out = new ByteArrayOutputStream(content.length);
        protectArchive(archive, inner, null, out, result, top, messages);
        result.inputBytes = content.length;
        if (result.protectedClasses == 0 && result.protectedArchives == 0) {
            result.droppedSignatureFiles = 0; // copied with its signature, which still holds
            result.outputBytes = content.length;
            return null;
        }
        parent.protectedArchives++;
        result.outputBytes = out.size();
        warnings(inner, result, messages);
        return out.toByteArray();
    }

    private void warnings(String label, Result result, PrintStream messages) {
        if (result.droppedSignatureFiles > 0) {
            warn(messages, label + " is signed: the protected archive is not (its "
                    + result.droppedSignatureFiles + " signature files are left out); sign it"
                    + " again if it must be signed");
        }
        if (form == Form.CONTAINER && result.protectedClasses > 0 && !result.indexes.isEmpty()) {
            warn(messages, label + " has a component index (" + String.join(", ", result.indexes)
                    + "): frameworks that scan for components read class files, and cannot read"
                    + " containers; protect it with --form embedded");
        }
    }

    private static ZipArchive readArchive(File file) throws PackException, IOException {
        if (file.length() > Integer.MAX_VALUE - 8) {
            throw new PackException(file + " is over 2 GB, which the packer does not support");
        }
        try {
            return ZipArchive.read(Files.readAllBytes(file.toPath()));
        } catch (PackException e) {
            throw new PackException("not an archive the packer can read: " + file + " ("
                    + e.getMessage() + ")", e);
        }
    }

    private ZipArchive readRuntime() throws PackException, IOException {
        if (!runtimeJar.isFile()) {
            throw new PackException("no such runtime jar: " + runtimeJar);
        }
        return readArchive(runtimeJar);
    }

    /** Whether an entry or a class is the runtime's: its package, with its native libraries. */
    private static boolean isRuntimeEntry(String name) {
        return name.startsWith("com/kelo/rvs/");
    }

    /** Whether the entry is an archive to protect with the one that holds it. */
    static boolean isArchive(String name) {
        String lower = name.toLowerCase(Locale.ROOT);
        return lower.endsWith(".jar") || lower.endsWith(".war");
    }

    private byte[] protectClass(ZipArchive in, String path, String entryName, String internalName,
            byte[] data, Result result, PrintStream messages) throws PackException {
        byte[] container = Containers.wrap(data, wrapOptions);
        if (form == Form.CONTAINER) {
            return container;
        }
        List<String> pieces = Carrier.pieces(internalName, container, pieceBytes);
        try {
            return Skeleton.build(data, pieces, Carrier.protectedMessage(internalName),
                    other -> classBeside(in, path, other));
        } catch (RuntimeException e) {
            // ASM's reason: a newer class file version, a damaged class file, a full pool.
            warn(messages, entryName + ": ASM cannot read it (" + e + "); written as a minimal"
                    + " carrier, which frameworks that read class files see without its"
                    + " declarations");
            result.minimalCarriers++;
            return Carrier.build(internalName, container, pieceBytes);
        }
    }

    /** The class file of a class of the same package as an entry's: in its folder, or null. */
    private static byte[] classBeside(ZipArchive in, String path, String internalName)
            throws PackException {
        String folder = path.substring(0, path.lastIndexOf('/') + 1);
        ZipArchive.Entry entry = in.entry(folder
                + internalName.substring(internalName.lastIndexOf('/') + 1) + ".class");
        return entry == null ? null : entry.content();
    }

    /**
     * An executable jar's manifest with native access enabled; with the runtime, the launcher as
     * its main class. Any other manifest unchanged: the same array.
     *
     * @throws PackException if the runtime is to be added and the manifest names no main class
     */
    static byte[] manifest(byte[] manifestBytes, boolean withRuntime)
            throws IOException, PackException {
        Manifest manifest = new Manifest(new java.io.ByteArrayInputStream(manifestBytes));
        Attributes main = manifest.getMainAttributes();
        String mainClass = main.getValue(Attributes.Name.MAIN_CLASS);
        if (mainClass == null) {
            if (withRuntime) {
                throw new PackException("the manifest names no Main-Class, which a jar with the"
                        + " runtime needs");
            }
            return manifestBytes;
        }
        if (withRuntime && !mainClass.equals(LaunchAttributes.LAUNCHER)) {
            main.putValue(LaunchAttributes.APPLICATION_MAIN_CLASS, mainClass);
            main.put(Attributes.Name.MAIN_CLASS, LaunchAttributes.LAUNCHER);
        } else if (main.containsKey(NATIVE_ACCESS)) {
            return manifestBytes;
        }
        main.putIfAbsent(NATIVE_ACCESS, "ALL-UNNAMED");
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        manifest.write(out);
        return out.toByteArray();
    }

    private static void warn(PrintStream messages, String text) {
        messages.println("kelo-pack: warning: " + text);
    }

    static boolean isSignatureFile(String name) {
        String upper = name.toUpperCase(Locale.ROOT);
        if (!upper.startsWith("META-INF/") || upper.indexOf('/', 9) >= 0) {
            return false;
        }
        return upper.endsWith(".SF") || upper.endsWith(".RSA") || upper.endsWith(".DSA")
                || upper.endsWith(".EC") || upper.startsWith("META-INF/SIG-");
    }
}
