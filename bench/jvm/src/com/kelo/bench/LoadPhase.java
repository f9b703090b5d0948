package com.kelo.bench;

import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The measured phase of a benchmark process: every class name loaded through one class loader,
 * timed with {@link System#nanoTime()} and with the CPU time of the loading thread, and its
 * report on standard output, which the driver reads: a line
 * {@code RESULT <ns> <loaded> <failed> <VmHWM kB> <CPU ns>}, then one line
 * {@code FAILED <name>} for every class that could not be loaded.
 */
final class LoadPhase {
    private LoadPhase() {}

    static void run(ClassLoader loader, List<String> names) throws IOException {
        List<String> failed = new ArrayList<>();
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        long cpuStart = threads.getCurrentThreadCpuTime();
        long start = System.nanoTime();
        for (String name : names) {
            try {
                loader.loadClass(name);
            } catch (ClassNotFoundException | LinkageError e) {
                failed.add(name);
            }
        }
        long nanos = System.nanoTime() - start;
        long cpuNanos = threads.getCurrentThreadCpuTime() - cpuStart;
        StringBuilder report = new StringBuilder();
        report.append("RESULT ").append(nanos).append(' ').append(names.size() - failed.size())
                .append(' ').append(failed.size()).append(' ').append(peakResidentKb())
                .append(' ').append(cpuNanos).append('\n');
        for (String name : failed) {
            report.append("FAILED ").append(name).append('\n');
        }
        System.out.print(report);
        System.out.flush();
    }

    /** The process's peak resident set (VmHWM), in kB; -1 where /proc does not tell it. */
    static long peakResidentKb() throws IOException {
        Path status = Path.of("/proc/self/status");
        if (!Files.isReadable(status)) {
            return -1;
        }
        for (String line : Files.readAllLines(status, StandardCharsets.US_ASCII)) {
            if (line.startsWith("VmHWM:")) {
                return Long.parseLong(line.substring(6).replace("kB", "").strip());
            }
        }
        return -1;
    }
}
