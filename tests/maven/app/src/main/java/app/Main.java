package app;

public final class Main {
    public static void main(String[] args) {
        System.out.println(Greeting.text("jar"));
    }

    public static final class Greeting {
        public static String text(String from) {
            return "hello from the " + from + " through " + Greeting.class.getName();
        }
    }
}
