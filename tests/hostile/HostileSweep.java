package com.kelo.rvs;

import com.kelo.pack.Carrier;
import com.kelo.pack.ContainerHeader;
import com.kelo.pack.Containers;
import com.kelo.pack.WrapOptions;
import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * Damaged real containers (see {@link HostileCases}) through iLoadClass, then through the
 * class-load hook as raw containers and inside carrier class files, and every truncation of the
 * intact containers' carriers through the hook. Each answer must be the original class (same
 * name and members) or a clean refusal: null from iLoadClass, the JVM's ClassFormatError, or,
 * for a carrier whose container the hook cannot use, the carrier itself.
 * Prints the counts of every path; exits with status 1 on any other answer.
 */
public final class HostileSweep {
    /** Real classes of the packer, a small one and a larger one. */
    private static final String[] CLASSES = {"com/kelo/pack/WrapOptions", "com/kelo/pack/Carrier"};
    /** Container bytes per carrier piece: small enough that most carriers have several. */
    private static final int PIECE_BYTES = 1024;
    private static final int FAILURES_SHOWN = 20;
    /** The library's bound on what a gzip member may inflate to: its length times this. */
    private static final long MAX_DEFLATE_RATIO = 1032;
    private static final int GZIP_FRAME = 18;
    /**
     * The sanitizer run's largest allocation, in bytes: it must be at least what the corpus
     * justifies, or intact containers would end the run.
     */
    private static final String ALLOCATION_LIMIT = "kelo.rvs.test.allocationLimit";

    private static final LogTarget QUIET = new LogTarget() {
        @Override
        public boolean isLoggable(Severity severity) {
            return false;
        }

        @Override
        public void log(Severity severity, String text, Throwable thrown) {}
    };

    /** A real container and the class it holds. */
    private static final class Base {
        final String name;
        final String form;
        final byte[] container;
        final String members;
        final String carrierMembers;
        /**
         * The largest allocation the container can justify: what its gzip member may inflate to
         * by the library's ratio, or its class, or its carrier (Base64, a third larger).
         */
        final long justified;

        Base(String name, boolean compressed) throws Exception {
            this.name = name;
            this.form = compressed ? "gzip" : "stored";
            WrapOptions options = new WrapOptions();
            options.compressed = compressed;
            options.crc = true;
            byte[] classFile = classFile(name);
            container = Containers.wrap(classFile, options);
            long packed = container.length - ContainerHeader.LENGTH;
            justified = Math.max(container.length * 2L,
                    compressed ? (packed - GZIP_FRAME) * MAX_DEFLATE_RATIO + 4 : classFile.length);
            members = ClassMembers.describe(Class.forName(name.replace('/', '.')));
            // Without a container in it, a carrier passes the hook unchanged.
            carrierMembers = ClassMembers.describe(
                    new DefiningLoader().define(name, Carrier.build(name, new byte[0], 0)));
        }
    }

    /** What one path answered. */
    private static final class Tally {
        final String path;
        int cases;
        int defined;
        int refused;
        int rejected;
        int carrierKept;
        final List<String> failures = new ArrayList<>();

        Tally(String path) {
            this.path = path;
        }

        @Override
        public String toString() {
            return String.format("%-15s %6d cases: %5d defined, %6d refused (null), %6d"
                            + " ClassFormatError, %5d carrier kept, %d failures",
                    path, cases, defined, refused, rejected, carrierKept, failures.size());
        }
    }

    /** A fresh loader that defines what it is given; its parent resolves the packer's types. */
    private static final class DefiningLoader extends ClassLoader {
        DefiningLoader() {
            super(HostileSweep.class.getClassLoader());
        }

        Class<?> define(String internalName, byte[] data) {
            return defineClass(internalName.replace('/', '.'), data, 0, data.length);
        }
    }

    private interface Loading {
        Class<?> load(ClassLoader loader) throws Throwable;
    }

    private static int reports;

