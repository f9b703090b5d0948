package com.kelo.rvs;

import java.util.Map;

/**
 * Defines the classes of a corpus from their containers through iLoadClass, superclasses
 * included; everything else comes from the platform loader. Each definition reads a copy of the
 * container, as a loader reading its own jar would.
 */
final class ContainerLoader extends ClassLoader {
    private final Runtime runtime;
    private final Map<String, byte[]> containers;

    ContainerLoader(Runtime runtime, Map<String, byte[]> containers) {
        super(ClassLoader.getPlatformClassLoader());
        this.runtime = runtime;
        this.containers = containers;
    }

    @Override
    protected Class<?> findClass(String name) throws ClassNotFoundException {
        byte[] container = containers.get(name);
        if (container == null) {
            throw new ClassNotFoundException(name);
        }
        Class<?> defined = runtime.iLoadClass(this, name.replace('.', '/'), container.clone());
        if (defined == null) {
            throw new ClassFormatError("Not defined from its container: " + name);
        }
        return defined;
    }
}
