package com.kelo.rvs;

import java.util.function.Supplier;

/**
 * The class that the iLoadClass tests define again and again, each time in a fresh class loader
 * whose parent is the bootstrap loader: it refers to nothing outside java.base.
 */
public final class LoadSample implements Supplier<String> {
    public LoadSample() {}

    @Override
    public String get() {
        return "loaded " + getClass().getName();
    }
}
