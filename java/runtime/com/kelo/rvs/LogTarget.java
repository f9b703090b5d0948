package com.kelo.rvs;

/**
 * Where the library's log lines go. The library logs with plain integer levels; they fall into
 * three severities, and the target answers which of them it would print. Progress lines (one for
 * every class the library decodes) are debugging output on the platform's scale, so that a JVM
 * with the default logging configuration neither prints them nor has the library send them.
 * A runtime writes to the platform logger {@value Runtime#LOGGER_NAME} unless it is given
 * another target.
 */
public interface LogTarget {
    /** The severities the library's levels map to, from the least to the most severe. */
    enum Severity {
        /** Below {@link Runtime#LOG_INFO}: the platform's TRACE (FINER). */
        DETAIL(Integer.MIN_VALUE),
        /** From {@link Runtime#LOG_INFO}, for example each class processed: DEBUG (FINE). */
        PROGRESS(Runtime.LOG_INFO),
        /** From {@link Runtime#LOG_ERROR}: ERROR (SEVERE). */
        ERROR(Runtime.LOG_ERROR);

        /** The lowest library level of this severity. */
        final int lowestLevel;

        Severity(int lowestLevel) {
            this.lowestLevel = lowestLevel;
        }

        static Severity of(int level) {
            return level >= Runtime.LOG_ERROR ? ERROR
                    : level >= Runtime.LOG_INFO ? PROGRESS : DETAIL;
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
