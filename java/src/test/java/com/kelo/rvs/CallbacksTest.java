package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.params.provider.Arguments.arguments;

import java.util.ArrayList;
import java.util.List;
import java.util.logging.Level;
import java.util.logging.Logger;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** What the library's calls into the runtime do, without the library: log lines and messages. */
class CallbacksTest {
    // java.util.logging backs the platform logger of this JVM too.
    private static final Logger LOGGER = Logger.getLogger(Runtime.LOGGER_NAME);
    private final List<String> logged = new ArrayList<>();
    private final List<String> heard = new ArrayList<>();
    private final Runtime runtime = new Runtime(LogTarget.platformLogger(Runtime.LOGGER_NAME));

    /** Records "LEVEL text [thrown]" and publishes nothing. */
    @BeforeEach
    void recordTheLogger() {
        LOGGER.setFilter(r -> !logged.add(r.getLevel() + " " + r.getMessage()
                + (r.getThrown() == null ? "" : " " + r.getThrown().getMessage())));
        LOGGER.setLevel(Level.ALL);
    }

    @AfterEach
    void releaseTheLogger() {
        LOGGER.setFilter(null);
        LOGGER.setLevel(null);
    }

    /**
     * A library level, the logger's level, what the line becomes and the lowest level that the
     * logger prints, which the log callback answers; for the platform logger of Java 9 on and for
     * java.util.logging (Java 8's). Progress lines are debugging output: INFO keeps them back.
     */
    static Stream<Arguments> levels() {
        return Stream.of(new JulTarget(Runtime.LOGGER_NAME),
                        SystemLoggerTarget.create(Runtime.LOGGER_NAME))
                .flatMap(target -> Stream.of(
                        arguments(target, Integer.MIN_VALUE, Level.ALL, "FINER text",
                                Integer.MIN_VALUE),
                        arguments(target, 799, Level.FINE, "", 800),
                        arguments(target, 800, Level.FINE, "FINE text", 800),
                        arguments(target, 999, Level.FINER, "FINE text", Integer.MIN_VALUE),
                        arguments(target, 999, Level.INFO, "", 1000),
                        arguments(target, 1000, Level.INFO, "SEVERE text", 1000),
                        arguments(target, Integer.MAX_VALUE, Level.OFF, "", Integer.MAX_VALUE)));
    }

    @ParameterizedTest
    @MethodSource
    void levels(LogTarget target, int level, Level loggerLevel, String line, int threshold) {
        LOGGER.setLevel(loggerLevel);
        assertEquals(threshold, new Runtime(target).log(level, "text"), "threshold");
        assertEquals(line, String.join("\n", logged));
    }

    /** Keeps what it hears; the listener named "failing" throws then. */
    private RuntimeListener listener(String name) {
        return new RuntimeListener() {
            @Override
            public void started() {
                error("started");
            }

            @Override
            public void error(String text) {
                heard.add(name + " " + text);
                if (name.equals("failing")) {
                    throw new IllegalStateException("listener broken");
                }
            }
        };
    }

    @Test
    void errorsGoToTheListenersOrToTheLogWhenThereAreNone() {
        RuntimeListener listener = listener("a");
        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));
        runtime.addListener(listener);
        assertEquals(0, runtime.errorUnspecified("CRC mismatch!"));
        runtime.removeListener(listener);
        // Without listeners, the start message goes nowhere.
        assertEquals(0, runtime.messageStart());
        assertEquals(List.of("a CRC mismatch!"), heard);
        assertEquals(List.of("SEVERE Decompression failed!"), logged);
    }

    @Test
    void everyListenerHearsEachMessageWhenOneThrows() {
        for (String name : new String[] {"a", "failing", "b"}) {
            runtime.addListener(listener(name));
        }
        assertEquals(0, runtime.messageStart());
        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));
        assertEquals(List.of("a started", "failing started", "b started", "a Decompression failed!",
                             "failing Decompression failed!", "b Decompression failed!"),
                heard);
        assertEquals(2, logged.stream().filter(l -> l.endsWith(" listener broken")).count());
    }

    @Test
    void aFailingLoggerThrowsNothingIntoTheLibrary() {
        LOGGER.setFilter(r -> {
            throw new IllegalStateException("logger broken");
        });
        // Errors still reach it, so that it is tried again.
        assertEquals(Runtime.LOG_ERROR, runtime.log(Runtime.LOG_INFO, "text"));
        assertEquals(0, runtime.errorUnspecified("Internal error!"));
    }
}
