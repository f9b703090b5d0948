package com.kelo.shop;

import java.util.Arrays;
import java.util.List;
import org.springframework.beans.factory.annotation.Autowired;
import org.springframework.context.annotation.AnnotationConfigApplicationContext;
import org.springframework.context.annotation.Bean;
import org.springframework.core.annotation.Order;
import org.springframework.stereotype.Component;
import org.springframework.stereotype.Service;

/**
 * Starts the shop from its components, which Spring finds by reading this package's class files:
 * their annotations, a factory method's, and whether a nested class is static.
 */
public final class Main {
    interface PriceRule {
        long apply(long cents);
    }

    @Component
    @Order(2)
    static class Tax implements PriceRule {
        @Override
        public long apply(long cents) {
            return cents * 120 / 100;
        }
    }

    @Component
    @Order(1)
    static class MemberDiscount implements PriceRule {
        @Override
        public long apply(long cents) {
            return cents * 90 / 100;
        }
    }

    /** An inner class is no candidate: Spring could not make one. */
    @Component
    class NotIndependent {}

    @Service
    static class Checkout {
        final List<PriceRule> rules;

        @Autowired
        Checkout(List<PriceRule> rules) {
            this.rules = rules;
        }

        @Bean
        String greeting() {
            return "Welcome to the shop";
        }
    }

    public static void main(String[] args) {
        try (AnnotationConfigApplicationContext context =
                new AnnotationConfigApplicationContext(Main.class.getPackage().getName())) {
            String[] names = context.getBeanDefinitionNames();
            Arrays.sort(names);
            long cents = 3_999;
            for (PriceRule rule : context.getBean(Checkout.class).rules) {
                cents = rule.apply(cents);
                System.out.println(rule.getClass().getSimpleName() + ": " + cents);
            }
            System.out.println(Arrays.toString(names) + " " + context.getBean(String.class));
        }
    }
}
