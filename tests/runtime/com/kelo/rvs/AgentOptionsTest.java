package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.*;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The agent's options: hook, name and level, or the error they get. */
class AgentOptionsTest {
    @ParameterizedTest
    @CsvSource(delimiter = '|', nullValues = "null", value = {"null | T null null",
        "hook=p,name=Shop,log=DEBUG | p Shop FINE", "'log=off,name=a=b c' | T a=b c OFF",
        "hok=T | unknown option \"hok=T\"", "hook=X | Unknown class-load hook mode: X (T or P)",
        "name | option name needs a value", "'hook=T,hook=P' | option hook is given twice",
        "log=loud | unknown log level \"loud\""})
    void parsedOrRefused(String text, String expected) {
        String outcome;
        try {
            Agent.Options options = Agent.Options.parse(text);
            outcome = options.hook + " " + options.name + " " + options.log;
        } catch (IllegalArgumentException e) {
            outcome = e.getMessage();
        }
        assertEquals(expected, outcome);
    }
}
