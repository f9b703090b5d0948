package com.kelo.pack;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Enumeration;
import java.util.List;
import java.util.Locale;
import java.util.regex.Pattern;
import java.util.zip.ZipEntry;
import java.util.zip.ZipException;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/**
 * Turns a jar into a protected jar: the selected classes become containers or carrier class
 * files, everything else (resources, the manifest, other classes) is copied unchanged. Signature
 * files are dropped, as the protected classes no longer match them.
 */
public final class JarProtector {
    /** How a protected class is stored in the jar. */
    public enum Form {
        /** The container itself, as the class entry. */
        CONTAINER,
        /** A carrier class file holding the container (see {@link Carrier}). */
        EMBEDDED
    }

    /** What a run did. */
    public static final class Result {
        public int protectedClasses;
        public int keptClasses;
        public int otherEntries;
        public int droppedSignatureFiles;
    }

    /** Above this many entries, progress lines are printed. */
    static final int PROGRESS_STEP = 1000;

    private static final String MANIFEST = "META-INF/MANIFEST.MF";

    public WrapOptions wrapOptions = new WrapOptions();
    public Form form = Form.CONTAINER;
    /** Container bytes per carrier piece; 0 for as many as fit one constant-pool entry. */
    public int pieceBytes;
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
     * @param progress where progress lines for large jars go
     * @throws PackException if the input is not a readable jar or a class cannot be wrapped
     */
    public Result protect(File input, File output, PrintStream progress)
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
        File partial = new File(output.getPath() + ".part");
        try (ZipFile in = zip;
                OutputStream file = new FileOutputStream(partial);
                ZipOutputStream out = new ZipOutputStream(file)) {
            List<ZipEntry> entries = orderedEntries(in);
            int done = 0;
            for (ZipEntry entry : entries) {
                copy(in, entry, out, result);
                done++;
                if (entries.size() > PROGRESS_STEP && done % PROGRESS_STEP == 0) {
                    progress.println("protect: " + done + " of " + entries.size() + " entries");
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

    private void copy(ZipFile in, ZipEntry entry, ZipOutputStream out, Result result)
            throws PackException, IOException {
        String name = entry.getName();
        if (isSignatureFile(name)) {
            result.droppedSignatureFiles++;
            return;
        }
        byte[] data = entry.isDirectory() ? new byte[0] : read(in, entry);
        String className = className(name);
        if (name.endsWith(".class")) {
            if (className != null && selected(className) && Containers.isClassFile(data)) {
                data = protectClass(name, className, data);
                result.protectedClasses++;
            } else {
                result.keptClasses++;
            }
        } else {
            result.otherEntries++;
        }
        ZipEntry copy = new ZipEntry(name);
        copy.setTime(entry.getTime());
        if (entry.getComment() != null) {
            copy.setComment(entry.getComment());
        }
        out.putNextEntry(copy);
        out.write(data);
        out.closeEntry();
    }

    private byte[] protectClass(String entryName, String className, byte[] data)
            throws PackException {
        try {
            byte[] container = Containers.wrap(data, wrapOptions);
            return form == Form.CONTAINER
                    ? container
                    : Carrier.build(className.replace('.', '/'), container, pieceBytes);
        } catch (PackException e) {
            throw new PackException(entryName + ": " + e.getMessage(), e);
        }
    }

    /** @return the class name of a class entry that can be protected, else null */
    static String className(String entryName) {
        if (!entryName.endsWith(".class") || entryName.startsWith("META-INF/")
                || entryName.endsWith("module-info.class")) {
            return null; // module descriptors and versioned entries are read by the JVM itself
        }
        return entryName.substring(0, entryName.length() - ".class".length()).replace('/', '.');
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
