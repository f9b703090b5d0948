package com.kelo.rvs.format;

/** The manifest attributes by which the packer tells the launcher how to start an application. */
public final class LaunchAttributes {
    /**
     * The application's own main class, in a jar that the packer made run with {@code java -jar}:
     * its {@code Main-Class} is then the launcher.
     */
    public static final String APPLICATION_MAIN_CLASS = "KeloRvs-Main-Class";

    /** The launcher's class, the {@code Main-Class} of such a jar. */
    public static final String LAUNCHER = "com.kelo.rvs.Launcher";

    private LaunchAttributes() {}
}
