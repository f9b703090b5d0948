package com.kelo.pack;

import com.kelo.rvs.format.EmbeddedContainers;

/** Describes a container, or the container a carrier class file holds, as text. */
final class Inspector {
    private Inspector() {}

    static String describe(String label, byte[] data) throws PackException {
        StringBuilder s = new StringBuilder();
        byte[] container = data;
        if (Containers.isClassFile(data)) {
            String name = Carrier.taggedName(data);
            container = name == null ? new byte[0] : EmbeddedContainers.extract(data, name);
            if (container.length == 0) {
                throw new PackException("a class file without an embedded container");
            }
            s.append(label).append(": carrier class ").append(name).append(", ")
                    .append(plural(pieces(data, name), "Base64 piece")).append(", container of ")
                    .append(container.length).append(" bytes\n");
        } else {
            s.append(label).append(": container of ").append(data.length).append(" bytes\n");
        }
        ContainerHeader h = ContainerHeader.parse(container);
        line(s, "class kind", h.classKind + (h.classKind == 0
                ? " (the Java version range is checked)" : " (no Java version check)"));
        line(s, "format version", String.valueOf(h.formatVersion));
        line(s, "header length", String.valueOf(h.headerLength));
        line(s, "Java versions", (ContainerHeader.isZero(h.minJava)
                ? "any" : ContainerHeader.versionText(h.minJava)) + " to "
                + (ContainerHeader.isZero(h.maxJava) ? "any" : ContainerHeader.versionText(h.maxJava)));
        line(s, "class bytes", h.compressed ? "gzip, " + h.packedLength + " bytes" : "stored");
        line(s, "class size", String.valueOf(h.classSize));
        StringBuilder options = new StringBuilder(String.format("0x%02X", h.options));
        if ((h.options & ContainerHeader.OPTION_CRC) != 0) {
            options.append(" crc");
        }
        if ((h.options & ContainerHeader.OPTION_SUSPEND_THREADS) != 0) {
            options.append(" suspend-threads");
        }
        line(s, "options", options.toString());
        line(s, "class CRC-32", String.format("0x%08X", h.classCrc));
        String check;
        try {
            byte[] classFile = Containers.unwrap(container);
            check = "decodes to a class file of " + classFile.length + " bytes";
        } catch (PackException e) {
            check = "the library would refuse it: " + e.getMessage();
        }
        line(s, "check", check);
        return s.toString();
    }

    private static int pieces(byte[] classFile, String name) {
        int n = 0;
        byte[] open;
        do {
            open = EmbeddedContainers.tag(name, n, true)
                    .getBytes(java.nio.charset.StandardCharsets.UTF_8);
        } while (Carrier.indexOf(classFile, open, 0) > 0 && ++n > 0);
        return n;
    }

    private static String plural(int n, String word) {
        return n + " " + word + (n == 1 ? "" : "s");
    }

    private static void line(StringBuilder s, String name, String value) {
        s.append(String.format("  %-16s%s%n", name, value));
    }
}
