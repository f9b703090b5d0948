package com.kelo.pack;

import static com.kelo.pack.TestClasses.bytesOf;
import static org.junit.jupiter.api.Assertions.*;

import com.kelo.pack.skeleton.Declared;
import com.kelo.rvs.format.EmbeddedContainers;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.*;
import java.util.*;
import java.util.regex.*;
import java.util.spi.ToolProvider;
import java.util.stream.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.objectweb.asm.ClassReader;
import org.objectweb.asm.util.*;

/** Skeletons as readers see them: ASM, javap, and a JVM without the library. */
class SkeletonTest {
    // Texts that only the fixture's code, constant values and debug information hold.
    private static final List<String> CODE_ONLY = List.of("the code's own secret text",
            "wrapped by the code", "a constant value", "inner of ",
            "SourceFile", "LineNumberTable", "LocalVariableTable", "ConstantValue");

    static Stream<String> fixtures() {
        return Stream.of("", "$Marker", "$Tag", "$Used", "$Kind", "$Node", "$Leaf", "$Inner", "$1")
                .map(s -> Declared.class.getName() + s);
    }

    static byte[] skeleton(String name) throws Exception {
        String internal = name.replace('.', '/');
        byte[] container = Containers.wrap(bytesOf(name), new WrapOptions());
        return Skeleton.build(bytesOf(name), Carrier.pieces(internal, container, 0),
                Carrier.protectedMessage(internal), TestClasses::bytesOf);
    }

    /** What ASM reports of a class file; with `flags` of SKIP_CODE, its declarations. */
    private static String text(byte[] classFile, int flags) {
        StringWriter text = new StringWriter();
        new ClassReader(classFile).accept(
                new TraceClassVisitor(null, new Textifier(), new PrintWriter(text)), flags);
        return text.toString();
    }

    @ParameterizedTest
    @MethodSource("fixtures")
    void asmSeesTheDeclarationsAndNoneOfTheCode(String name, @TempDir Path dir) throws Exception {
        byte[] skeleton = skeleton(name);
        // Constant values and the source file stay behind; every skeleton has a static initializer.
        String clinit = "\n\n  // access flags 0x8\n  static <clinit>()V\n";
        String expected = text(bytesOf(name), ClassReader.SKIP_CODE).replace(clinit, "\n")
                .replaceAll("(?m)^(  [^/ ].* \\w+) = .*$", "$1")
                .replaceAll("(?m)^  // compiled from: .*\n", "");
        assertEquals(expected, text(skeleton, ClassReader.SKIP_CODE).replace(clinit, "\n"));
        String bytes = new String(skeleton, StandardCharsets.ISO_8859_1);
        assertEquals(List.of(), CODE_ONLY.stream().filter(bytes::contains).toList());
        // Every body is `throw new Error(message)`, and nothing else was written.
        assertEquals(Set.of("NEW", "DUP", "LDC", "INVOKESPECIAL", "ATHROW", "MAXSTACK",
                "MAXLOCALS"), text(skeleton, 0).lines().filter(l -> l.matches("    [A-Z]+\\b.*"))
                        .map(l -> l.trim().split(" ")[0]).collect(Collectors.toSet()));
        assertArrayEquals(bytesOf(name), Containers.unwrap(
                EmbeddedContainers.extract(skeleton, name.replace('.', '/'))));
        // javap reads every attribute and constant the skeleton refers to without error.
        StringWriter out = new StringWriter();
        int status = ToolProvider.findFirst("javap").get().run(new PrintWriter(out),
                new PrintWriter(out), "-v", "-p", Files.write(dir.resolve("S.class"), skeleton)
                        .toString());
        assertEquals(0, status, out.toString());
    }

    static Stream<Arguments> constants() {
        return Stream.of(Arguments.of("Constants", Set.of("PUBLIC", "PROTECTED", "instance"),
                        "not PACKAGE, PRIVATE; `instance`: a constant in subclasses"),
                Arguments.of("Constants$Api", Set.of("FIELD"), "an interface's fields are public"),
                Arguments.of("Constants$Nested", Set.of("PUBLIC"), "protected, seen by subclasses"),
                Arguments.of("Constants$Closed", Set.of(), "protected, in a final class"),
                Arguments.of("Constants$Hidden", Set.of(), "in a private class"),
                Arguments.of("Internal", Set.of(), "in a package-private class"),
                Arguments.of("Internal$Nested", Set.of(), "public, hidden by its top-level class"));
    }

    @ParameterizedTest(name = "{0}: {2}")
    @MethodSource("constants")
    void keepsTheConstantsThatOtherPackagesSee(String owner, Set<String> kept, String why)
            throws Exception {
        String name = "com.kelo.pack.skeleton." + owner;
        Set<String> all = constantFields(bytesOf(name));
        assertTrue(!all.isEmpty() && all.containsAll(kept), all::toString);
        assertEquals(kept, constantFields(skeleton(name)));
    }

    private static Set<String> constantFields(byte[] classFile) {
        Pattern field = Pattern.compile("  [a-z ]+ I (\\w+) = \\d+");
        return text(classFile, ClassReader.SKIP_CODE).lines().map(field::matcher)
                .filter(Matcher::matches).map(m -> m.group(1)).collect(Collectors.toSet());
    }

    @Test
    void withoutTheLibraryTheSkeletonFailsWithTheProtectedMessage() throws Exception {
        String name = Declared.class.getName();
        byte[] skeleton = skeleton(name);
        ClassLoader loader = new ClassLoader(SkeletonTest.class.getClassLoader()) {
            @Override
            protected Class<?> loadClass(String n, boolean resolve) throws ClassNotFoundException {
                return n.equals(name) ? defineClass(n, skeleton, 0, skeleton.length)
                        : super.loadClass(n, resolve);
            }
        };
        // Verified as any loader's class is, then its static initializer throws.
        Error e = assertThrows(Error.class, () -> Class.forName(name, true, loader));
        assertEquals(Carrier.protectedMessage(name), e.getMessage());
    }
}
