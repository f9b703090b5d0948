package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.Base64;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.function.Supplier;
import java.util.stream.Collectors;
import java.util.jar.JarEntry;
import java.util.jar.JarOutputStream;
import java.util.zip.CRC32;
import java.util.zip.Deflater;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The class-load hook in a real JVM: what each mode answers, and classes that an ordinary class
 * loader reads as containers or inside carrier class files. Run in a JVM of its own, with
 * -Xcheck:jni: a hook stays registered for the life of the JVM.
 */
class NativeHookTest {
    private static final String TAG = "KeloClassData";

    private static Runtime runtime;
    private static final List<String> messages = new CopyOnWriteArrayList<>();

    /** The classes that travel packed; a loader without a parent reads them from the jar. */
    public static class Stored implements Supplier<String> {
        @Override
        public String get() {
            return "stored";
        }
    }

    public static class Gzipped implements Supplier<String> {
        @Override
        public String get() {
            return "gzipped " + new Stored().get().length();
        }
    }

    public static class Carried implements Supplier<String> {
        @Override
        public String get() {
            return "carried";
        }
    }

    public static class Plain implements Supplier<String> {
        @Override
        public String get() {
            return "plain";
        }
    }

    @BeforeAll
    static void loadLibrary() {
        runtime = new Runtime();
        runtime.addListener(new RuntimeListener() {
            @Override
            public void started() {
                messages.add("started");
            }

            @Override
            public void error(String text) {
                messages.add(text);
            }
        });
    }

    @Test
    void modes() {
        messages.clear();
        for (String mode : new String[] {null, "", "TT", "\ud83d\ude00"}) {
            assertEquals(1, runtime.iSetNativeHook(mode), String.valueOf(mode));
        }
        assertEquals(2, runtime.iSetNativeHook("X"));
        assertEquals(2, runtime.iSetNativeHook("\u00f4"));
        assertEquals(List.of(), messages);

        // No JDK since 6 offers the profiler interface.
        assertEquals(3, runtime.iSetNativeHook("P"));
        assertEquals(List.of("Interface not available"), messages);
        messages.clear();
        assertEquals(0, runtime.iSetNativeHook("t"));
    }

    @Test
    void classesArriveThroughTheHook(@TempDir Path folder) throws Exception {
        assertEquals(0, runtime.iSetNativeHook("T"));
        messages.clear();
        byte[] carried = classFile(Carried.class);
        byte[] container = container(carried, true, 1);
        int half = container.length / 2;
        String name = internalName(Carried.class);
        byte[] carrier = carrier(name,
                chunk("com/kelo/Other", 0, "bm90IHRoaXM="),
                chunk(name, 0, Base64.getEncoder().encodeToString(
                        Arrays.copyOfRange(container, 0, half))),
                chunk(name, 1, Base64.getEncoder().encodeToString(
                        Arrays.copyOfRange(container, half, container.length))));

        Path jar = folder.resolve("packed.jar");
        try (JarOutputStream out = new JarOutputStream(Files.newOutputStream(jar))) {
            add(out, Stored.class, container(classFile(Stored.class), false, 1));
            // Kind 0: the first one measured against the running Java version.
            add(out, Gzipped.class, container(classFile(Gzipped.class), true, 0));
            add(out, Carried.class, carrier);
            add(out, Plain.class, classFile(Plain.class));
        }
        try (URLClassLoader loader = new URLClassLoader(new URL[] {jar.toUri().toURL()}, null)) {
            assertEquals("stored", run(loader, Stored.class));
            assertEquals("gzipped 6", run(loader, Gzipped.class));
            assertEquals("carried", run(loader, Carried.class));
            assertEquals("plain", run(loader, Plain.class));
        }
        assertEquals(List.of(), errors());
    }

    @Test
    void undecodableContainersReachTheJvmAsTheyCame(@TempDir Path folder) throws Exception {
        assertEquals(0, runtime.iSetNativeHook("T"));
        byte[] broken = container(classFile(Stored.class), true, 1);
        broken[75 + 12] ^= 0x55; // inside the deflate stream
        Path jar = folder.resolve("broken.jar");
        try (JarOutputStream out = new JarOutputStream(Files.newOutputStream(jar))) {
            add(out, Stored.class, broken);
        }
        messages.clear();
        try (URLClassLoader loader = new URLClassLoader(new URL[] {jar.toUri().toURL()}, null)) {
            assertThrows(ClassFormatError.class,
                    () -> Class.forName(Stored.class.getName(), true, loader));
        }
        // Once from every hook installed so far, each handing the container on as it came.
        assertEquals(List.of("Decompression failed!"),
                errors().stream().distinct().collect(Collectors.toList()));
    }

