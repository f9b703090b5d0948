package com.kelo.demo;

import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/** Shapes in stock, each with a count; items are inner objects that know their inventory. */
public final class Inventory {
    private final String owner;
    private final List<Item> items = new ArrayList<>();

    public Inventory(String owner) {
        this.owner = owner;
    }

    /** One kind of shape and how many of it there are. */
    public final class Item {
        final Shape shape;
        final int count;

        Item(Shape shape, int count) {
            this.shape = shape;
            this.count = count;
        }

        double totalArea() {
            return shape.area() * count;
        }

        @Override
        public String toString() {
            return String.format(Locale.ROOT, "%s x%d (%s)", shape.describe(), count, owner);
        }
    }

    public Inventory add(Shape shape, int count) {
        items.add(new Item(shape, count));
        return this;
    }

    public List<Item> items() {
        return items;
    }
}
