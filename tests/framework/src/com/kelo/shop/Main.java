package com.kelo.shop;

import java.util.Arrays;
import org.springframework.context.annotation.AnnotationConfigApplicationContext;

/** Starts the shop from its components, found by scanning this package's class files. */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        try (AnnotationConfigApplicationContext context =
                new AnnotationConfigApplicationContext(Main.class.getPackage().getName())) {
            String[] names = context.getBeanDefinitionNames();
            Arrays.sort(names);
            for (String name : names) {
                if (context.getType(name).getName().startsWith("com.kelo.shop.")) {
                    System.out.println("bean " + name);
                }
            }
            System.out.println(context.getBean(Catalog.Greeting.class).text);
            Checkout checkout = context.getBean(Checkout.class);
            System.out.println("rules " + checkout.rules());
            System.out.println("total " + checkout.total("kettle", "teapot") + " cents");
        }
    }
}
