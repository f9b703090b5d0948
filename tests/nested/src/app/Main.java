package app;

import acc.lib.Texts;

public final class Main {
    private Main() {}

    public static void main(String[] args) {
        ClassLoader loader = Texts.class.getClassLoader();
        System.out.println(Texts.greet(loader.getClass().getName()) + " " + Texts.sum("2", "40"));
        System.out.println(loader == Main.class.getClassLoader());
    }
}
