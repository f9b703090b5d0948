package com.kelo.bench;

import java.util.Map;

/**
 * A class loader that serves classes from bytes held in memory, by class name; how the bytes
 * become a class is up to the subclass. Classes it does not hold, the JDK's, come from the
 * platform loader, so that superclasses of the corpus resolve through this loader.
 */
public abstract class MemoryClassLoader extends ClassLoader {
    private final Map<String, byte[]> classes;

    protected MemoryClassLoader(Map<String, byte[]> classes) {
        super(ClassLoader.getPlatformClassLoader());
        this.classes = classes;
    }

    @Override
    protected final Class<?> findClass(String name) throws ClassNotFoundException {
        byte[] data = classes.get(name);
        if (data == null) {
            throw new ClassNotFoundException(name);
        }
        return define(name, data);
    }

    /** Defines the class of that name from the bytes held for it. */
    protected abstract Class<?> define(String name, byte[] data) throws ClassNotFoundException;
}
