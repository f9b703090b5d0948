package com.kelo.rvs;

import java.nio.file.*;
import java.util.*;
import java.util.regex.Pattern;
import java.util.stream.Collectors;

/**
 * The class-load hook leaves the JVM its class-data sharing: JDK classes of the default shared
 * archive that are first loaded after the hook is installed still come from the archive, which
 * they would not if the hook handed the JVM new bytes for them. Two child JVMs load classes of
 * the JDK's class list, which its default archive holds: without the hook and with it.
 */
final class SharingCheck extends JvmTest {
    private static final String SHARED = "shared objects file";

    /** Without arguments the check; with "hook" or "none" and class names a child JVM. */
    public static void main(String[] args) throws Exception {
        if (args.length == 0) {
            SharingCheck check = new SharingCheck();
            check.check("classes of the archive stay shared under the hook", SharingCheck::shared);
            check.end();
        }
        if (args[0].equals("hook")) {
            new Runtime().installClassLoadHook("T");
        }
        System.out.println("start " + args[0]);
        for (String name : Arrays.copyOfRange(args, 1, args.length)) {
            // A class of a module outside the boot layer shows up in no log line.
            outcome(() -> Class.forName(name, false, ClassLoader.getSystemClassLoader()));
        }
    }

    private static void shared() throws Exception {
        // Lambda forms and hidden classes carry an @.
        List<String> listed = Files.readAllLines(Path.of(System.getProperty("java.home"), "lib",
                        "classlist")).stream()
                .filter(l -> !l.isEmpty() && !l.startsWith("#") && !l.contains("@"))
                .map(l -> l.replace('/', '.')).collect(Collectors.toList());
        Map<String, String> plain = sources("none", listed);
        List<String> shared = listed.stream().filter(n -> SHARED.equals(plain.get(n))).toList();
        expect(shared.size() >= 5, "no class-data sharing in this JVM");
        // Classes that the runtime's start loaded before the hook are not seen again.
        Map<String, String> hooked = sources("hook", shared);
        List<String> seen = shared.stream().filter(hooked::containsKey).toList();
        expect(seen.size() >= 5, "too few archived classes loaded after the hook: " + seen);
        seen.forEach(name -> expect(SHARED, hooked.get(name), name));
    }

    /** Where a child JVM took each class from that it loaded after its start line. */
    private static Map<String, String> sources(String mode, List<String> classes) throws Exception {
        Child child = child(System.getProperty("java.class.path"), "-Xlog:class+load",
                SharingCheck.class.getName(), mode, classes.toArray(String[]::new));
        expect(child.status() == 0, child);
        return Pattern.compile("\\[class,load\\] (\\S+) source: (.*)$", Pattern.MULTILINE)
                .matcher(child.output().substring(child.output().indexOf("start " + mode)))
                .results().collect(Collectors.toMap(line -> line.group(1), line -> line.group(2),
                        (first, again) -> first));
    }
}
