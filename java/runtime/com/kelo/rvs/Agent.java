package com.kelo.rvs;

import java.lang.instrument.Instrumentation;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.logging.ConsoleHandler;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.Logger;

/**
 * The runtime as a Java agent: {@code java -javaagent:kelo-rvs.jar[=OPTIONS] ...} loads the
 * library and installs its class-load hook before the application's main class is loaded, so
 * that an application starts protected through its own scripts. OPTIONS are {@value #OPTIONS},
 * separated by commas. A bad option, a library that cannot be loaded or a hook that the JVM
 * refuses ends the JVM with one line on standard error: protected classes cannot run without
 * the hook, and would fail later, far from the cause.
 */
public final class Agent {
    static final String OPTIONS = "hook=T|P, name=APPLICATION, log=off|error|debug|trace";

    // The level is lost if the logging framework's weak reference to the logger is collected.
    private static Logger configuredLogger;

    private Agent() {}

    /** Started by {@code -javaagent}, before the application's main class is loaded. */
    public static void premain(String options, Instrumentation instrumentation) {
        start(options);
    }

    private static void start(String text) {
        Options options;
        try {
            options = Options.parse(text);
        } catch (IllegalArgumentException e) {
            stop(2, e.getMessage() + "; options: " + OPTIONS);
            return;
        }
        if (options.log != null) {
            configuredLogger = logTo(options.log);
        }
        try {
            Launcher.protect(options.hook, options.name);
        } catch (UnsatisfiedLinkError | IllegalStateException e) {
            stop(1, e.getMessage());
        }
    }

    private static void stop(int status, String message) {
        System.err.println("com.kelo.rvs.Agent: " + message);
        System.exit(status);
    }

    /**
     * Shows the library's lines from the given level on, on standard error, whatever the level
     * of the root logger: through java.util.logging, the platform logger's default back end.
     */
    private static Logger logTo(Level level) {
        Logger logger = Logger.getLogger(Runtime.LOGGER_NAME);
        logger.setLevel(level);
        if (level != Level.OFF) {
            Handler handler = new ConsoleHandler();
            handler.setLevel(level);
            logger.addHandler(handler);
            logger.setUseParentHandlers(false);
        }
        return logger;
    }

    /** The agent's options, from text such as {@code hook=T,name=Shop,log=debug}. */
    static final class Options {
        private static final List<String> KEYS = Arrays.asList("hook", "name", "log");

        final String hook;
        final String name;
        /** The level of the library's logger, or null to leave it to the logging configuration. */
        final Level log;

        private Options(String hook, String name, Level log) {
            this.hook = hook;
            this.name = name;
            this.log = log;
        }

        /** @throws IllegalArgumentException naming the first bad option */
        static Options parse(String text) {
            String hook = "T";
            String name = null;
            Level log = null;
            boolean[] seen = new boolean[KEYS.size()];
            if (text == null || text.isEmpty()) {
                return new Options(hook, name, log);
            }
            for (String option : text.split(",", -1)) {
                int equals = option.indexOf('=');
                String key = equals < 0 ? option : option.substring(0, equals);
                String value = equals < 0 ? "" : option.substring(equals + 1);
                int index = KEYS.indexOf(key);
                if (index < 0) {
                    throw new IllegalArgumentException("unknown option \"" + option + "\"");
                }
                if (value.isEmpty()) {
                    throw new IllegalArgumentException("option " + key + " needs a value");
                }
                if (seen[index]) {
                    throw new IllegalArgumentException("option " + key + " is given twice");
                }
                seen[index] = true;
                if (index == 0) {
                    Runtime.checkHookMode(value);
                    hook = value;
                } else if (index == 1) {
                    name = value;
                } else {
                    log = level(value);
                }
            }
            return new Options(hook, name, log);
        }

        // The library's severities as java.util.logging sees them (see JulTarget).
        private static Level level(String value) {
            switch (value.toLowerCase(Locale.ROOT)) {
                case "off":
                    return Level.OFF;
                case "error":
                    return Level.SEVERE;
                case "debug":
                    return Level.FINE;
                case "trace":
                    return Level.FINER;
                default:
                    throw new IllegalArgumentException("unknown log level \"" + value + "\"");
            }
        }
    }
}
