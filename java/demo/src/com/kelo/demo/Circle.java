package com.kelo.demo;

/** A circle of a given radius. */
public final class Circle implements Shape {
    private final double radius;

    public Circle(double radius) {
        this.radius = radius;
    }

    @Override
    public String name() {
        return "circle";
    }

    @Override
    public double area() {
        return Math.PI * radius * radius;
    }
}
