package com.kelo.pack;

import com.kelo.rvs.format.LaunchAttributes;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Enumeration;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.Locale;
import java.util.jar.Attributes;
import java.util.jar.Manifest;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.zip.ZipEntry;
import java.util.zip.ZipException;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/**
 * Turns a jar into a protected jar: the selected classes become skeleton carriers or containers,
 * everything else (resources, other classes) is copied unchanged. Signature files are dropped, as
 * the protected classes no longer match them. An executable jar's manifest gains
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

    /** What a run did. */
    public static final class Result {
        public int protectedClasses;
        public int keptClasses;
        public int otherEntries;
        public int droppedSignatureFiles;
        /** Embedded classes that ASM could not read, written as minimal carriers. */
        public int minimalCarriers;
        public long inputBytes;
        public long outputBytes;
        /** Entries of the runtime jar added. */
        public int runtimeEntries;
    }

    /** Above this many entries, progress lines are printed. */
    static final int PROGRESS_STEP = 1000;

    private static final String MANIFEST = "META-INF/MANIFEST.MF";
    private static final Attributes.Name NATIVE_ACCESS = new Attributes.Name("Enable-Native-Access");

    // Where dependency-injection containers and scanners look for classes to read as resources.
    private static final List<String> SCANNING_INDEXES = Arrays.asList("META-INF/sisu/",
            "META-INF/plexus/components.xml", "META-INF/spring.components", "META-INF/beans.xml",
            "META-INF/persistence.xml");

    // A class of a multi-release jar: META-INF/versions/N/ then the class's own path.
    private static final Pattern VERSIONED = Pattern.compile("META-INF/versions/[0-9]+/(.+)");

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
     * Writes the protected jar.
     *
     * @param messages where warnings and progress lines for large jars go
     * @throws PackException if the input is not a readable jar or a class cannot be wrapped
     */
    public Result protect(File input, File output, PrintStream messages)
            throws PackException, IOException {
        if (!input.isFile()) {
            throw new PackException("no such file: " + input);
        }
        if (input.getCanonicalFile().equals(output.getCanonicalFile())) {
            throw new PackException("the output would overwrite the input: " + output);
        }
        ZipFile zip;
        try {
            zip = new ZipFile(input);
        } catch (ZipException e) {
            throw new PackException("not a jar file: " + input + " (" + e.getMessage() + ")", e);
        }
        Result result = new Result();
        List<String> indexes = new ArrayList<>();
        File partial = new File(output.getPath() + ".part");
        try (ZipFile in = zip;
                ZipFile runtime = openRuntime();
                OutputStream file = new FileOutputStream(partial);
                ZipOutputStream out = new ZipOutputStream(file)) {
            Set<String> written = new HashSet<>();
            if (runtime != null && in.getEntry(MANIFEST) == null) {
                throw new PackException(input + " has no manifest to name its main class, which"
                        + " a jar with the runtime needs");
            }
            List<ZipEntry> entries = orderedEntries(in);
            int done = 0;
            for (ZipEntry entry : entries) {
                // The runtime's own classes replace any copy the application carries.
                if (runtime == null || !isRuntimeEntry(entry.getName())) {
                    copy(in, entry, out, result, messages);
                    written.add(entry.getName());
                }
                if (SCANNING_INDEXES.stream().anyMatch(entry.getName()::startsWith)) {
                    indexes.add(entry.getName());
                }
                done++;
                if (entries.size() > PROGRESS_STEP && done % PROGRESS_STEP == 0) {
                    messages.println("protect: " + done + " of " + entries.size() + " entries");
                }
            }
            for (Enumeration<? extends ZipEntry> e = runtime == null ? Collections.emptyEnumeration()
                    : runtime.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                if (isRuntimeEntry(entry.getName()) && written.add(entry.getName())) {
                    write(out, entry, read(runtime, entry));
                    result.runtimeEntries++;
                }
            }
        } catch (PackException | IOException | RuntimeException e) {
            partial.delete();
            throw e;
        }
        if (output.exists() && !output.delete() || !partial.renameTo(output)) {
            partial.delete();
            throw new PackException("cannot write " + output);
        }
        if (result.droppedSignatureFiles > 0) {
            warn(messages, input + " is signed: the protected jar is not (its "
                    + result.droppedSignatureFiles + " signature files are left out); sign it again"
                    + " if it must be signed");
        }
        if (form == Form.CONTAINER && result.protectedClasses > 0 && !indexes.isEmpty()) {
            warn(messages, input + " has a component index (" + String.join(", ", indexes)
                    + "): frameworks that scan for components read class files, and cannot read"
                    + " containers; protect it with --form embedded");
        }
        if (runtimeJar != null && result.runtimeEntries == 0) {
            output.delete();
            throw new PackException(runtimeJar + " holds no runtime classes");
        }
        result.inputBytes = input.length();
        result.outputBytes = output.length();
        return result;
    }

    // The manifest (and its folder) first, where JarInputStream looks for it.
    private static List<ZipEntry> orderedEntries(ZipFile in) {
        List<ZipEntry> first = new ArrayList<>();
        List<ZipEntry> rest = new ArrayList<>();
        for (Enumeration<? extends ZipEntry> e = in.entries(); e.hasMoreElements();) {
            ZipEntry entry = e.nextElement();
            String name = entry.getName();
            if (name.equalsIgnoreCase("META-INF/") || name.equalsIgnoreCase(MANIFEST)) {
                first.add(entry);
            } else {
                rest.add(entry);
            }
        }
        Collections.sort(first, (a, b) -> a.getName().length() - b.getName().length());
        first.addAll(rest);
        return first;
    }

    private void copy(ZipFile in, ZipEntry entry, ZipOutputStream out, Result result,
            PrintStream messages) throws PackException, IOException {
        String name = entry.getName();
        if (isSignatureFile(name)) {
            result.droppedSignatureFiles++;
            return;
        }
        byte[] data = entry.isDirectory() ? new byte[0] : read(in, entry);
        String className = className(name);
        if (name.endsWith(".class")) {
            if (className != null && selected(className) && Containers.isClassFile(data)) {
                data = protectClass(in, name, className.replace('.', '/'), data, result, messages);
                result.protectedClasses++;
            } else {
                result.keptClasses++;
            }
        } else if (name.equalsIgnoreCase(MANIFEST)) {
            data = manifest(data);
            result.otherEntries++;
        } else {
            result.otherEntries++;
        }
        write(out, entry, data);
    }

    private static void write(ZipOutputStream out, ZipEntry entry, byte[] data) throws IOException {
        ZipEntry copy = new ZipEntry(entry.getName());
        copy.setTime(entry.getTime());
        if (entry.getComment() != null) {
            copy.setComment(entry.getComment());
        }
        out.putNextEntry(copy);
        out.write(data);
        out.closeEntry();
    }

    private ZipFile openRuntime() throws PackException, IOException {
        if (runtimeJar == null) {
            return null;
        }
        if (!runtimeJar.isFile()) {
            throw new PackException("no such runtime jar: " + runtimeJar);
        }
        try {
            return new ZipFile(runtimeJar);
        } catch (ZipException e) {
            throw new PackException("not a jar file: " + runtimeJar + " (" + e.getMessage() + ")", e);
        }
    }

    /** Whether the entry is part of the runtime: its package, with its native libraries. */
    private static boolean isRuntimeEntry(String name) {
        return name.startsWith("com/kelo/rvs/");
    }

    private byte[] protectClass(ZipFile in, String entryName, String internalName, byte[] data,
            Result result, PrintStream messages) throws PackException, IOException {
        try {
            byte[] container = Containers.wrap(data, wrapOptions);
            if (form == Form.CONTAINER) {
                return container;
            }
            List<String> pieces = Carrier.pieces(internalName, container, pieceBytes);
            try {
                return Skeleton.build(data, pieces, Carrier.protectedMessage(internalName),
                        other -> classBeside(in, entryName, other));
            } catch (RuntimeException e) {
                // ASM's reason: a newer class file version, a damaged class file, a full pool.
                warn(messages, entryName + ": ASM cannot read it (" + e + "); written as a minimal"
                        + " carrier, which frameworks that read class files see without its"
                        + " declarations");
                result.minimalCarriers++;
                return Carrier.build(internalName, container, pieceBytes);
            }
        } catch (PackException e) {
            throw new PackException(entryName + ": " + e.getMessage(), e);
        }
    }

    /** The class file of a class of the same package as an entry's: in its folder, or null. */
    private static byte[] classBeside(ZipFile in, String entryName, String internalName)
            throws IOException {
        String folder = entryName.substring(0, entryName.lastIndexOf('/') + 1);
        ZipEntry entry = in.getEntry(folder
                + internalName.substring(internalName.lastIndexOf('/') + 1) + ".class");
        return entry == null ? null : read(in, entry);
    }

    /**
     * An executable jar's manifest with native access enabled; with the runtime, the launcher as
     * its main class. Any other manifest unchanged.
     *
     * @throws PackException if the runtime is to be added and the manifest names no main class
     */
    byte[] manifest(byte[] manifestBytes) throws IOException, PackException {
        Manifest manifest = new Manifest(new java.io.ByteArrayInputStream(manifestBytes));
        Attributes main = manifest.getMainAttributes();
        String mainClass = main.getValue(Attributes.Name.MAIN_CLASS);
        if (mainClass == null) {
            if (runtimeJar != null) {
                throw new PackException("the manifest names no Main-Class, which a jar with the"
                        + " runtime needs");
            }
            return manifestBytes;
        }
        if (runtimeJar != null && !mainClass.equals(LaunchAttributes.LAUNCHER)) {
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

    /**
     * @return the class name of a class entry that can be protected, else null; the class of a
     *     multi-release entry is named without its folder
     */
    static String className(String entryName) {
        Matcher versioned = VERSIONED.matcher(entryName);
        String path = versioned.matches() ? versioned.group(1) : entryName;
        if (!path.endsWith(".class") || path.startsWith("META-INF/")
                || path.endsWith("module-info.class")) {
            return null; // the JVM reads module descriptors itself
        }
        return path.substring(0, path.length() - ".class".length()).replace('/', '.');
    }

    static boolean isSignatureFile(String name) {
        String upper = name.toUpperCase(Locale.ROOT);
        if (!upper.startsWith("META-INF/") || upper.indexOf('/', 9) >= 0) {
            return false;
        }
        return upper.endsWith(".SF") || upper.endsWith(".RSA") || upper.endsWith(".DSA")
                || upper.endsWith(".EC") || upper.startsWith("META-INF/SIG-");
    }

    private static byte[] read(ZipFile zip, ZipEntry entry) throws IOException {
        try (InputStream in = zip.getInputStream(entry)) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0;) {
                out.write(buffer, 0, n);
            }
            return out.toByteArray();
        }
    }
}
