package com.kelo.rvs;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;

/**
 * A platform logger of Java 9 and later ({@code System.Logger}). This jar is built for Java 8,
 * where that API does not exist, so it is reached through reflection.
 */
final class SystemLoggerTarget implements LogTarget {
    // System.Logger.Level of each severity, in the order of Severity.
    private static final String[] PLATFORM_LEVELS = {"TRACE", "DEBUG", "ERROR"};

    private final Object logger;
    private final Method isLoggable;
    private final Method log;
    private final Object[] levels;

    private SystemLoggerTarget(Object logger, Method isLoggable, Method log, Object[] levels) {
        this.logger = logger;
        this.isLoggable = isLoggable;
        this.log = log;
        this.levels = levels;
    }

    /** The platform logger of that name, or null on a JVM that has no such API. */
    static SystemLoggerTarget create(String name) {
        Class<?> loggerType;
        Class<?> levelType;
        try {
            loggerType = Class.forName("java.lang.System$Logger");
            levelType = Class.forName("java.lang.System$Logger$Level");
        } catch (ClassNotFoundException e) {
            return null;
        }
        try {
            Object logger = System.class.getMethod("getLogger", String.class).invoke(null, name);
            Object[] levels = new Object[PLATFORM_LEVELS.length];
            for (int i = 0; i < levels.length; i++) {
                levels[i] = levelType.getField(PLATFORM_LEVELS[i]).get(null);
            }
            return new SystemLoggerTarget(logger, loggerType.getMethod("isLoggable", levelType),
                    loggerType.getMethod("log", levelType, String.class, Throwable.class), levels);
        } catch (ReflectiveOperationException e) {
            throw new IllegalStateException("Cannot reach the platform logger " + name, e);
        }
    }

    @Override
    public boolean isLoggable(Severity severity) {
        return (Boolean) invoke(isLoggable, levels[severity.ordinal()]);
    }

    @Override
    public void log(Severity severity, String text, Throwable thrown) {
        invoke(log, levels[severity.ordinal()], text, thrown);
    }

    private Object invoke(Method method, Object... arguments) {
        try {
            return method.invoke(logger, arguments);
        } catch (InvocationTargetException e) {
            Throwable cause = e.getCause();
            if (cause instanceof RuntimeException) {
                throw (RuntimeException) cause;
            }
            if (cause instanceof Error) {
                throw (Error) cause;
            }
            throw new IllegalStateException(cause);
        } catch (IllegalAccessException e) {
            throw new IllegalStateException(e);
        }
    }
}
