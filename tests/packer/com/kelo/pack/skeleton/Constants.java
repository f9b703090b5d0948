package com.kelo.pack.skeleton;

/** Constants of each visibility: a skeleton keeps those that code in another package can name. */
public class Constants {
    public static final int PUBLIC = 1;
    protected static final int PROTECTED = 2;
    protected final int instance = 3;
    static final int PACKAGE = 4;
    private static final int PRIVATE = 5;

    public interface Api { int FIELD = 6; }

    protected static class Nested { public static final int PUBLIC = 7; }

    public static final class Closed { protected static final int PROTECTED = 8; }

    private static class Hidden { public static final int PUBLIC = 9; }
}

class Internal {
    public static final int PUBLIC = 10;
    protected static final int PROTECTED = 11;

    public static class Nested { public static final int PUBLIC = 12; }
}
