package com.kelo.rvs;

import static java.util.Arrays.asList;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
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
    private final Runtime runtime = new Runtime(LogTarget.platformLogger(Runtime.LOGGER_NAME));
    private final List<String> heard = new ArrayList<>();

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

    static Stream<Arguments> lines() {
        return Stream.of(arguments(Integer.MIN_VALUE, Level.FINER), arguments(799, Level.FINER),
                arguments(800, Level.FINE), arguments(999, Level.FINE),
                arguments(1000, Level.SEVERE), arguments(Integer.MAX_VALUE, Level.SEVERE))
            .flatMap(CallbacksTest::forBothTargets);
    }

    private static Stream<Arguments> forBothTargets(Arguments row) {
        return Stream.of(true, false).map(jul -> arguments(jul, row.get()[0], row.get()[1]));
    }

    /** The platform logger of Java 9 and later, and java.util.logging, the platform's of Java 8. */
    private static Runtime loggingTo(boolean jul) {
        return new Runtime(jul ? new JulTarget(Runtime.LOGGER_NAME)
                : SystemLoggerTarget.create(Runtime.LOGGER_NAME));
    }

    @ParameterizedTest
    @MethodSource
    void lines(boolean jul, int level, Level logged) {
        assertEquals(Integer.MIN_VALUE, loggingTo(jul).log(level, "text"), "threshold");
        assertEquals(1, records.size());
        assertEquals(logged, records.get(0).getLevel());
        assertEquals("text", records.get(0).getMessage());
    }

    static Stream<Arguments> thresholds() {
        // Progress lines are debugging output: the default level INFO keeps them back.
        return Stream.of(arguments(Level.OFF, Integer.MAX_VALUE), arguments(Level.SEVERE, 1000),
                arguments(Level.INFO, 1000), arguments(Level.CONFIG, 1000),
                arguments(Level.FINE, 800),
                arguments(Level.FINER, Integer.MIN_VALUE), arguments(Level.ALL, Integer.MIN_VALUE))
            .flatMap(CallbacksTest::forBothTargets);
    }

    /** What the log callback answers: the lowest level that the logger still prints. */
    @ParameterizedTest
    @MethodSource
    void thresholds(boolean jul, Level level, int threshold) {
        LOGGER.setLevel(level);
        assertEquals(threshold, loggingTo(jul).log(Runtime.LOG_ERROR, "text"));
    }

    private RuntimeListener listener(String name) {
        return new RuntimeListener() {
            @Override
            public void started() {
                heard.add(name + " started");
            }

            @Override
            public void error(String text) {
                heard.add(name + " " + text);
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
        assertEquals(asList("a CRC mismatch!"), heard);
        assertEquals(asList("Decompression failed!", "Internal error!"),
                records.stream().map(LogRecord::getMessage).collect(Collectors.toList()));
    }

    @Test
    void everyListenerHearsEachMessageWhenOneThrows() {
        IllegalStateException failure = new IllegalStateException("listener broken");
        runtime.addListener(listener("a"));
        runtime.addListener(new RuntimeListener() {
            @Override
            public void started() {
                throw failure;
            }

            @Override
            public void error(String text) {
                throw failure;
            }
        });
        runtime.addListener(listener("b"));
        assertEquals(0, runtime.messageStart());
        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));
        assertEquals(asList("a started", "b started", "a Decompression failed!",
                             "b Decompression failed!"),
                heard);
        assertEquals(2, records.size());
        for (LogRecord record : records) {
            assertEquals(Level.SEVERE, record.getLevel());
            assertSame(failure, record.getThrown());
        }
    }

    @Test
    void aFailingLoggerThrowsNothingIntoTheLibrary() {
        Runtime failing = new Runtime(new LogTarget() {
            @Override
            public boolean isLoggable(Severity severity) {
                throw new IllegalStateException("logger broken");
            }

            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                throw new IllegalStateException("logger broken");
            }
        });
        // Errors still reach it, so that it is tried again.
        assertEquals(Runtime.LOG_ERROR, failing.log(Runtime.LOG_INFO, "text"));
        assertEquals(0, failing.errorUnspecified("Internal error!"));
    }

    @Test
    void theStartWithoutListenersIsQuietAndLoadsAreNotSerialised() {
        assertEquals(0, runtime.messageStart());
        assertEquals(0, records.size());
        // Below 99 the library would serialise every class load on the runtime class.
        assertTrue(runtime.getRvsJavaRuntimeBuild() >= 99);
    }
}
