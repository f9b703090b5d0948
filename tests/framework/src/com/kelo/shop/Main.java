package com.kelo.shop;

import java.util.Arrays;
import org.springframework.context.annotation.AnnotationConfigApplicationContext;
import org.springframework.context.annotation.Bean;
import org.springframework.stereotype.Component;
import org.springframework.stereotype.Service;

/**
 * Starts the shop from its components, which Spring finds by reading this package's class files:
 * their annotations, a factory method's, and whether a nested class is static.
 */
public final class Main {
    @Service
    static class Checkout {
        @Bean
        String greeting() {
            return "Welcome to the shop";
        }
    }

    @Component
    static class Catalog {}

    /** An inner class is no candidate: Spring could not make one. */
    @Component
    class NotIndependent {}

    public static void main(String[] args) {
        try (AnnotationConfigApplicationContext context =
                new AnnotationConfigApplicationContext(Main.class.getPackage().getName())) {
            String[] names = context.getBeanDefinitionNames();
            Arrays.sort(names);
            System.out.println(String.join("\n", names) + "\n" + context.getBean(String.class));
        }
    }
}
