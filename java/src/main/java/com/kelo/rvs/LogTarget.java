package com.kelo.rvs;

/**
 * Where the library's log lines go. The library logs with plain integer levels; they fall into
 * three severities, and the target answers which of them it would print.
 */
interface LogTarget {
    /** The severities the library's levels map to, from the least to the most severe. */
    enum Severity {
        DEBUG(Integer.MIN_VALUE),
        INFO(Runtime.LOG_INFO),
        ERROR(Runtime.LOG_ERROR);

        /** The lowest library level of this severity. */
        final int lowestLevel;

        Severity(int lowestLevel) {
            this.lowestLevel = lowestLevel;
        }

        static Severity of(int level) {
            return level >= Runtime.LOG_ERROR ? ERROR : level >= Runtime.LOG_INFO ? INFO : DEBUG;
        }
    }

    boolean isLoggable(Severity severity);

    /**
     * Writes one line if the severity is loggable.
     *
     * @param thrown the failure to show with the line, or null
     */
    void log(Severity severity, String text, Throwable thrown);

    /**
     * The lowest library level that this target would print: {@link Integer#MIN_VALUE} when it
     * prints everything, {@link Integer#MAX_VALUE} when it prints nothing.
     */
    default int threshold() {
        for (Severity severity : Severity.values()) {
            if (isLoggable(severity)) {
                return severity.lowestLevel;
            }
        }
        return Integer.MAX_VALUE;
    }

    /**
     * The platform logger of the given name: {@code System.getLogger} from Java 9 on, and
     * {@code java.util.logging} on Java 8.
     */
    static LogTarget platformLogger(String name) {
        LogTarget target = SystemLoggerTarget.create(name);
        return target != null ? target : new JulTarget(name);
    }
}
