package com.kelo.bench;

import com.kelo.rvs.NativeEntryPoints;
import com.kelo.rvs.Runtime;
import java.util.Map;

/** Defines class containers (or class files) through the native library's {@code iLoadClass}. */
public final class NativeMemoryLoader extends MemoryClassLoader {
    private final NativeEntryPoints natives;

    /** A loader over the given bytes by class name that defines them through the runtime. */
    public NativeMemoryLoader(Map<String, byte[]> containers, Runtime runtime) {
        super(containers);
        this.natives = new NativeEntryPoints(runtime);
    }

    @Override
    protected Class<?> define(String name, byte[] data) {
        Class<?> c = natives.iLoadClass(this, name.replace('.', '/'), data);
        if (c == null) {
            throw new ClassFormatError("The library could not define " + name);
        }
        return c;
    }
}
