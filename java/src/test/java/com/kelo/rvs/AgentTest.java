package com.kelo.rvs;

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class AgentTest {
    /** The options as hook, name and level, or the error that they get. */
    @ParameterizedTest(name = "[{0}]")
    @CsvSource(delimiter = ';', nullValues = "null", value = {
        "null; T null null",
        "''; T null null",
        "hook=p,name=Shop,log=DEBUG; p Shop FINE",
        "log=off,hook=T; T null OFF",
        "log=trace; T null FINER",
        "name=a=b c; T a=b c null",
        "hok=T; unknown option \"hok=T\"",
        "hook=T,; unknown option \"\"",
        "hook=X; Unknown class-load hook mode: X (T or P)",
        "name; option name needs a value",
        "log=; option log needs a value",
        "hook=T,hook=P; option hook is given twice",
        "log=loud; unknown log level \"loud\""})
    void parsesOptions(String text, String expected) {
        String parsed;
        try {
            Agent.Options options = Agent.Options.parse(text);
            parsed = options.hook + " " + options.name + " " + options.log;
        } catch (IllegalArgumentException e) {
            parsed = e.getMessage();
        }
        assertEquals(expected, parsed);
    }
}
