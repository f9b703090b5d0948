package com.kelo.demo;

import java.util.Locale;

/** A plane figure with a name and an area. */
public interface Shape {
    String name();

    double area();

    default String describe() {
        return String.format(Locale.ROOT, "%-10s area %8.3f", name(), area());
    }
}
