package com.kelo.check;

import com.kelo.pack.Carrier;
import com.kelo.pack.ContainerHeader;
import com.kelo.rvs.NativeEntryPoints;
import com.kelo.rvs.Runtime;
import java.util.*;
import java.util.function.Function;
import java.util.stream.*;

/**
 * Damaged forms of real containers through iLoadClass and through the class-load hook, as they
 * are and inside carrier class files, and every truncation of the intact carriers. The damaged
 * forms: every truncation, and every header byte and multi-byte field set to 0, 1, its largest
 * value and its own value plus and minus one (but class kind 0, whose failing version gate would
 * end the JVM). Each answer must be the original class, or a clean refusal: null from iLoadClass,
 * the JVM's ClassFormatError, or, from the hook, the carrier itself when it holds no container
 * the library can use.
 */
final class HostileSweep extends JvmTest {
    /** The multi-byte fields of the header, as offset and width; every byte is one as well. */
    private static final int[][] WIDE_FIELDS = {{ContainerHeader.OFFSET_FORMAT_VERSION, 2},
        {ContainerHeader.OFFSET_HEADER_LENGTH, 2}, {ContainerHeader.OFFSET_CLASS_SIZE, 4},
        {ContainerHeader.OFFSET_PACKED_LENGTH, 4}, {ContainerHeader.OFFSET_CLASS_CRC, 4}};

    private String members;
    private String carrierMembers;

    /** A fresh loader that defines what it is given; its parent resolves the packer's types. */
    private static final class DefiningLoader extends ClassLoader {
        DefiningLoader() {
            super(HostileSweep.class.getClassLoader());
        }

        Class<?> define(String name, byte[] data) {
            return defineClass(name, data, 0, data.length);
        }
    }

    public static void main(String[] args) throws Exception {
        new HostileSweep().run();
    }

    private void run() throws Exception {
        Runtime runtime = runtime(null, line -> {});
        NativeEntryPoints natives = new NativeEntryPoints(runtime);
        // From here on, every class defined in this JVM passes the hook first.
        runtime.installClassLoadHook("T");
        for (Class<?> type : List.of(com.kelo.pack.WrapOptions.class, Carrier.class)) {
            String name = type.getName();
            String internal = internalName(type);
            members = describe(type);
            // Without a container in it, a carrier passes the hook unchanged.
            carrierMembers = describe(new DefiningLoader().define(name,
                    Carrier.build(internal, new byte[0], 0)));
            for (boolean compressed : new boolean[] {false, true}) {
                byte[] container = container(classFile(type), o -> o.compressed = compressed);
                String base = name + " " + container.length + ", ";
                for (Map.Entry<String, byte[]> form : damaged(container).entrySet()) {
                    byte[] data = form.getValue();
                    byte[] carrier = Carrier.build(internal, data, 1024);
                    String label = base + form.getKey();
                    sweep("iLoadClass", label, l -> natives.iLoadClass(l, internal, data));
                    sweep("hook container", label, l -> l.define(name, data));
                    sweep("hook carrier", label, l -> l.define(name, carrier));
                }
                byte[] intact = Carrier.build(internal, container, 1024);
                for (int length = 0; length < intact.length; length++) {
                    byte[] cut = Arrays.copyOf(intact, length);
                    sweep("carrier cut", base + "cut to " + length, l -> l.define(name, cut));
                }
            }
        }
        end();
    }

    private static Map<String, byte[]> damaged(byte[] container) {
        Map<String, byte[]> forms = new LinkedHashMap<>();
        forms.put("intact", container);
        for (int length = 0; length < container.length; length++) {
            forms.put("cut to " + length, Arrays.copyOf(container, length));
        }
        for (int[] field : Stream.concat(Stream.of(WIDE_FIELDS), IntStream.range(0,
                ContainerHeader.LENGTH).mapToObj(at -> new int[] {at, 1})).toList()) {
            long max = (1L << 8 * field[1]) - 1;
            long value = 0;
            for (int i = field[1] - 1; i >= 0; i--) {
                value = value << 8 | container[field[0] + i] & 0xFF;
            }
            for (long changed : new long[] {0, 1, max, value + 1 & max, value - 1 & max}) {
                if (field[0] != ContainerHeader.OFFSET_CLASS_KIND || changed != 0) {
                    forms.putIfAbsent(field[1] + " bytes at " + field[0] + " = " + changed,
                            with(container, field[0], field[1], changed));
                }
            }
        }
        return forms;
    }

    /** One case on a fresh loader. An intact container must define its class. */
    private void sweep(String path, String label, Function<DefiningLoader, Class<?>> loading) {
        check(path + ", " + label, () -> {
            DefiningLoader loader = new DefiningLoader();
            // What it throws counts by name: only the JVM's ClassFormatError is allowed.
            String answer = outcome(() -> {
                Class<?> loaded = loading.apply(loader);
                String found = loaded == null ? null : describe(loaded);
                return loaded == null ? "null" : loaded.getClassLoader() != loader ? "other loader"
                        : found.equals(members) ? "defined"
                        : found.equals(carrierMembers) ? "carrier kept" : found;
            });
            Set<String> allowed = label.endsWith("intact") ? Set.of("defined")
                    : path.equals("iLoadClass") ? Set.of("defined", "null", "ClassFormatError")
                    : Set.of("defined", "carrier kept", "ClassFormatError");
            expect(allowed.contains(answer), answer);
        });
    }
}
