package com.kelo.rvs;

import static java.util.Arrays.asList;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.params.provider.Arguments.arguments;

import java.util.ArrayList;
import java.util.List;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** What the library's calls into the runtime do, without the library: log lines and messages. */
class CallbacksTest {
    // Configured through java.util.logging, which backs the platform logger of this JVM too.
    private static final Logger LOGGER = Logger.getLogger(Runtime.LOGGER_NAME);
    private final List<LogRecord> records = new ArrayList<>();
    private final List<String> heard = new ArrayList<>();
    private final Runtime runtime = new Runtime(LogTarget.platformLogger(Runtime.LOGGER_NAME));
    private final Handler recorder = new Handler() {
        @Override
        public void publish(LogRecord record) {
            records.add(record);
        }

        @Override
        public void flush() {}

        @Override
        public void close() {}
    };

    @BeforeEach
    void recordTheLogger() {
        LOGGER.setUseParentHandlers(false);
        LOGGER.addHandler(recorder);
        LOGGER.setLevel(Level.ALL);
    }

    @AfterEach
    void releaseTheLogger() {
        LOGGER.removeHandler(recorder);
        LOGGER.setUseParentHandlers(true);
        LOGGER.setLevel(null);
    }

    /** Each row for the platform logger of Java 9 on, and for java.util.logging (Java 8's). */
    private static Stream<Arguments> forBothTargets(Object level, Object expected) {
        return Stream.of(arguments(new JulTarget(Runtime.LOGGER_NAME), level, expected),
                arguments(SystemLoggerTarget.create(Runtime.LOGGER_NAME), level, expected));
    }

    static Stream<Arguments> lines() {
        return Stream.of(forBothTargets(Integer.MIN_VALUE, Level.FINER),
                forBothTargets(799, Level.FINER), forBothTargets(800, Level.FINE),
                forBothTargets(999, Level.FINE),
                forBothTargets(1000, Level.SEVERE), forBothTargets(Integer.MAX_VALUE, Level.SEVERE))
            .flatMap(rows -> rows);
    }

    @ParameterizedTest
    @MethodSource
    void lines(LogTarget target, int level, Level logged) {
        assertEquals(Integer.MIN_VALUE, new Runtime(target).log(level, "text"), "threshold");
        assertEquals(asList(logged + " text"), texts());
    }

    static Stream<Arguments> thresholds() {
        // Progress lines are debugging output: the default level INFO keeps them back.
        return Stream.of(forBothTargets(Level.OFF, Integer.MAX_VALUE),
                forBothTargets(Level.INFO, 1000), forBothTargets(Level.FINE, 800),
                forBothTargets(Level.FINER, Integer.MIN_VALUE))
            .flatMap(rows -> rows);
    }

    /** What the log callback answers: the lowest library level that the logger prints. */
    @ParameterizedTest
    @MethodSource
    void thresholds(LogTarget target, Level level, int threshold) {
        LOGGER.setLevel(level);
        assertEquals(threshold, new Runtime(target).log(Runtime.LOG_ERROR, "text"));
    }

    private List<String> texts() {
        return records.stream().map(r -> r.getLevel() + " " + r.getMessage())
                .collect(Collectors.toList());
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
        assertEquals(0, runtime.errorUnspecified("Internal error!"));
        // Without listeners, the start message goes nowhere.
        assertEquals(0, runtime.messageStart());
        assertEquals(asList("a CRC mismatch!"), heard);
        assertEquals(asList("SEVERE Decompression failed!", "SEVERE Internal error!"), texts());
    }

    @Test
    void everyListenerHearsEachMessageWhenOneThrows() {
        for (String name : new String[] {"a", "failing", "b"}) {
            runtime.addListener(listener(name));
        }
        assertEquals(0, runtime.messageStart());
        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));
        assertEquals(asList("a started", "failing started", "b started", "a Decompression failed!",
                             "failing Decompression failed!", "b Decompression failed!"),
                heard);
        assertEquals(2, records.size());
        for (LogRecord record : records) {
            assertEquals(Level.SEVERE, record.getLevel());
            assertEquals("listener broken", record.getThrown().getMessage());
        }
    }

    @Test
    void aFailingLoggerThrowsNothingIntoTheLibrary() {
        Runtime failing = new Runtime(new LogTarget() {
            @Override
            public boolean isLoggable(Severity severity) {
                return true;
            }

            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                throw new IllegalStateException("logger broken");
            }
        });
        // Errors still reach it, so that it is tried again.
        assertEquals(Runtime.LOG_ERROR, failing.log(Runtime.LOG_INFO, "text"));
        assertEquals(0, failing.errorUnspecified("Internal error!"));
        // Below 99 the library would serialise every class load on the runtime class.
        assertTrue(failing.getRvsJavaRuntimeBuild() >= 99);
    }
}
