package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Named.named;

import com.kelo.rvs.LogTarget.Severity;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

class LogTargetTest {
    // Configured through java.util.logging, which backs the platform logger of this JVM too.
    private final Logger logger = Logger.getLogger(Runtime.LOGGER_NAME);
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
    private Level savedLevel;

    @BeforeEach
    void captureLogger() {
        savedLevel = logger.getLevel();
        logger.setUseParentHandlers(false);
        logger.addHandler(recorder);
    }

    @AfterEach
    void releaseLogger() {
        logger.removeHandler(recorder);
        logger.setUseParentHandlers(true);
        logger.setLevel(savedLevel);
    }

    static Stream<Named<LogTarget>> platformTargets() {
        return Stream.of(named("System.Logger", SystemLoggerTarget.create(Runtime.LOGGER_NAME)),
                named("java.util.logging", new JulTarget(Runtime.LOGGER_NAME)));
    }

    @Test
    void levelsFallIntoSeveritiesAtTheLibrarysBoundaries() {
        for (int level : new int[] {Integer.MIN_VALUE, -1, 0, 799}) {
            assertEquals(Severity.DETAIL, Severity.of(level), "level " + level);
        }
        for (int level : new int[] {800, 999}) {
            assertEquals(Severity.PROGRESS, Severity.of(level), "level " + level);
        }
        for (int level : new int[] {1000, Integer.MAX_VALUE}) {
            assertEquals(Severity.ERROR, Severity.of(level), "level " + level);
        }
    }

    @Test
    void theSystemLoggerIsUsedWhereTheJvmHasIt() {
        assertInstanceOf(SystemLoggerTarget.class, LogTarget.platformLogger(Runtime.LOGGER_NAME));
    }

    @ParameterizedTest
    @MethodSource("platformTargets")
    void thresholdIsTheLowestLibraryLevelTheLoggerPrints(LogTarget target) {
        Map<Level, Integer> expected = new LinkedHashMap<>();
        expected.put(Level.OFF, Integer.MAX_VALUE);
        expected.put(Level.SEVERE, Runtime.LOG_ERROR);
        // No library level maps to warnings: only errors get through.
        expected.put(Level.WARNING, Runtime.LOG_ERROR);
        // Progress lines are debugging output: the default level INFO keeps them back.
        expected.put(Level.INFO, Runtime.LOG_ERROR);
        expected.put(Level.CONFIG, Runtime.LOG_ERROR);
        expected.put(Level.FINE, Runtime.LOG_INFO);
        expected.put(Level.FINER, Integer.MIN_VALUE);
        expected.put(Level.ALL, Integer.MIN_VALUE);
        expected.forEach((level, threshold) -> {
            logger.setLevel(level);
            assertEquals(threshold, target.threshold(), "logger at " + level);
        });
    }

    @ParameterizedTest
    @MethodSource("platformTargets")
    void linesReachTheNamedLoggerAtTheirSeverity(LogTarget target) {
        logger.setLevel(Level.ALL);
        Exception failure = new Exception("cause");
        target.log(Severity.DETAIL, "detail", null);
        target.log(Severity.PROGRESS, "Processing a.B", null);
        target.log(Severity.ERROR, "Decompression failed", failure);
        logger.setLevel(Level.INFO);
        target.log(Severity.PROGRESS, "hidden", null);

        assertEquals(3, records.size());
        Level[] levels = {Level.FINER, Level.FINE, Level.SEVERE};
        String[] texts = {"detail", "Processing a.B", "Decompression failed"};
        for (int i = 0; i < 3; i++) {
            assertEquals(Runtime.LOGGER_NAME, records.get(i).getLoggerName());
            assertEquals(levels[i], records.get(i).getLevel());
            assertEquals(texts[i], records.get(i).getMessage());
        }
        assertSame(failure, records.get(2).getThrown());
    }
}
