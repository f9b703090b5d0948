package com.kelo.rvs;

import static java.util.Arrays.asList;
import static java.util.Collections.emptyList;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class LibraryLoaderTest {
    @TempDir
    Path dir;

    /** Records the loads asked for and fails them with the given error, if any. */
    private static final class RecordingLinker implements LibraryLoader.Linker {
        final List<String> calls = new ArrayList<>();
        final UnsatisfiedLinkError failure;

        RecordingLinker(UnsatisfiedLinkError failure) {
            this.failure = failure;
        }

        @Override
        public void load(String absolutePath) {
            calls.add("load " + absolutePath);
            fail();
        }

        @Override
        public void loadLibrary(String name) {
            calls.add("loadLibrary " + name);
            fail();
        }

        private void fail() {
            if (failure != null) {
                throw failure;
            }
        }
    }

    @Test
    void withoutAPathTheLibraryIsLoadedByName() {
        for (String property : new String[] {null, "", "  "}) {
            RecordingLinker linker = new RecordingLinker(null);
            LibraryLoader.load(property, linker);
            assertEquals(asList("loadLibrary KeloRvs4J32"), linker.calls, "property " + property);
        }
    }

    @Test
    void aPathIsTheOnlyFileTriedAndMadeAbsolute() throws IOException {
        Path library = Files.createFile(dir.resolve("libKeloRvs4J32.so"));
        Path relative = Paths.get(System.getProperty("user.dir")).relativize(library);

        for (Path path : new Path[] {library, relative}) {
            RecordingLinker linker = new RecordingLinker(null);
            LibraryLoader.load(path.toString(), linker);
            assertEquals(1, linker.calls.size());
            Path loaded = Paths.get(linker.calls.get(0).substring("load ".length()));
            assertTrue(loaded.isAbsolute() && Files.isSameFile(loaded, library),
                    path + " loaded as " + loaded);
        }
    }

    @Test
    void aMissingFileIsNamedWithTheProperty() {
        String missing = dir.resolve("nowhere.so").toString();
        RecordingLinker linker = new RecordingLinker(null);
        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
                () -> LibraryLoader.load(missing, linker));
        assertMentions(error, missing, Runtime.LIBRARY_PROPERTY, "no such file");
        assertEquals(emptyList(), linker.calls);
    }

    @Test
    void aFileTheJvmRefusesIsNamedWithItsReason() throws IOException {
        Path library = Files.createFile(dir.resolve("libKeloRvs4J32.so"));
        UnsatisfiedLinkError refusal = new UnsatisfiedLinkError("invalid ELF header");
        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
                () -> LibraryLoader.load(library.toString(), new RecordingLinker(refusal)));
        assertMentions(error, library.toString(), Runtime.LIBRARY_PROPERTY, "invalid ELF header");
        assertSame(refusal, error.getCause());
    }

    @Test
    void aFailedSearchNamesTheFileTheSearchPathAndTheProperty() {
        UnsatisfiedLinkError refusal = new UnsatisfiedLinkError("no KeloRvs4J32 in path");
        UnsatisfiedLinkError error = assertThrows(UnsatisfiedLinkError.class,
                () -> LibraryLoader.load(null, new RecordingLinker(refusal)));
        assertMentions(error, System.mapLibraryName("KeloRvs4J32"),
                System.getProperty("java.library.path"), Runtime.LIBRARY_PROPERTY,
                "no KeloRvs4J32 in path");
        assertSame(refusal, error.getCause());
    }

    private static void assertMentions(Throwable error, String... parts) {
        for (String part : parts) {
            assertTrue(error.getMessage().contains(part), error.getMessage() + " lacks " + part);
        }
    }
}
