package com.kelo.rvs;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.InvalidPathException;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFileAttributes;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.concurrent.ThreadLocalRandom;
import java.util.zip.CRC32;

/**
 * The copies of the native library that a runtime jar carries, one for each platform in
 * {@value #RESOURCE_FOLDER}PLATFORM/, and their extraction. A copy is loaded from a per-user cache
 * folder, in a sub-folder named by its CRC-32 and size, so that versions do not mix and all JVMs
 * of a user share one file. It reaches its place by an atomic rename of a verified temporary
 * file, and a cached file is compared byte for byte with the jar's copy before every load: a JVM
 * never loads a half-written, damaged or foreign file, however many start at once. The name
 * only keeps versions apart; that comparison is what makes a file safe to load, so the name
 * needs no cryptographic hash, which would cost a cold JVM more than the rest of the start.
 */
final class BundledLibrary {
    static final String RESOURCE_FOLDER = "com/kelo/rvs/native/";

    /** Every platform that a runtime jar can carry, named as {@link #platform} names them. */
    static final List<String> PLATFORMS =
            Arrays.asList("linux-x86_64", "linux-x86", "windows-x86", "windows-x86_64");

    private final String platform;
    private final ClassLoader resources;
    private final List<Path> cacheFolders;

    /**
     * @param resources where the jar's copies are found
     * @param cacheFolders the folders to extract to, in order of preference
     */
    BundledLibrary(String platform, ClassLoader resources, List<Path> cacheFolders) {
        this.platform = platform;
        this.resources = resources;
        this.cacheFolders = cacheFolders;
    }

    /** The copy for the running JVM, from the jar that holds this class. */
    static BundledLibrary ofThisJvm() {
        String platform = platform(System.getProperty("os.name"), System.getProperty("os.arch"));
        ClassLoader loader = BundledLibrary.class.getClassLoader();
        return new BundledLibrary(platform,
                loader != null ? loader : ClassLoader.getSystemClassLoader(),
                cacheFolders(platform.startsWith("windows-")));
    }

    /** The platform as the jar's folders name it, from {@code os.name} and {@code os.arch}. */
    static String platform(String osName, String osArch) {
        String os = osName.toLowerCase(Locale.ROOT);
        os = os.startsWith("windows") ? "windows"
                : os.startsWith("mac") ? "macos" : os.replaceAll("[^a-z0-9]", "");
        // os.arch is the JVM's: a 32-bit JVM on a 64-bit system needs the 32-bit library.
        String arch = osArch.toLowerCase(Locale.ROOT);
        arch = arch.matches("amd64|x86_64|x64") ? "x86_64"
                : arch.matches("x86|i[3-6]86") ? "x86" : arch.replaceAll("[^a-z0-9_]", "");
        return os + "-" + arch;
    }

    static String fileName(String platform) {
        return platform.startsWith("windows-") ? LibraryLoader.LIBRARY_NAME + ".dll"
                                               : "lib" + LibraryLoader.LIBRARY_NAME + ".so";
    }

    String platform() {
        return platform;
    }

    /** The platforms whose copies this jar carries. */
    List<String> carried() {
        List<String> carried = new ArrayList<>();
        for (String p : PLATFORMS) {
            if (resources.getResource(resourceName(p)) != null) {
                carried.add(p);
            }
        }
        return carried;
    }

    /**
     * Loads this platform's copy through the first cache folder that can hold it.
     *
     * @param tried receives one line for each place that failed, and why
     * @return whether the library was loaded
     */
    boolean load(LibraryLoader.Linker linker, List<String> tried) {
        String resource = resourceName(platform);
        byte[] content;
        try (InputStream in = resources.getResourceAsStream(resource)) {
            if (in == null) {
                List<String> carried = carried();
                tried.add("this jar carries no copy for " + platform + (carried.isEmpty()
                        ? ", nor for any other platform"
                        : ", only for " + String.join(", ", carried)));
                return false;
            }
            content = readAll(in);
        } catch (IOException e) {
            tried.add("the copy in this jar (" + resource + "): " + e);
            return false;
        }
        CRC32 crc = new CRC32();
        crc.update(content);
        String name = Long.toHexString(crc.getValue()) + "-" + Integer.toHexString(content.length);
        for (Path folder : cacheFolders) {
            Path file = folder.resolve(name).resolve(fileName(platform));
            try {
                extract(folder, content, file);
                linker.load(file.toString());
                return true;
            } catch (IOException | UnsatisfiedLinkError e) {
                tried.add("the jar's copy in " + file + ": " + e);
            }
        }
        if (cacheFolders.isEmpty()) {
            tried.add("the jar's copy: no folder to extract it to (no absolute java.io.tmpdir)");
        }
        return false;
    }

    private static String resourceName(String platform) {
        return RESOURCE_FOLDER + platform + "/" + fileName(platform);
    }

