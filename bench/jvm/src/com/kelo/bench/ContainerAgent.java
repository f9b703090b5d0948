package com.kelo.bench;

import java.io.IOException;
import java.lang.instrument.ClassFileTransformer;
import java.lang.instrument.Instrumentation;
import java.security.ProtectionDomain;

/**
 * A Java agent that decodes class containers as the JVM loads them ({@link GzipContainers}): the
 * peer of the library's class-load hook that an application could write instead.
 */
public final class ContainerAgent implements ClassFileTransformer {
    private ContainerAgent() {}

    public static void premain(String arguments, Instrumentation instrumentation) {
        instrumentation.addTransformer(new ContainerAgent());
    }

    @Override
    public byte[] transform(ClassLoader loader, String className, Class<?> classBeingRedefined,
            ProtectionDomain protectionDomain, byte[] classfileBuffer) {
        if (!GzipContainers.isContainer(classfileBuffer)) {
            return null;
        }
        try {
            return GzipContainers.decode(classfileBuffer);
        } catch (IOException e) {
            // Left as it is, the JVM rejects it as a malformed class.
            return null;
        }
    }
}
