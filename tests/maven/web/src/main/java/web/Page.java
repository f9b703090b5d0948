package web;

public final class Page {
    public static void main(String[] args) {
        System.out.println(app.Main.Greeting.text("war"));
    }
}
