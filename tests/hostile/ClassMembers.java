package com.kelo.rvs;

import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.stream.Collectors;

/** A class's name, modifiers, supertypes and declared members as text, to compare two copies. */
final class ClassMembers {
    private ClassMembers() {}

    static String describe(Class<?> type) {
        List<String> members = new ArrayList<>();
        Arrays.stream(type.getDeclaredFields()).forEach(f -> members.add(f.toString()));
        Arrays.stream(type.getDeclaredConstructors()).forEach(c -> members.add(c.toString()));
        Arrays.stream(type.getDeclaredMethods()).forEach(m -> members.add(m.toString()));
        Collections.sort(members);
        Class<?> parent = type.getSuperclass();
        return Modifier.toString(type.getModifiers()) + " " + type.getName() + " extends "
                + (parent == null ? "-" : parent.getName()) + " implements "
                + Arrays.stream(type.getInterfaces()).map(Class::getName)
                          .collect(Collectors.joining(","))
                + "\n  " + String.join("\n  ", members);
    }
}
