package com.kelo.pack.skeleton;

import java.io.IOException;
import java.lang.annotation.*;
import java.util.List;
import java.util.concurrent.Callable;

/**
 * Every kind of declaration a skeleton keeps: annotations (visible, invisible, on types and on
 * parameters, with values of each kind and defaults), generics, nest members (inner, anonymous),
 * a record (its constructor keeps parameter names), a sealed interface with a default method, an
 * enum; and code and a constant that hold strings a skeleton must leave out.
 */
@Declared.Marker(value = "class", kinds = {Declared.Kind.A, Declared.Kind.B}, type = List.class,
        nested = @Declared.Tag("inner"))
public abstract class Declared<T extends Comparable<? super T>> extends Thread
        implements Callable<List<T>> {
    private static final String CONSTANT = "a constant value";

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

    public sealed interface Node permits Leaf {
        default String describe() {
            return "inner of " + this;
        }
    }

    public record Leaf(@Marker("component") int value) implements Node {}

    public class Inner {
        protected transient volatile @Used List<@Used T> items;
    }

    protected Declared(@Marker("parameter") List<T> items) throws IOException {
        Runnable local = new Runnable() {
            @Override
            public void run() {
                System.out.println("the code's own secret text");
            }
        };
        local.run();
    }

    public <E extends Exception> @Used T first(@Tag("p") Callable<? extends T> source) throws E {
        try {
            return source.call();
        } catch (Exception e) {
            throw new IllegalStateException("wrapped by the code", e);
        }
    }

    @Deprecated
    public synchronized native int nativeCount();
}
