package boot;

import java.io.IOException;
import java.util.zip.*;

/**
 * Starts an application packed as executable fat jars are: its classes under BOOT-INF/classes/
 * and in the jars under BOOT-INF/lib/, read from this very jar and defined by a class loader of
 * its own.
 */
public final class Boot extends ClassLoader {
    public static void main(String[] args) throws Exception {
        Boot boot = new Boot();
        boot.define(new ZipInputStream(
                Boot.class.getProtectionDomain().getCodeSource().getLocation().openStream()));
        boot.loadClass("app.Main").getMethod("main", String[].class).invoke(null, (Object) args);
    }

    // Every class at once, in the order of the entries: no class here extends another one here.
    private void define(ZipInputStream zip) throws IOException {
        for (ZipEntry entry; (entry = zip.getNextEntry()) != null;) {
            String name = entry.getName().replaceFirst("^BOOT-INF/classes/", "");
            // Such loaders read a nested jar in place, which compression would prevent.
            if (name.endsWith(".jar") && entry.getMethod() != ZipEntry.STORED) {
                throw new IOException(name + " is compressed");
            } else if (name.endsWith(".jar")) {
                define(new ZipInputStream(zip));
            } else if (name.endsWith(".class") && !name.startsWith("boot/")) {
                byte[] bytes = zip.readAllBytes();
                defineClass(name.replaceFirst("\\.class$", "").replace('/', '.'), bytes, 0,
                        bytes.length);
            }
        }
    }
}
