package vendor;

/** A vendor's constants, which its customers' code uses in constant expressions of its own. */
public class Limits {
    public static final int MAX = 64;
    public static final long UNIT = 1024L;
    public static final String NAME = "vendor limits";
    protected static final int STEP = 8;

    public interface Size { int SMALL = 4; }

    /** How many steps a count of items takes. */
    public static int steps(int items) {
        return (items + STEP - 1) / STEP;
    }
}
