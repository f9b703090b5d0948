package com.kelo.rvs;

import com.kelo.bench.MemoryClassLoader;
import java.util.Map;

/**
 * Defines class containers (or class files) through the native library's {@code iLoadClass},
 * which only code of this package may call.
 */
public final class NativeMemoryLoader extends MemoryClassLoader {
    private final Runtime runtime;

    /** A loader over the given bytes by class name that defines them through the runtime. */
    public NativeMemoryLoader(Map<String, byte[]> containers, Runtime runtime) {
        super(containers);
        this.runtime = runtime;
    }

    @Override
    protected Class<?> define(String name, byte[] data) {
        Class<?> c = runtime.iLoadClass(this, name.replace('.', '/'), data);
        if (c == null) {
            throw new ClassFormatError("The library could not define " + name);
        }
        return c;
    }
}
