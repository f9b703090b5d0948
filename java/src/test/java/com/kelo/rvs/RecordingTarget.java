package com.kelo.rvs;

import java.util.ArrayList;
import java.util.List;

/** A log target that prints from a settable severity on and keeps what it prints. */
class RecordingTarget implements LogTarget {
    static final class Line {
        final Severity severity;
        final String text;
        final Throwable thrown;

        Line(Severity severity, String text, Throwable thrown) {
            this.severity = severity;
            this.text = text;
            this.thrown = thrown;
        }

        @Override
        public String toString() {
            return severity + " " + text;
        }
    }

    /** The lowest severity printed; null prints nothing. */
    volatile Severity lowest = Severity.DETAIL;
    final List<Line> lines = new ArrayList<>();

    @Override
    public boolean isLoggable(Severity severity) {
        Severity lowest = this.lowest;
        return lowest != null && severity.compareTo(lowest) >= 0;
    }

    @Override
    public synchronized void log(Severity severity, String text, Throwable thrown) {
        if (isLoggable(severity)) {
            lines.add(new Line(severity, text, thrown));
        }
    }

    synchronized List<String> printed() {
        List<String> printed = new ArrayList<>();
        for (Line line : lines) {
            printed.add(line.toString());
        }
        return printed;
    }
}
