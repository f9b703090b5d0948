package com.kelo.demo;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.Locale;
import java.util.stream.Collectors;

/** A small application whose output depends only on its arguments. */
public final class Main {
    private Main() {}

    public static void main(String[] args) throws IOException {
        System.out.println(greeting());
        System.out.println("arguments: " + String.join(" ", args));

        Inventory inventory = new Inventory("workshop")
                .add(new Circle(1.5), 3)
                .add(new Rectangle(2, 3), 2)
                .add(new Rectangle(2.5, 2.5), 4)
                .add(new Circle(0.5), 10);
        List<Inventory.Item> items = new ArrayList<>(inventory.items());
        items.sort(Comparator.comparingDouble((Inventory.Item item) -> item.totalArea()).reversed());
        for (Inventory.Item item : items) {
            System.out.println(item);
        }
        double total = items.stream().mapToDouble(Inventory.Item::totalArea).sum();
        System.out.println(String.format(Locale.ROOT, "total area %.3f", total));
        System.out.println("kinds: " + items.stream().map(item -> item.shape.name()).distinct()
                .sorted().collect(Collectors.joining(", ")));
    }

    private static String greeting() throws IOException {
        try (InputStream in = Main.class.getResourceAsStream("greeting.txt")) {
            if (in == null) {
                return "(greeting.txt is missing)";
            }
            BufferedReader reader = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8));
            return reader.readLine();
        }
    }
}
