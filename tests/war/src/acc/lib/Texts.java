package acc.lib;

public final class Texts {
    private Texts() {}

    public static String greet(String name) {
        return "Hello, " + name + "!";
    }

    public static int sum(String a, String b) {
        return Integer.parseInt(a) + Integer.parseInt(b);
    }
}
