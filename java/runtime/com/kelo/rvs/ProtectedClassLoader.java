package com.kelo.rvs;

import com.kelo.rvs.format.EmbeddedContainers;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;

/**
 * A class loader over jars and folders, like {@link URLClassLoader}, that defines the classes it
 * finds through the native library: class containers are decoded by the library, carrier class
 * files are unwrapped here first, and ordinary class files are defined as they are. It needs no
 * class-load hook. Delegation is parent first, so protected classes must not also be on the
 * parent's class path.
 */
public class ProtectedClassLoader extends URLClassLoader {
    static {
        registerAsParallelCapable();
    }

    private final Runtime runtime;

    /**
     * Creates a loader with a runtime of its own, loading the library if needed.
     *
     * @throws UnsatisfiedLinkError if the library cannot be loaded
     */
    public ProtectedClassLoader(URL[] urls, ClassLoader parent) {
        this(urls, parent, new Runtime());
    }

    /** Creates a loader that defines its classes through the given runtime. */
    public ProtectedClassLoader(URL[] urls, ClassLoader parent, Runtime runtime) {
        super(urls, parent);
        this.runtime = runtime;
    }

    /** A loader over jar files or folders, with the system class loader as parent. */
    public static ProtectedClassLoader of(File... paths) {
        URL[] urls = new URL[paths.length];
        for (int i = 0; i < paths.length; i++) {
            try {
                urls[i] = paths[i].toURI().toURL();
            } catch (MalformedURLException e) {
                throw new IllegalArgumentException("Not a usable path: " + paths[i], e);
            }
        }
        return new ProtectedClassLoader(urls, ClassLoader.getSystemClassLoader());
    }

    @Override
    protected Class<?> findClass(String name) throws ClassNotFoundException {
        String internalName = name.replace('.', '/');
        URL url = findResource(internalName + ".class");
        if (url == null) {
            throw new ClassNotFoundException(name);
        }
        byte[] data;
        try {
            data = read(url);
        } catch (IOException e) {
            throw new ClassNotFoundException("Cannot read " + url, e);
        }
        if (isClassFile(data)) {
            byte[] embedded = EmbeddedContainers.extract(data, internalName);
            if (embedded.length > 0) {
                data = embedded;
            }
        }
        definePackageOf(name);
        // Listening for this call only: a runtime shared by many loaders outlives each of them,
        // and a listener it kept would keep the loader and all its classes from being unloaded.
        Reason reason = new Reason();
        runtime.addListener(reason);
        Class<?> c;
        try {
            c = runtime.iLoadClass(this, internalName, data);
        } finally {
            runtime.removeListener(reason);
        }
        if (c == null) {
            throw new ClassFormatError("KeloRvs4J32 could not define " + name + " from " + url
                    + (reason.text != null ? ": " + reason.text : ""));
        }
        return c;
    }

    /** The failure that the library reports on the thread of one call, which asked for a class. */
    private static final class Reason implements RuntimeListener {
        private final Thread caller = Thread.currentThread();
        private String text;

        @Override
        public void error(String text) {
            if (Thread.currentThread() == caller) {
                this.text = text;
            }
        }
    }

    private void definePackageOf(String className) {
        int dot = className.lastIndexOf('.');
        if (dot > 0) {
            try {
                definePackage(className.substring(0, dot), null, null, null, null, null, null,
                        null);
            } catch (IllegalArgumentException e) {
                // defined already
            }
        }
    }

    private static boolean isClassFile(byte[] data) {
        return data.length >= 4 && (data[0] & 0xFF) == 0xCA && (data[1] & 0xFF) == 0xFE
                && (data[2] & 0xFF) == 0xBA && (data[3] & 0xFF) == 0xBE;
    }

    private static byte[] read(URL url) throws IOException {
        try (InputStream in = url.openStream()) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0;) {
                out.write(buffer, 0, n);
            }
            return out.toByteArray();
        }
    }
}
