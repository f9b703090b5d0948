package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.*;

import java.util.*;
import java.util.logging.*;
import org.junit.jupiter.api.*;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.*;

/** The runtime's side of the library's calls, in Java alone: log levels and listeners. */
class CallbacksTest {
    // java.util.logging backs the platform logger of this JVM too.
    private final Logger logger = Logger.getLogger(Runtime.LOGGER_NAME);
    private final List<String> logged = new ArrayList<>();

    @BeforeEach
    void keepLines() {
        logger.setFilter(r -> !logged.add(r.getLevel() + " " + r.getMessage()
                + (r.getThrown() == null ? "" : " " + r.getThrown().getMessage())));
    }

    @AfterEach
    void reset() {
        logger.setFilter(null);
        logger.setLevel(null);
    }

    // A library level, the logger's, the line logged, and the lowest level that the logger
    // prints, which the log callback answers; for the platform logger of Java 9 on ("system")
    // and for java.util.logging, Java 8's. Progress lines are debugging output.
    @ParameterizedTest
    @CsvSource({"-2147483648, ALL, FINER text, -2147483648", "799, FINE, '', 800",
        "800, FINE, FINE text, 800", "999, INFO, '', 1000", "1000, INFO, SEVERE text, 1000",
        "2147483647, OFF, '', 2147483647"})
    void logLinesAndThresholds(int level, String at, String line, int threshold) {
        logger.setLevel(Level.parse(at));
        for (LogTarget target : List.of(SystemLoggerTarget.create(Runtime.LOGGER_NAME),
                new JulTarget(Runtime.LOGGER_NAME))) {
            logged.clear();
            assertEquals(threshold, new Runtime(target, false).log(level, "text"), "" + target);
            assertEquals(line, String.join("\n", logged), "" + target);
        }
    }

    // Errors go to the listeners, or to the log when there are none; every listener hears each
    // message when one throws, and that failure is logged. A failing logger throws nothing into
    // the library; errors still reach it, so that it is tried again.
    @Test
    void listenersAndAFailingLogger() {
        logger.setLevel(Level.ALL);
        Runtime platform = new Runtime(LogTarget.platformLogger(Runtime.LOGGER_NAME), false);
        List<String> heard = new ArrayList<>();
        RuntimeListener listener = listener("a", heard);
        platform.errorUnspecified("Decompression failed!");
        platform.addListener(listener);
        platform.errorUnspecified("CRC mismatch!");
        platform.removeListener(listener);
        platform.messageStart(); // without listeners, it goes nowhere
        List.of("a", "failing", "b").forEach(name -> platform.addListener(listener(name, heard)));
        platform.messageStart();
        platform.errorUnspecified("Internal error!");
        assertEquals(List.of("a error CRC mismatch!", "a started", "failing started", "b started",
                "a error Internal error!", "failing error Internal error!",
                "b error Internal error!"), heard);
        assertEquals(List.of("SEVERE Decompression failed!", "broken", "broken"), logged.stream()
                .map(l -> l.endsWith(" listener broken") ? "broken" : l).toList());
        logger.setFilter(r -> {
            throw new IllegalStateException("logger broken");
        });
        assertEquals(Runtime.LOG_ERROR, platform.log(Runtime.LOG_ERROR, "text"));
        assertEquals(0, platform.errorUnspecified("Internal error!"));
    }

    /** Keeps what it hears; the listener named "failing" throws then. */
    private static RuntimeListener listener(String name, List<String> heard) {
        return new RuntimeListener() {
            @Override
            public void started() {
                error(null);
            }

            @Override
            public void error(String text) {
                heard.add(name + (text == null ? " started" : " error " + text));
                if (name.equals("failing")) {
                    throw new IllegalStateException("listener broken");
                }
            }
        };
    }
}
