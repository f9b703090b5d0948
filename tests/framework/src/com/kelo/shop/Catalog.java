package com.kelo.shop;

import java.util.Map;
import java.util.TreeMap;
import org.springframework.context.annotation.Bean;
import org.springframework.stereotype.Repository;

/** The articles; its @Bean method is found by reading the class file, in declaration order. */
@Repository("catalog")
public class Catalog {
    private final Map<String, Long> prices = new TreeMap<>();

    public Catalog() {
        prices.put("kettle", 3_999L);
        prices.put("teapot", 2_450L);
    }

    public long price(String article) {
        Long cents = prices.get(article);
        if (cents == null) {
            throw new IllegalArgumentException("no such article: " + article);
        }
        return cents;
    }

    @Bean
    public Greeting greeting() {
        return new Greeting("Welcome to the shop");
    }

    /** A bean made by the catalog's factory method. */
    public static final class Greeting {
        final String text;

        Greeting(String text) {
            this.text = text;
        }
    }
}
