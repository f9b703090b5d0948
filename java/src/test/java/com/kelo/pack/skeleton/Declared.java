package com.kelo.pack.skeleton;

import java.io.IOException;
import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import java.util.List;
import java.util.concurrent.Callable;

/** A class with every kind of declaration a skeleton keeps; its code holds strings it must not. */
@Declared.Marker(value = "class", kinds = {Declared.Kind.A, Declared.Kind.B}, type = List.class,
        nested = @Declared.Tag("inner"))
public class Declared<T extends Comparable<? super T>> extends Thread
        implements Callable<List<T>> {
    public static final String CONSTANT = "a constant value";

    @Retention(RetentionPolicy.RUNTIME)
    public @interface Marker {
        String value() default "none";

        Kind[] kinds() default {};

        Class<?> type() default Object.class;

        Tag nested() default @Tag("default");
    }

    @Retention(RetentionPolicy.CLASS)
    public @interface Tag {
        String value();
    }

    @Target(ElementType.TYPE_USE)
    @Retention(RetentionPolicy.RUNTIME)
    public @interface Used {}

    public enum Kind { A, B }

    public interface Shape {
        double area();

        default String describe() {
            return "a shape of area " + area();
        }

        static Shape unit() {
            return () -> 1.0;
        }
    }

    public sealed interface Node permits Leaf {}

    public record Leaf(@Marker("component") int value) implements Node {}

    public static class Nested {
        protected transient volatile int counter;
    }

    public class Inner {
        public @Used String label() {
            return "inner of " + Declared.this.hashCode();
        }
    }

    @Marker("field")
    protected @Used List<@Used T> items;

    public Declared(@Marker("parameter") List<T> items) throws IOException {
        if (items == null) {
            throw new IOException("the code's own secret text");
        }
        this.items = items;
    }

    @Override
    public List<T> call() throws Exception {
        Runnable local = new Runnable() {
            @Override
            public void run() {
                System.out.println("anonymous code text");
            }
        };
        local.run();
        return items;
    }

    public <E extends Exception> T first(@Tag("p") Callable<? extends T> source) throws E {
        try {
            return source.call();
        } catch (Exception e) {
            throw new IllegalStateException("wrapped by the code", e);
        }
    }

    public native int nativeCount();

    @Deprecated
    public synchronized double half(double value) {
        return value / 2;
    }
}