    /**
     * The user's cache folder for this library, then one of the user's own below
     * {@code java.io.tmpdir}, for a home that is missing or read-only.
     */
    static List<Path> cacheFolders(boolean windows) {
        List<Path> folders = new ArrayList<>();
        Path base = absolute(System.getenv(windows ? "LOCALAPPDATA" : "XDG_CACHE_HOME"));
        Path home = absolute(System.getProperty("user.home"));
        if (base != null) {
            folders.add(base.resolve("kelo-rvs"));
        } else if (home != null && Files.isDirectory(home)) {
            // A missing home is not created here.
            folders.add(home.resolve(windows ? "AppData\\Local\\kelo-rvs" : ".cache/kelo-rvs"));
        }
        Path tmp = absolute(System.getProperty("java.io.tmpdir"));
        if (tmp != null) {
            String user = System.getProperty("user.name", "").replaceAll("[^A-Za-z0-9._-]", "_");
            folders.add(tmp.resolve("kelo-rvs-" + user));
        }
        return folders;
    }

    /** The path if it is absolute, else null: a cache must not depend on the working folder. */
    private static Path absolute(String path) {
        try {
            Path p = path == null || path.isEmpty() ? null : Paths.get(path);
            return p != null && p.isAbsolute() ? p : null;
        } catch (InvalidPathException e) {
            return null;
        }
    }

    /** Leaves the content at the file, unless it is there already. */
    private static void extract(Path folder, byte[] content, Path file) throws IOException {
        if (holds(file, content)) {
            checkPrivate(folder);
            return;
        }
        createPrivate(folder);
        checkPrivate(folder);
        createPrivate(file.getParent());
        Path temp = createUnique(file.getParent(), file.getFileName().toString());
        try {
            Files.write(temp, content);
            if (!holds(temp, content)) {
                throw new IOException("the copy written to " + temp + " reads back different");
            }
            // On Windows a DLL that another JVM has loaded cannot be replaced: that JVM put the
            // same content there, which the check below finds.
            Files.move(temp, file, StandardCopyOption.ATOMIC_MOVE);
        } catch (IOException e) {
            if (!holds(file, content)) {
                throw e;
            }
        } finally {
            Files.deleteIfExists(temp);
        }
    }

    private static boolean holds(Path file, byte[] content) throws IOException {
        try {
            return Files.size(file) == content.length
                    && Arrays.equals(Files.readAllBytes(file), content);
        } catch (NoSuchFileException e) {
            return false;
        }
    }

    private static void createPrivate(Path folder) throws IOException {
        if (Files.isDirectory(folder)) {
            return;
        }
        Files.createDirectories(folder.getParent());
        try {
            if (isPosix(folder)) {
                Files.createDirectory(folder, PosixFilePermissions.asFileAttribute(
                        PosixFilePermissions.fromString("rwx------")));
            } else {
                Files.createDirectory(folder);
            }
        } catch (FileAlreadyExistsException e) {
            // Another JVM made it: checkPrivate decides whether it can be used.
        }
    }

    /**
     * Refuses a folder that others could write to, or that belongs to someone else: its owner
     * could swap the file between the check and the load. The folder below java.io.tmpdir is
     * in a place that all users share. The owner is compared with that of a file made here,
     * which names the user even where the user has no name.
     */
    private static void checkPrivate(Path folder) throws IOException {
        if (!isPosix(folder)) {
            return; // Windows: the user's own profile and temporary folders
        }
        PosixFileAttributes attributes = Files.readAttributes(
                folder, PosixFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
        Set<PosixFilePermission> permissions = attributes.permissions();
        if (!attributes.isDirectory() || permissions.contains(PosixFilePermission.GROUP_WRITE)
                || permissions.contains(PosixFilePermission.OTHERS_WRITE)) {
            throw new IOException(folder + " is not a folder closed to other users");
        }
        Path probe = createUnique(folder, "owner");
        try {
            if (!Files.getOwner(probe).equals(attributes.owner())) {
                throw new IOException(folder + " belongs to " + attributes.owner());
            }
        } finally {
            Files.delete(probe);
        }
    }

    /**
     * A new file of a name that no other JVM uses. Files.createTempFile would do, but seeding its
     * secure random numbers costs a cold JVM some 50 ms.
     */
    private static Path createUnique(Path folder, String prefix) throws IOException {
        for (int attempt = 1;; attempt++) {
            String unique = Long.toHexString(ThreadLocalRandom.current().nextLong());
            Path file = folder.resolve(prefix + "." + unique + ".tmp");
            try {
                return Files.createFile(file);
            } catch (FileAlreadyExistsException e) {
                if (attempt == 10) {
                    throw e;
                }
            }
        }
    }

    private static boolean isPosix(Path path) {
        return path.getFileSystem().supportedFileAttributeViews().contains("posix");
    }

    private static byte[] readAll(InputStream in) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream(1 << 20);
        byte[] buffer = new byte[1 << 16];
        for (int n; (n = in.read(buffer)) != -1;) {
            out.write(buffer, 0, n);
        }
        return out.toByteArray();
    }
}
