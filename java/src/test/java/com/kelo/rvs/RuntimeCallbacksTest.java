package com.kelo.rvs;

import static java.util.Arrays.asList;
import static java.util.Collections.emptyList;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kelo.rvs.LogTarget.Severity;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

/** What the library's calls into the runtime do, without the library. */
class RuntimeCallbacksTest {
    private final RecordingTarget log = new RecordingTarget();
    private final Runtime runtime = new Runtime(log);

    /** Keeps the messages it hears, prefixed with its name. */
    private static final class Recorder implements RuntimeListener {
        final String name;
        final List<String> heard;

        Recorder(String name, List<String> heard) {
            this.name = name;
            this.heard = heard;
        }

        @Override
        public void started() {
            heard.add(name + " started");
        }

        @Override
        public void error(String text) {
            heard.add(name + " error " + text);
        }
    }

    @Test
    void logWritesAtTheLevelsSeverityAndAnswersTheLoggersThreshold() {
        log.lowest = Severity.PROGRESS;
        assertEquals(Runtime.LOG_INFO, runtime.log(799, "detail"));
        assertEquals(Runtime.LOG_INFO, runtime.log(999, "Processing a.B"));
        assertEquals(Runtime.LOG_INFO, runtime.log(1000, "Decompression failed"));
        assertEquals(asList("PROGRESS Processing a.B", "ERROR Decompression failed"), log.printed());

        log.lowest = null;
        assertEquals(Integer.MAX_VALUE, runtime.log(Integer.MAX_VALUE, "off"));
        log.lowest = Severity.DETAIL;
        assertEquals(Integer.MIN_VALUE, runtime.log(Integer.MIN_VALUE, "everything"));
    }

    @Test
    void aFailingLoggerDoesNotThrowIntoTheLibrary() {
        Runtime failing = new Runtime(new RecordingTarget() {
            @Override
            public void log(Severity severity, String text, Throwable thrown) {
                throw new IllegalStateException("handler broken");
            }
        });
        assertEquals(Runtime.LOG_ERROR, failing.log(Runtime.LOG_ERROR, "text"));
        failing.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                throw new IllegalArgumentException(text);
            }
        });
        assertEquals(0, failing.errorUnspecified("Internal error!"));
    }

    @Test
    void errorsGoToTheLogWhileNoListenerIsRegistered() {
        List<String> heard = new ArrayList<>();
        Recorder listener = new Recorder("a", heard);

        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));
        runtime.addListener(listener);
        assertEquals(0, runtime.errorUnspecified("CRC mismatch!"));
        runtime.removeListener(listener);
        assertEquals(0, runtime.errorUnspecified("Internal error!"));

        assertEquals(asList("ERROR Decompression failed!", "ERROR Internal error!"), log.printed());
        assertEquals(asList("a error CRC mismatch!"), heard);
    }

    @Test
    void everyListenerHearsEachMessageEvenWhenOneThrows() {
        List<String> heard = new ArrayList<>();
        IllegalStateException failure = new IllegalStateException("listener broken");
        runtime.addListener(new Recorder("a", heard));
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
        runtime.addListener(new Recorder("b", heard));

        assertEquals(0, runtime.messageStart());
        assertEquals(0, runtime.errorUnspecified("Decompression failed!"));

        assertEquals(asList("a started", "b started", "a error Decompression failed!",
                             "b error Decompression failed!"),
                heard);
        assertEquals(2, log.lines.size());
        for (RecordingTarget.Line line : log.lines) {
            assertEquals(Severity.ERROR, line.severity);
            assertSame(failure, line.thrown);
        }
        assertTrue(log.lines.get(1).text.contains("Decompression failed!"), log.lines.get(1).text);
    }

    @Test
    void startWithoutListenersIsQuietAndTheBuildAllowsConcurrentLoads() {
        assertEquals(0, runtime.messageStart());
        assertEquals(emptyList(), log.printed());
        // Below 99 the library would serialise every class load on the runtime class.
        assertTrue(runtime.getRvsJavaRuntimeBuild() >= 99);
    }
}
