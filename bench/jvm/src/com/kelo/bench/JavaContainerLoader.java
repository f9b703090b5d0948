package com.kelo.bench;

import java.io.IOException;
import java.util.Map;

/** Defines class containers after decoding them in Java ({@link GzipContainers}). */
final class JavaContainerLoader extends MemoryClassLoader {
    JavaContainerLoader(Map<String, byte[]> containers) {
        super(containers);
    }

    @Override
    protected Class<?> define(String name, byte[] data) throws ClassNotFoundException {
        byte[] classFile;
        try {
            classFile = GzipContainers.decode(data);
        } catch (IOException e) {
            throw new ClassNotFoundException("Cannot decode the container of " + name, e);
        }
        return defineClass(name, classFile, 0, classFile.length);
    }
}
