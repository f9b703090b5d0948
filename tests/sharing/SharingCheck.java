package com.kelo.rvs;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
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
    private static final Pattern LOAD_LINE =
            Pattern.compile("\\[class,load\\] (\\S+) source: (.*)$", Pattern.MULTILINE);

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
        for (int i = 1; i < args.length; i++) {
            try {
                Class.forName(args[i], false, ClassLoader.getSystemClassLoader());
            } catch (ClassNotFoundException e) {
                // A class of a module outside the boot layer: it shows up in no log line.
            }
        }
    }

    private static void shared() throws Exception {
        // Lambda forms and hidden classes carry an @.
        Path classList = Path.of(System.getProperty("java.home"), "lib", "classlist");
        List<String> listed = Files.readAllLines(classList).stream()
                .filter(l -> !l.isEmpty() && !l.startsWith("#") && !l.contains("@"))
                .map(l -> l.replace('/', '.')).collect(Collectors.toList());
        List<String> shared = new ArrayList<>();
        sources("none", listed).forEach((name, source) -> {
            if (source.equals(SHARED)) {
                shared.add(name);
            }
        });
        expect(shared.size() >= 5, "no class-data sharing in this JVM");
        Map<String, String> hooked = sources("hook", shared);
        // Classes that the runtime's start loaded before the hook are not seen again.
        List<String> seen = shared.stream().filter(hooked::containsKey)
                .collect(Collectors.toList());
        expect(seen.size() >= 5, "too few archived classes loaded after the hook: " + seen);
        for (String name : seen) {
            expect(SHARED, hooked.get(name), name);
        }
    }

    /** Where a child JVM took each class from that it loaded after its start line. */
    private static Map<String, String> sources(String mode, List<String> classes) throws Exception {
        List<String> arguments = new ArrayList<>(List.of("-Xlog:class+load",
                SharingCheck.class.getName(), mode));
        arguments.addAll(classes);
        Child child = child(System.getProperty("java.class.path"),
                arguments.toArray(String[]::new));
        expect(child.status() == 0, child);
        String output = child.output();
        Map<String, String> sources = new LinkedHashMap<>();
        Matcher line = LOAD_LINE.matcher(output.substring(output.indexOf("start " + mode)));
        while (line.find()) {
            sources.put(line.group(1), line.group(2));
        }
        return sources;
    }
}
