package com.kelo.rvs;

/**
 * Pauses and resumes the application's own work while the native library reports an error.
 * Once a processed class container has asked for it, the library calls {@link #suspendThreads()}
 * before each error report and {@link #resumeThreads()} after it.
 *
 * <p>This class does nothing and answers 0: it leaves every other thread running. Stopping
 * threads from outside ({@code Thread.suspend}) is not offered: a thread stopped while it holds a
 * lock, such as a class loading lock, would deadlock the report. An application that wants quiet
 * during a report subclasses this and pauses its own workers cooperatively.
 *
 * <p>Both methods are called on the thread that reports, possibly while it loads a class.
 *
 * @see Runtime#setNativeWorker(NativeWorker)
 */
public class NativeWorker {
    /**
     * Called before an error report.
     *
     * @return 0 on success; any other value tells the library that the threads still run
     */
    public int suspendThreads() {
        return 0;
    }

    /**
     * Called after an error report, also when {@link #suspendThreads()} failed.
     *
     * @return 0 on success; any other value tells the library that resuming failed
     */
    public int resumeThreads() {
        return 0;
    }
}
