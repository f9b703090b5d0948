package boot;

import java.io.IOException;
import java.util.HashMap;
import java.util.Map;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

/**
 * Starts an application packed as executable fat jars are: its classes under BOOT-INF/classes/
 * and in the jars under BOOT-INF/lib/, read from this very jar by a class loader of its own.
 */
public final class Boot extends ClassLoader {
    private final Map<String, byte[]> entries = new HashMap<>();

    public static void main(String[] args) throws Exception {
        Boot boot = new Boot();
        boot.read(new ZipInputStream(
                Boot.class.getProtectionDomain().getCodeSource().getLocation().openStream()));
        boot.loadClass("app.Main").getMethod("main", String[].class).invoke(null, (Object) args);
    }

    private void read(ZipInputStream zip) throws IOException {
        for (ZipEntry entry; (entry = zip.getNextEntry()) != null;) {
            String name = entry.getName().replaceFirst("^BOOT-INF/classes/", "");
            if (name.endsWith(".jar")) {
                // Such loaders read a nested jar in place, which compression would prevent.
                if (entry.getMethod() != ZipEntry.STORED) {
                    throw new IOException(name + " is compressed");
                }
                read(new ZipInputStream(zip));
            } else {
                entries.put(name, zip.readAllBytes());
            }
        }
    }

    @Override
    protected Class<?> findClass(String name) throws ClassNotFoundException {
        byte[] bytes = entries.get(name.replace('.', '/') + ".class");
        if (bytes == null) {
            throw new ClassNotFoundException(name);
        }
        return defineClass(name, bytes, 0, bytes.length);
    }
}
