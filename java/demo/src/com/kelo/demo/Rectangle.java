package com.kelo.demo;

/** A rectangle; a square is one with equal sides. */
public class Rectangle implements Shape {
    private final double width;
    private final double height;

    public Rectangle(double width, double height) {
        this.width = width;
        this.height = height;
    }

    @Override
    public String name() {
        return width == height ? "square" : "rectangle";
    }

    @Override
    public double area() {
        return width * height;
    }
}
