package com.kelo.rvs;

import java.util.logging.Level;
import java.util.logging.Logger;

/** A {@code java.util.logging} logger: the platform logger of Java 8. */
final class JulTarget implements LogTarget {
    // Also the mapping that the platform logger of later JVMs uses when it writes to this API.
    private static final Level[] LEVELS = {Level.FINER, Level.FINE, Level.SEVERE};

    // Held here because the logging framework keeps its loggers only weakly, and a collected
    // logger would lose the level an application set on it.
    private final Logger logger;

    JulTarget(String name) {
        logger = Logger.getLogger(name);
    }

    @Override
    public boolean isLoggable(Severity severity) {
        return logger.isLoggable(LEVELS[severity.ordinal()]);
    }

    @Override
    public void log(Severity severity, String text, Throwable thrown) {
        logger.log(LEVELS[severity.ordinal()], text, thrown);
    }
}
