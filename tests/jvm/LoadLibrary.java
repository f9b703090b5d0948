// Loads the native library into a real JVM and lets the JVM end normally, so that the loader's
// attach and detach notifications and the library's static objects run in their real setting.
public class LoadLibrary {
    public static void main(String[] args) {
        System.load(args[0]);
        System.out.println("loaded " + args[0]);
    }
}
