package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.function.Supplier;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * iLoadClass in a real JVM under -Xcheck:jni: plain class bytes, every container form, the
 * failures that the library reports and those it does not, hostile containers, and, in JVMs of
 * their own, the Java version gate and the monitor of runtimes below build 99.
 */
class LoadClassTest {
    private static final String NAME = "com/kelo/rvs/LoadSample";
    private static final String PROCESSING = "PROGRESS Processing " + NAME;

    private static final List<String> lines = Collections.synchronizedList(new ArrayList<>());
    private static final List<Boolean> monitorHeld =
            Collections.synchronizedList(new ArrayList<>());
    private static final List<String> errors = Collections.synchronizedList(new ArrayList<>());

    private static Runtime runtime;
    private static byte[] sample;

    /** Records the library's lines, and whether the runtime class's monitor was held for each. */
    private static final class Recorder implements LogTarget {
        @Override
        public boolean isLoggable(Severity severity) {
            return true;
        }

        @Override
        public void log(Severity severity, String text, Throwable thrown) {
            lines.add(severity + " " + text);
            monitorHeld.add(Thread.holdsLock(Runtime.class));
        }
    }

    @BeforeAll
    static void loadLibrary() {
        new Runtime();
        runtime = new Runtime(new Recorder());
        runtime.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                errors.add(text);
            }
        });
        sample = Containers.classBytes(LoadSample.class);
    }

    @BeforeEach
    void forgetWhatWasReported() {
        lines.clear();
        monitorHeld.clear();
        errors.clear();
    }

    private static ClassLoader freshLoader() {
        return new ClassLoader(null) {};
    }

    private static Class<?> load(byte[] data) {
        return runtime.iLoadClass(freshLoader(), NAME, data);
    }

    private static void assertIsSample(Class<?> loaded) throws ReflectiveOperationException {
        assertNotNull(loaded);
        assertEquals("com.kelo.rvs.LoadSample", loaded.getName());
        assertNotSame(LoadSample.class, loaded);
        Supplier<?> instance = (Supplier<?>) loaded.getDeclaredConstructor().newInstance();
        assertEquals("loaded com.kelo.rvs.LoadSample", instance.get());
    }

    @Test
    void plainClassBytesAreDefinedUnchanged() throws ReflectiveOperationException {
        ClassLoader loader = freshLoader();
        Class<?> loaded = runtime.iLoadClass(loader, NAME, sample.clone());
        assertIsSample(loaded);
        assertSame(loader, loaded.getClassLoader());
        assertEquals(List.of(), lines, "plain bytes are not processed");
    }

    @Test
    void everyContainerForm() throws ReflectiveOperationException {
        int forms = 0;
        for (boolean compressed : new boolean[] {false, true}) {
            for (boolean crc : new boolean[] {false, true}) {
                for (int kind : new int[] {0, 1, 200}) {
                    for (int headerLength : new int[] {75, 120}) {
                        Containers.Shape shape = new Containers.Shape().compressed(compressed)
                                .crc(crc).classKind(kind).minJava(1, 8, 0)
                                .headerLength(headerLength).carried(new byte[] {1, 2, 3});
                        assertIsSample(load(Containers.build(sample, shape)));
                        forms++;
                    }
                }
            }
        }
        assertEquals(Collections.nCopies(forms, PROCESSING), lines);
        assertEquals(List.of(), errors);
    }

    @Test
    void fromBuild99NoMonitorIsHeld() throws ReflectiveOperationException {
        assertIsSample(load(Containers.build(sample, new Containers.Shape())));
        assertEquals(List.of(false), monitorHeld);
    }

    @Test
    void classSize31IsRefusedSilently() {
        byte[] container = Containers.build(sample, new Containers.Shape());
        Containers.putInt(container, Containers.AT_CLASS_SIZE, 31);
        assertNull(load(container));
        assertEquals(List.of(PROCESSING), lines);
        assertEquals(List.of(), errors);
    }

    @Test
    void aCrcMismatchAnswersNullWithoutAMessage() {
        for (boolean compressed : new boolean[] {false, true}) {
            byte[] container = Containers.build(sample,
                    new Containers.Shape().compressed(compressed).crc(true));
            container[Containers.AT_CLASS_CRC] ^= 1;
            assertNull(load(container));
        }
        assertEquals(List.of(PROCESSING, PROCESSING), lines);
        assertEquals(List.of(), errors);
    }

    @Test
    void aGzipMemberWithAFileNameFailsToDecompress() {
        byte[] header = Containers.plainGzipHeader();
        header[3] = 0x08;
        byte[] container = Containers.build(sample,
                new Containers.Shape().compressed(true).gzipHeader(header));
        assertNull(load(container));
        assertEquals(List.of(PROCESSING, "ERROR Decompression failed"), lines);
        assertEquals(List.of("Decompression failed!"), errors);
    }

    @Test
    void formatVersions0And4AreReportedAndLeftToTheJvm() {
        byte[] old = Containers.build(sample, new Containers.Shape().formatVersion(0));
        assertThrows(ClassFormatError.class, () -> load(old));
        String tooOld = "File format too old: Found 0.75 - current is 3.75.";
        assertEquals(List.of("ERROR " + tooOld), lines);
        assertEquals(List.of(tooOld), errors);

        forgetWhatWasReported();
        byte[] newer = Containers.build(sample,
                new Containers.Shape().formatVersion(4).headerLength(80));
        assertThrows(ClassFormatError.class, () -> load(newer));
        String incompatible = "File format incompatible: Found 4.80 - current is 3.75.";
        assertEquals(List.of("ERROR " + incompatible), lines);
        assertEquals(List.of(incompatible), errors);
    }

    @Test
    void bytesTheJvmRefusesLeaveItsError() {
        byte[] broken = Arrays.copyOf(sample, sample.length - 1);
        assertThrows(ClassFormatError.class, () -> load(broken));
        byte[] container = Containers.build(broken, new Containers.Shape().compressed(true));
        assertThrows(ClassFormatError.class, () -> load(container));
        // The name must be the class's own, in the internal form with slashes.
        assertThrows(NoClassDefFoundError.class,
                () -> runtime.iLoadClass(freshLoader(), "com.kelo.rvs.LoadSample", sample));
        assertNull(runtime.iLoadClass(freshLoader(), null, sample));
        assertNull(runtime.iLoadClass(freshLoader(), NAME, null));
    }

    /**
     * Every truncation and every single-byte change of real containers, and sizes that no payload
     * can satisfy: the JVM survives, and each call answers the class, null, or the JVM's own
     * ClassFormatError. Class kind 1 keeps the version gate, which would end the JVM, out of it.
     */
    @Test
    void hostileContainers() throws ReflectiveOperationException {
        List<byte[]> corpus = new ArrayList<>();
        for (Containers.Shape shape : new Containers.Shape[] {
                 new Containers.Shape().crc(true),
                 new Containers.Shape().compressed(true),
                 new Containers.Shape().compressed(true).crc(true).headerLength(90)}) {
            byte[] container = Containers.build(sample, shape);
            for (int length = 0; length < container.length; length++) {
                corpus.add(Arrays.copyOf(container, length));
            }
            for (int at = 0; at < container.length; at++) {
                for (int change : new int[] {0x00, 0xFF, container[at] ^ 0x01, container[at] ^ 0x80}) {
                    byte[] changed = container.clone();
                    changed[at] = (byte) change;
                    corpus.add(changed);
                }
            }
            for (int[] field : new int[][] {
                     {Containers.AT_CLASS_SIZE, -1}, {Containers.AT_CLASS_SIZE, Integer.MAX_VALUE},
                     {Containers.AT_CLASS_SIZE, 0x40000000}, {Containers.AT_CLASS_SIZE, 0},
                     {Containers.AT_PACKED_LENGTH, -1}, {Containers.AT_PACKED_LENGTH, 0},
                     {Containers.AT_PACKED_LENGTH, container.length}}) {
                byte[] changed = container.clone();
                Containers.putInt(changed, field[0], field[1]);
                corpus.add(changed);
            }
            for (int headerLength : new int[] {0, 12, 13, 74, container.length, 0xFFFF}) {
                byte[] changed = container.clone();
                Containers.putShort(changed, Containers.AT_HEADER_LENGTH, headerLength);
                corpus.add(changed);
            }
        }
        // A gzip trailer that claims 4 GiB, and one whose length is forged to the header's.
        byte[] forged = Containers.build(sample, new Containers.Shape().compressed(true));
        Containers.putInt(forged, forged.length - 4, -1);
        corpus.add(forged);
        byte[] longer = Containers.build(sample, new Containers.Shape().compressed(true));
        Containers.putInt(longer, Containers.AT_CLASS_SIZE, sample.length + 100);
        Containers.putInt(longer, longer.length - 4, sample.length + 96);
        corpus.add(longer);

        int defined = 0;
        int refused = 0;
        int rejected = 0;
        for (byte[] data : corpus) {
            try {
                Class<?> loaded = load(data);
                if (loaded != null) {
                    assertIsSample(loaded);
                    defined++;
                } else {
                    refused++;
                }
            } catch (ClassFormatError e) {
                rejected++;
            }
        }
        assertEquals(corpus.size(), defined + refused + rejected);
        assertTrue(defined > 0 && refused > 0 && rejected > 0,
                defined + " defined, " + refused + " refused, " + rejected + " rejected");
    }

    // JVMs of their own: what a JVM can show only once, or with another runtime class.

    @Test
    void aFailedVersionGateEndsTheJvmWithStatus1() throws Exception {
        Child child = Child.run(System.getProperty("kelo.rvs.test.classpath"), "GateChild");
        assertEquals(1, child.status, child.output);
        assertTrue(child.output.contains("error: Java Version too old, 1.7.0 required.\n"),
                child.output);
        assertFalse(child.output.contains("returned"), child.output);
    }

    @Test
    void belowBuild99TheRuntimeClassMonitorIsHeldForTheWholeCall() throws Exception {
        Child child = Child.run(System.getProperty("kelo.rvs.test.standin"), "MonitorChild",
                "-Dkelo.rvs.test.build=98");
        assertEquals(0, child.status, child.output);
        assertEquals("build 98 lock=false\n"
                        + "log 800 Processing " + NAME + " lock=true\n"
                        + "start lock=true\n"
                        + "defined com.kelo.rvs.LoadSample lock=false\n"
                        + "log 800 Processing " + NAME + " lock=true\n"
                        + "log 1000 Decompression failed lock=true\n"
                        + "error Decompression failed! lock=true\n"
                        + "refused lock=false\n",
                child.stdout);
    }

    @Test
    void fromBuild99TheMonitorIsNotTaken() throws Exception {
        Child child = Child.run(System.getProperty("kelo.rvs.test.standin"), "MonitorChild",
                "-Dkelo.rvs.test.build=99");
        assertEquals(0, child.status, child.output);
        assertFalse(child.stdout.contains("lock=true"), child.stdout);
        assertTrue(child.stdout.contains("defined com.kelo.rvs.LoadSample"), child.stdout);
    }

    /** A child JVM with the library, under -Xcheck:jni; any JNI warning fails the test. */
    private static final class Child {
        final int status;
        final String stdout;
        final String output;

        private Child(int status, String stdout, String stderr) {
            this.status = status;
            this.stdout = stdout;
            this.output = "exit " + status + "\n--- stdout\n" + stdout + "--- stderr\n" + stderr;
        }

        static Child run(String classPath, String mainClass, String... options)
                throws IOException, InterruptedException {
            assertNotNull(classPath, "the class path of the child JVMs is not set");
            List<String> command = new ArrayList<>();
            command.add(System.getProperty("java.home") + File.separator + "bin" + File.separator
                    + "java");
            command.add("-Xcheck:jni");
            command.add("-Dkelo.rvs.library=" + System.getProperty(Runtime.LIBRARY_PROPERTY));
            command.addAll(Arrays.asList(options));
            command.add("-cp");
            command.add(classPath);
            command.add("com.kelo.rvs." + mainClass);
            Process process = new ProcessBuilder(command).start();
            process.getOutputStream().close();
            ByteArrayOutputStream stderr = new ByteArrayOutputStream();
            Thread drain = new Thread(() -> copy(process.getErrorStream(), stderr));
            drain.start();
            String stdout = new String(process.getInputStream().readAllBytes(),
                    StandardCharsets.UTF_8);
            assertTrue(process.waitFor(60, TimeUnit.SECONDS), "the child JVM did not end");
            drain.join();
            Child child = new Child(process.exitValue(), stdout,
                    new String(stderr.toByteArray(), StandardCharsets.UTF_8));
            assertFalse(child.output.contains("WARNING"), child.output);
            return child;
        }

        private static void copy(InputStream in, ByteArrayOutputStream out) {
            try {
                in.transferTo(out);
            } catch (IOException e) {
                throw new java.io.UncheckedIOException(e);
            }
        }
    }
}
