package acc.lib;

public final class Texts {
    public static String greet(String name) {
        return "Hello, " + name + "!";
    }
}
