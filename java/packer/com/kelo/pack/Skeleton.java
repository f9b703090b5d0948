package com.kelo.pack;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import org.objectweb.asm.AnnotationVisitor;
import org.objectweb.asm.Attribute;
import org.objectweb.asm.ClassReader;
import org.objectweb.asm.ClassVisitor;
import org.objectweb.asm.ClassWriter;
import org.objectweb.asm.FieldVisitor;
import org.objectweb.asm.MethodVisitor;
import org.objectweb.asm.Opcodes;
import org.objectweb.asm.RecordComponentVisitor;
import org.objectweb.asm.TypePath;

/**
 * Writes skeleton carriers: class files that declare what the protected class declares (name,
 * flags, supertypes, generic signatures, fields, methods, annotations, nesting, record components,
 * permitted subclasses) and hold its container as tagged Base64 pieces in constant-pool strings.
 * Frameworks that read class files as resources (component scanning, entity discovery, test
 * discovery) see the class as it was; nothing of the implementation travels along: every method
 * body and the static initializer throw the protected-class error, and source file names, line
 * and local-variable tables and the original constant pool are left out. Constant values stay
 * where a client in another package can name the field: javac inlines them into every class
 * compiled against it (and needs them for {@code case} labels and annotation values). All others
 * are left out.
 */
final class Skeleton {
    private static final int API = Opcodes.ASM9;
    private static final String ERROR = "java/lang/Error";

    private Skeleton() {}

    /** The class files of the other classes beside a class, as its nesting needs them. */
    interface ClassFiles {
        /** @return the class file of the class of that internal name; null if there is none */
        byte[] find(String internalName) throws PackException;
    }

    /** A failure of the lookup, carried through ASM's visitor. */
    private static final class LookupFailed extends RuntimeException {
        private static final long serialVersionUID = 1L;

        LookupFailed(PackException cause) {
            super(cause);
        }
    }

    /**
     * Builds the skeleton of a class file.
     *
     * @param pieces the tagged pieces of its container, in order
     * @param others where a nested class's top-level class is read, for whether it is public
     * @throws PackException if {@code others} fails
     * @throws IllegalArgumentException if ASM cannot read the class file (for instance a class
     *     file version newer than it knows)
     * @throws IndexOutOfBoundsException if the class file is damaged
     * @throws org.objectweb.asm.ClassTooLargeException if the pieces leave no room in the
     *     constant pool
     */
    static byte[] build(byte[] classFile, List<String> pieces, String message, ClassFiles others)
            throws PackException {
        ClassReader reader = new ClassReader(classFile);
        // A writer of its own, not one over the reader, which would copy the original constant
        // pool with the strings of the code. No frames are needed: the bodies never branch.
        ClassWriter writer = new ClassWriter(ClassWriter.COMPUTE_MAXS);
        try {
            reader.accept(new Declarations(writer, pieces, message, others), ClassReader.SKIP_CODE);
        } catch (LookupFailed e) {
            throw (PackException) e.getCause();
        }
        return writer.toByteArray();
    }

    /** Passes declarations on to the writer and replaces every body. */
    private static final class Declarations extends ClassVisitor {
        private final ClassWriter writer;
        private final List<String> pieces;
        private final String message;
        private final ClassFiles others;
        private boolean hasStaticInitializer;
        private String name;
        private int access;
        // From InnerClasses: each nested class's flags and the class it is a member of (null for
        // a local or anonymous class).
        private final Map<String, Integer> innerAccess = new HashMap<>();
        private final Map<String, String> outer = new HashMap<>();
        private List<Integer> nesting; // the flags of the class, then of each enclosing one

        Declarations(ClassWriter writer, List<String> pieces, String message, ClassFiles others) {
            super(API, writer);
            this.writer = writer;
            this.pieces = pieces;
            this.message = message;
            this.others = others;
        }

        @Override
        public void visit(int version, int access, String name, String signature,
                String superName, String[] interfaces) {
            this.name = name;
            this.access = access;
            super.visit(version, access, name, signature, superName, interfaces);
        }

        @Override
        public void visitInnerClass(String name, String outerName, String innerName, int access) {
            innerAccess.put(name, access);
            outer.put(name, outerName);
            super.visitInnerClass(name, outerName, innerName, access);
        }

        @Override
        public void visitSource(String source, String debug) {}

        @Override
        public void visitAttribute(Attribute attribute) {
            // Attributes ASM does not know refer to the original constant pool; left out.
        }

        @Override
        public FieldVisitor visitField(int access, String name, String descriptor,
                String signature, Object value) {
            boolean kept = value != null && (access & Opcodes.ACC_FINAL) != 0 && visible(access);
            return new FieldDeclaration(super.visitField(access, name, descriptor, signature,
                    kept ? value : null));
        }

