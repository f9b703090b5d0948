package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class VersionTest {
    @Test
    void theHolderKeepsTheNumbersInTheLibrarysOrder() {
        Version.Holder holder = new Version.Holder();
        holder.set(1, 2, 3, 4, 2005, 6, 7);
        Version version = holder.version(0);

        int[] parts = {version.major(), version.minor(), version.release(), version.build(),
                       version.year(), version.month(), version.day()};
        assertEquals("[1, 2, 3, 4, 2005, 6, 7]", java.util.Arrays.toString(parts));
        assertEquals("1.2.3.4 (2005-06-07)", version.toString());
    }

    @Test
    void aRefusedOrEmptyQueryIsAnError() {
        Version.Holder filled = new Version.Holder();
        filled.set(9, 0, 1220, 500, 2013, 10, 28);
        IllegalStateException refused = assertThrows(IllegalStateException.class,
                () -> filled.version(2));
        assertTrue(refused.getMessage().contains("result 2"), refused.getMessage());

        assertThrows(IllegalStateException.class, () -> new Version.Holder().version(0));
    }

    @Test
    void versionsAreEqualInEveryPart() {
        int[] parts = {9, 0, 1220, 500, 2013, 10, 28};
        Version version = of(parts);
        assertEquals(version, of(parts));
        assertEquals(version.hashCode(), of(parts).hashCode());
        for (int i = 0; i < parts.length; i++) {
            int[] other = parts.clone();
            other[i]++;
            assertNotEquals(version, of(other), "differs in part " + i);
        }
    }

    private static Version of(int[] p) {
        return new Version(p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
    }
}
