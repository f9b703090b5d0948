package app;

import acc.lib.Texts;

public final class Main {
    public static void main(String[] args) {
        ClassLoader loader = Main.class.getClassLoader();
        System.out.println(Texts.greet(loader.getClass().getName()));
        System.out.println(Texts.class.getClassLoader() == loader);
    }
}