    public static void main(String[] args) throws Exception {
        new Runtime();
        Runtime runtime = new Runtime(QUIET);
        runtime.addListener(new RuntimeListener() {
            @Override
            public void error(String text) {
                reports++;
            }
        });
        String limit = System.getProperty(ALLOCATION_LIMIT);
        List<Base> bases = new ArrayList<>();
        List<HostileCases> damaged = new ArrayList<>();
        int skipped = 0;
        long justified = 0;
        for (String name : CLASSES) {
            for (boolean compressed : new boolean[] {false, true}) {
                Base base = new Base(name, compressed);
                HostileCases cases = new HostileCases(base.container);
                bases.add(base);
                damaged.add(cases);
                skipped += cases.skippedClassKind0;
                justified = Math.max(justified, base.justified);
                System.out.println(name + " " + base.form + ": " + base.container.length
                        + " bytes, " + cases.cases.size() + " damaged forms");
            }
        }

        Tally direct = new Tally("iLoadClass");
        for (int i = 0; i < bases.size(); i++) {
            Base base = bases.get(i);
            check(direct, base, "intact", false,
                    loader -> runtime.iLoadClass(loader, base.name, base.container), true);
            for (HostileCases.Case c : damaged.get(i).cases) {
                check(direct, base, c.label, false,
                        loader -> runtime.iLoadClass(loader, base.name, c.data), false);
            }
        }
        int directReports = reports;

        // From here on, every class defined in this JVM passes the hook first.
        runtime.installClassLoadHook("T");
        Tally hooked = new Tally("hook container");
        Tally carried = new Tally("hook carrier");
        Tally cut = new Tally("carrier cut");
        for (int i = 0; i < bases.size(); i++) {
            Base base = bases.get(i);
            byte[] intactCarrier = Carrier.build(base.name, base.container, PIECE_BYTES);
            check(hooked, base, "intact", false,
                    loader -> ((DefiningLoader) loader).define(base.name, base.container), true);
            check(carried, base, "intact", true,
                    loader -> ((DefiningLoader) loader).define(base.name, intactCarrier), true);
            for (HostileCases.Case c : damaged.get(i).cases) {
                check(hooked, base, c.label, false,
                        loader -> ((DefiningLoader) loader).define(base.name, c.data), false);
                byte[] carrier = Carrier.build(base.name, c.data, PIECE_BYTES);
                check(carried, base, c.label, true,
                        loader -> ((DefiningLoader) loader).define(base.name, carrier), false);
            }
            // The carrier itself cut short: the hook sees a class file whose last piece, or its
            // closing tag, is missing.
            for (int length = 0; length < intactCarrier.length; length++) {
                byte[] part = Arrays.copyOf(intactCarrier, length);
                check(cut, base, "carrier truncated to " + length, true,
                        loader -> ((DefiningLoader) loader).define(base.name, part), false);
            }
        }

        int failures = 0;
        for (Tally tally : new Tally[] {direct, hooked, carried, cut}) {
            System.out.println(tally);
            for (int i = 0; i < Math.min(FAILURES_SHOWN, tally.failures.size()); i++) {
                System.out.println("  " + tally.failures.get(i));
            }
            failures += tally.failures.size();
        }
        System.out.println("errors reported: " + directReports + " through iLoadClass, "
                + (reports - directReports) + " through the hook; class kind 0 skipped: "
                + skipped);
        System.out.println("largest allocation the corpus justifies: " + justified + " bytes"
                + (limit != null ? ", allowed: " + limit : ""));
        if (limit != null && justified > Long.parseLong(limit)) {
            System.out.println("the allocation limit is below what the corpus justifies");
            failures++;
        }
        System.exit(failures == 0 ? 0 : 1);
    }

    /**
     * Runs one case on a fresh loader and files its answer. An intact container must define
     * the class; a damaged one may as well, if the damage does not matter to the library.
     */
    private static void check(Tally tally, Base base, String label, boolean carrier,
            Loading loading, boolean mustDefine) {
        tally.cases++;
        String what = base.name + " " + base.form + ", " + label + ": ";
        DefiningLoader loader = new DefiningLoader();
        Class<?> loaded;
        try {
            loaded = loading.load(loader);
        } catch (ClassFormatError e) {
            tally.rejected++;
            if (mustDefine) {
                tally.failures.add(what + e);
            }
            return;
        } catch (Throwable e) {
            tally.failures.add(what + e);
            return;
        }
        if (loaded == null) {
            tally.refused++;
            if (mustDefine || carrier) {
                tally.failures.add(what + "null");
            }
            return;
        }
        String members = ClassMembers.describe(loaded);
        if (loaded.getClassLoader() != loader) {
            tally.failures.add(what + "defined by " + loaded.getClassLoader());
        } else if (members.equals(base.members)) {
            tally.defined++;
        } else if (carrier && !mustDefine && members.equals(base.carrierMembers)) {
            tally.carrierKept++;
        } else {
            tally.failures.add(what + "a class unlike the original:\n" + members);
        }
    }

    private static byte[] classFile(String name) throws IOException {
        try (InputStream in = ClassLoader.getSystemResourceAsStream(name + ".class")) {
            if (in == null) {
                throw new IOException("no class file for " + name + " on the class path");
            }
            return in.readAllBytes();
        }
    }

    private HostileSweep() {}
}
