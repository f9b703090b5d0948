package com.kelo.bench;

import java.util.Map;

/** Defines class files as they are, with {@code defineClass}. */
final class PlainLoader extends MemoryClassLoader {
    PlainLoader(Map<String, byte[]> classes) {
        super(classes);
    }

    @Override
    protected Class<?> define(String name, byte[] data) {
        return defineClass(name, data, 0, data.length);
    }
}
