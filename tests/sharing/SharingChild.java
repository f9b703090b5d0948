package com.kelo.rvs;

/**
 * Installs the class-load hook if its first argument is "hook", prints a line "hooked" (or
 * "unhooked"), then loads the JDK classes that the other arguments name, without initialising
 * them. Run with -Xlog:class+load, its output tells where each class came from.
 */
public final class SharingChild {
    private SharingChild() {}

    public static void main(String[] args) {
        boolean hook = args[0].equals("hook");
        if (hook) {
            new Runtime().installClassLoadHook("T");
        }
        System.out.println(hook ? "hooked" : "unhooked");
        for (int i = 1; i < args.length; i++) {
            try {
                Class.forName(args[i], false, ClassLoader.getSystemClassLoader());
            } catch (ClassNotFoundException e) {
                // A class of a module outside the boot layer: it shows up in no log line.
            }
        }
    }
}
