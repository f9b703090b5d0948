package com.kelo.pack;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kelo.pack.skeleton.Declared;
import com.kelo.rvs.EmbeddedContainers;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.spi.ToolProvider;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;
import org.objectweb.asm.ClassReader;
import org.objectweb.asm.util.Textifier;
import org.objectweb.asm.util.TraceClassVisitor;

/** Skeletons as readers see them: ASM, javap, and a JVM without the library. */
class SkeletonTest {
    // Texts that only the fixture's code and constant values hold.
    private static final List<String> CODE_ONLY = Arrays.asList("the code's own secret text",
            "anonymous code text", "wrapped by the code", "a constant value", "inner of ",
            "SourceFile", "LineNumberTable", "LocalVariableTable", "ConstantValue");

    static Stream<String> fixtures() {
        return Stream.of("", "$Marker", "$Tag", "$Used", "$Kind", "$Shape", "$Node", "$Leaf",
                "$Nested", "$Inner", "$1").map(s -> Declared.class.getName() + s);
    }

    private static byte[] original(String name) {
        try {
            return TestClasses.bytesOf(Class.forName(name));
        } catch (ClassNotFoundException e) {
            throw new AssertionError(e);
        }
    }

    static byte[] skeleton(String name) throws PackException {
        String internal = name.replace('.', '/');
        byte[] container = Containers.wrap(original(name), new WrapOptions());
        return Skeleton.build(original(name), Carrier.pieces(internal, container, 0),
                Carrier.protectedMessage(internal));
    }

    /** What ASM reports of a class file, code and debug information aside. */
    private static String declarations(byte[] classFile) {
        StringWriter text = new StringWriter();
        new ClassReader(classFile).accept(
                new TraceClassVisitor(null, new Textifier(), new PrintWriter(text)),
                ClassReader.SKIP_CODE | ClassReader.SKIP_DEBUG);
        return text.toString();
    }

    @ParameterizedTest
    @MethodSource("fixtures")
    void asmSeesTheDeclarationsAndNoneOfTheCode(String name) throws Exception {
        byte[] skeleton = skeleton(name);
        // Constant values stay behind, and every skeleton has a static initializer.
        String clinit = "\n\n  // access flags 0x8\n  static <clinit>()V\n";
        String expected = declarations(original(name)).replace(clinit, "\n")
                .replaceAll("(?m)^(  [^/ ].* \\w+) = .*$", "$1");
        assertEquals(expected, declarations(skeleton).replace(clinit, "\n"));
        String bytes = new String(skeleton, StandardCharsets.ISO_8859_1);
        for (String text : CODE_ONLY) {
            assertFalse(bytes.contains(text), text);
        }
        String internal = name.replace('.', '/');
        assertEquals(Containers.wrap(original(name), new WrapOptions()).length,
                EmbeddedContainers.extract(skeleton, internal).length);
    }

    @Test
    void javapReadsTheSkeletonAndEveryBodyThrows(@TempDir Path dir) throws Exception {
        Path file = dir.resolve("Declared.class");
        Files.write(file, skeleton(Declared.class.getName()));
        StringWriter out = new StringWriter();
        int status = ToolProvider.findFirst("javap").get().run(new PrintWriter(out),
                new PrintWriter(out), "-v", "-p", file.toString());
        String text = out.toString();
        assertEquals(0, status, text);
        assertTrue(text.contains("RuntimeVisibleAnnotations:"), text);
        assertTrue(text.contains("value=\"class\""), text);
        assertTrue(text.contains("Signature: #"), text);
        assertTrue(text.contains("NestMembers:"), text);
        // Every body: new, dup, ldc, invokespecial, athrow; nothing else was written.
        long bodies = text.lines().filter(l -> l.trim().equals("Code:")).count();
        assertEquals(bodies, text.lines().filter(l -> l.trim().endsWith(": athrow")).count());
        assertEquals(5 * bodies, text.lines().filter(l -> l.matches("\\s+\\d+: \\w+.*")).count());
    }

    @Test
    void withoutTheLibraryTheSkeletonFailsWithTheProtectedMessage() throws Exception {
        Map<String, byte[]> skeletons = new HashMap<>();
        for (String name : (Iterable<String>) fixtures()::iterator) {
            skeletons.put(name, skeleton(name));
        }
        ClassLoader loader = new ClassLoader(SkeletonTest.class.getClassLoader()) {
            @Override
            protected Class<?> loadClass(String n, boolean resolve) throws ClassNotFoundException {
                synchronized (getClassLoadingLock(n)) {
                    byte[] b = skeletons.get(n);
                    if (b == null) {
                        return super.loadClass(n, resolve);
                    }
                    Class<?> c = findLoadedClass(n);
                    return c != null ? c : defineClass(n, b, 0, b.length);
                }
            }
        };
        String name = Declared.class.getName();
        Class<?> c = Class.forName(name, false, loader); // verified, as any loader's classes are
        assertEquals(members(Declared.class), members(c));
        Error e = assertThrows(Error.class, () -> Class.forName(name, true, loader));
        assertEquals(Carrier.protectedMessage(name), e.getMessage());
    }

    private static String members(Class<?> c) {
        return c.toGenericString() + Stream.of(c.getDeclaredFields(), c.getDeclaredMethods(),
                c.getDeclaredConstructors()).flatMap(Arrays::stream)
                .map(m -> m instanceof java.lang.reflect.Method
                        ? ((java.lang.reflect.Method) m).toGenericString() : m.toString())
                .sorted().collect(java.util.stream.Collectors.joining("\n", "\n", ""));
    }
}