    /** The messages but the start message, which goes out once per process. */
    private static List<String> errors() {
        return messages.stream().filter(m -> !m.equals("started")).collect(Collectors.toList());
    }

    private static String run(ClassLoader loader, Class<?> original) throws Exception {
        Class<?> loaded = Class.forName(original.getName(), true, loader);
        assertEquals(loader, loaded.getClassLoader());
        return (String) ((Supplier<?>) loaded.getDeclaredConstructor().newInstance()).get();
    }

    private static void add(JarOutputStream out, Class<?> type, byte[] bytes) throws IOException {
        out.putNextEntry(new JarEntry(internalName(type) + ".class"));
        out.write(bytes);
        out.closeEntry();
    }

    private static String internalName(Class<?> type) {
        return type.getName().replace('.', '/');
    }

    private static byte[] classFile(Class<?> type) throws IOException {
        try (InputStream in = type.getResourceAsStream("/" + internalName(type) + ".class")) {
            return in.readAllBytes();
        }
    }

    /**
     * A container of the current format: a 75-byte header, then the class file without its magic,
     * stored or as a gzip member, then a few carried bytes. The minimum Java version is 1.8.0; the
     * CRC is checked.
     */
    private static byte[] container(byte[] classFile, boolean gzip, int classKind)
            throws IOException {
        byte[] body = Arrays.copyOfRange(classFile, 4, classFile.length);
        byte[] payload = gzip ? gzip(body) : body;
        ByteBuffer header = ByteBuffer.allocate(75).order(ByteOrder.LITTLE_ENDIAN);
        header.put("KELOCLSF".getBytes(StandardCharsets.US_ASCII));
        header.put(9, (byte) classKind);
        header.putShort(10, (short) 3);
        header.putShort(12, (short) 75);
        header.put(14, (byte) 1).put(15, (byte) 8);
        header.put(41, (byte) (gzip ? 1 : 0));
        header.putInt(47, classFile.length);
        header.putInt(51, gzip ? payload.length : 0);
        header.put(59, (byte) 0x10);
        header.putInt(63, (int) crc(body));
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.write(header.array());
        out.write(payload);
        out.write(new byte[] {1, 2, 3});
        return out.toByteArray();
    }

    /** One gzip member with the plain header: no name, no time, system 0. */
    private static byte[] gzip(byte[] data) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.write(new byte[] {0x1F, (byte) 0x8B, 8, 0, 0, 0, 0, 0, 0, 0});
        Deflater deflater = new Deflater(Deflater.BEST_COMPRESSION, true);
        deflater.setInput(data);
        deflater.finish();
        byte[] buffer = new byte[4096];
        while (!deflater.finished()) {
            out.write(buffer, 0, deflater.deflate(buffer));
        }
        deflater.end();
        writeIntLe(out, (int) crc(data));
        writeIntLe(out, data.length);
        return out.toByteArray();
    }

    private static long crc(byte[] data) {
        CRC32 crc = new CRC32();
        crc.update(data);
        return crc.getValue();
    }

    private static void writeIntLe(OutputStream out, int value) throws IOException {
        for (int shift = 0; shift < 32; shift += 8) {
            out.write(value >>> shift);
        }
    }

    private static String chunk(String className, int index, String base64) {
        String tag = TAG + "#" + className + "#" + String.format("%05d", index) + ">";
        return "<" + tag + base64 + "</" + tag;
    }

    /** An empty public class of that name whose constant pool holds the texts as strings. */
    private static byte[] carrier(String name, String... texts) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        DataOutputStream out = new DataOutputStream(bytes);
        out.writeInt(0xCAFEBABE);
        out.writeShort(0);
        out.writeShort(52);
        out.writeShort(5 + texts.length);
        out.writeByte(1);
        out.writeUTF(name); // #1
        out.writeByte(7);
        out.writeShort(1); // #2
        out.writeByte(1);
        out.writeUTF("java/lang/Object"); // #3
        out.writeByte(7);
        out.writeShort(3); // #4
        for (String text : texts) {
            out.writeByte(1);
            out.writeUTF(text);
        }
        out.writeShort(0x21); // public super
        out.writeShort(2);
        out.writeShort(4);
        out.writeShort(0); // interfaces
        out.writeShort(0); // fields
        out.writeShort(0); // methods
        out.writeShort(0); // attributes
        return bytes.toByteArray();
    }
}