        /**
         * Whether a client in another package can name a member of the class with these flags.
         * Each step outwards, the member, the class and every class it is nested in, must be
         * public or protected; a protected one only through a subclass of the next, so that one
         * must not be final. A local or anonymous class, and a package-private or private class
         * anywhere along the way, hide the member.
         */
        private boolean visible(int memberAccess) {
            List<Integer> steps = new ArrayList<>();
            steps.add(memberAccess);
            steps.addAll(nesting());
            for (int i = 0; i < steps.size(); i++) {
                int flags = steps.get(i);
                boolean subclassed = i + 1 < steps.size()
                        && (steps.get(i + 1) & Opcodes.ACC_FINAL) == 0;
                if ((flags & Opcodes.ACC_PUBLIC) == 0
                        && ((flags & Opcodes.ACC_PROTECTED) == 0 || !subclassed)) {
                    return false;
                }
            }
            return true;
        }

        private List<Integer> nesting() {
            if (nesting != null) {
                return nesting;
            }
            nesting = new ArrayList<>();
            String current = name;
            while (innerAccess.containsKey(current)) {
                nesting.add(innerAccess.get(current));
                current = outer.get(current);
                // A local or anonymous class, or a table that goes round in circles: hidden.
                if (current == null || nesting.size() > innerAccess.size()) {
                    nesting.add(0);
                    return nesting;
                }
            }
            // A top-level class's flags are its own, in no InnerClasses table.
            nesting.add(current.equals(name) ? access : topLevelAccess(current));
            return nesting;
        }

        private int topLevelAccess(String topLevel) {
            try {
                byte[] classFile = others.find(topLevel);
                return classFile == null ? 0 : new ClassReader(classFile).getAccess();
            } catch (PackException e) {
                throw new LookupFailed(e);
            }
        }

        @Override
        public RecordComponentVisitor visitRecordComponent(String name, String descriptor,
                String signature) {
            return new RecordComponentDeclaration(
                    super.visitRecordComponent(name, descriptor, signature));
        }

        @Override
        public MethodVisitor visitMethod(int access, String name, String descriptor,
                String signature, String[] exceptions) {
            hasStaticInitializer |= name.equals("<clinit>");
            MethodVisitor method = super.visitMethod(access, name, descriptor, signature, exceptions);
            boolean hasBody = (access & (Opcodes.ACC_ABSTRACT | Opcodes.ACC_NATIVE)) == 0;
            return new MethodDeclaration(method, hasBody ? message : null);
        }

        @Override
        public void visitEnd() {
            if (!hasStaticInitializer) {
                MethodVisitor clinit = super.visitMethod(Opcodes.ACC_STATIC, "<clinit>", "()V",
                        null, null);
                throwProtectedError(clinit, message);
                clinit.visitEnd();
            }
            // Each piece once, in order: the library reads piece i + 1 after piece i.
            for (String piece : pieces) {
                writer.newUTF8(piece);
            }
            super.visitEnd();
        }
    }

    /** Keeps a method's parameters, annotations and default value; its body throws. */
    private static final class MethodDeclaration extends MethodVisitor {
        private final MethodVisitor target;
        private final String message; // null for a method without a body

        MethodDeclaration(MethodVisitor target, String message) {
            super(API); // code, debug and unknown attributes go nowhere
            this.target = target;
            this.message = message;
        }

        @Override
        public void visitParameter(String name, int access) {
            target.visitParameter(name, access);
        }

        @Override
        public AnnotationVisitor visitAnnotationDefault() {
            return target.visitAnnotationDefault();
        }

        @Override
        public AnnotationVisitor visitAnnotation(String descriptor, boolean visible) {
            return target.visitAnnotation(descriptor, visible);
        }

        @Override
        public AnnotationVisitor visitTypeAnnotation(int typeRef, TypePath typePath,
                String descriptor, boolean visible) {
            return target.visitTypeAnnotation(typeRef, typePath, descriptor, visible);
        }

        @Override
        public void visitAnnotableParameterCount(int parameterCount, boolean visible) {
            target.visitAnnotableParameterCount(parameterCount, visible);
        }

        @Override
        public AnnotationVisitor visitParameterAnnotation(int parameter, String descriptor,
                boolean visible) {
            return target.visitParameterAnnotation(parameter, descriptor, visible);
        }

        @Override
        public void visitEnd() {
            if (message != null) {
                throwProtectedError(target, message);
            }
            target.visitEnd();
        }
    }

    /** A field's declaration and annotations, with no attribute ASM does not know. */
    private static final class FieldDeclaration extends FieldVisitor {
        FieldDeclaration(FieldVisitor target) {
            super(API, target);
        }

        @Override
        public void visitAttribute(Attribute attribute) {}
    }

    private static final class RecordComponentDeclaration extends RecordComponentVisitor {
        RecordComponentDeclaration(RecordComponentVisitor target) {
            super(API, target);
        }

        @Override
        public void visitAttribute(Attribute attribute) {}
    }

    /** {@code throw new Error(message);} as a whole method body. */
    private static void throwProtectedError(MethodVisitor method, String message) {
        method.visitCode();
        method.visitTypeInsn(Opcodes.NEW, ERROR);
        method.visitInsn(Opcodes.DUP);
        method.visitLdcInsn(message);
        method.visitMethodInsn(Opcodes.INVOKESPECIAL, ERROR, "<init>", "(Ljava/lang/String;)V",
                false);
        method.visitInsn(Opcodes.ATHROW);
        method.visitMaxs(0, 0);
    }
}
