package com.kelo.rvs;

import java.util.Arrays;

/**
 * The version of the native library: the four parts of its file version and its build date.
 * Instances are immutable.
 *
 * @see Runtime#version()
 */
public final class Version {
    private final int major;
    private final int minor;
    private final int release;
    private final int build;
    private final int year;
    private final int month;
    private final int day;

    /**
     * Creates a version from its parts.
     *
     * @param major the first part of the file version
     * @param minor the second part
     * @param release the third part
     * @param build the fourth part
     * @param year the year of the build date
     * @param month the month of the build date, 1 to 12
     * @param day the day of the month of the build date
     */
    public Version(int major, int minor, int release, int build, int year, int month, int day) {
        this.major = major;
        this.minor = minor;
        this.release = release;
        this.build = build;
        this.year = year;
        this.month = month;
        this.day = day;
    }

    /** @return the first part of the file version */
    public int major() {
        return major;
    }

    /** @return the second part of the file version */
    public int minor() {
        return minor;
    }

    /** @return the third part of the file version */
    public int release() {
        return release;
    }

    /** @return the fourth part of the file version */
    public int build() {
        return build;
    }

    /** @return the year of the build date */
    public int year() {
        return year;
    }

    /** @return the month of the build date, 1 to 12 */
    public int month() {
        return month;
    }

    /** @return the day of the month of the build date */
    public int day() {
        return day;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof Version)) {
            return false;
        }
        Version that = (Version) other;
        return major == that.major && minor == that.minor && release == that.release
                && build == that.build && year == that.year && month == that.month
                && day == that.day;
    }

    @Override
    public int hashCode() {
        return Arrays.hashCode(new int[] {major, minor, release, build, year, month, day});
    }

    /** @return the file version and the build date, as in {@code 9.0.1220.500 (2013-10-28)} */
    @Override
    public String toString() {
        return String.format("%d.%d.%d.%d (%04d-%02d-%02d)", major, minor, release, build, year,
                month, day);
    }

    /**
     * Receives the version from the library, which calls {@link #set} with the seven numbers.
     * Not thread-safe: one holder serves one query.
     */
    static final class Holder {
        private Version version;

        // Called by the library; its name and signature (seven ints, void) are fixed.
        void set(int major, int minor, int release, int build, int year, int month, int day) {
            version = new Version(major, minor, release, build, year, month, day);
        }

        /**
         * The version that the library delivered.
         *
         * @param result what the library's version query answered
         * @throws IllegalStateException if the query failed or delivered nothing
         */
        Version version(int result) {
            if (result != 0) {
                throw new IllegalStateException(
                        "The native library refused the version query (result " + result + ")");
            }
            if (version == null) {
                throw new IllegalStateException(
                        "The native library answered the version query without a version");
            }
            return version;
        }
    }
}
