# How JVM tests are built and run. Included by tests/CMakeLists.txt before the directories that
# use it. Needs Java (17 and later), UseJava and the targets KeloRvs4J32, kelo-rvs and kelo-pack.
#
# kelo_add_jvm_test(NAME <name> SOURCES <java source>... ARGS <main class> <argument>...
#                   [OPTIONS <jvm option>...] [LABELS <label>...] [TIMEOUT <seconds>]
#                   [OTHER_JDKS] [X86] [SANITIZED <label>...] [ASAN_OPTIONS <a=b:c=d>])
#   Builds <name>_classes.jar of the sources and the shared helpers (JvmTest.java), against
#   kelo-rvs.jar and kelo-pack.jar, and runs java -Xcheck:jni -Dkelo.rvs.library=<built library>
#   <OPTIONS> -cp kelo-rvs.jar:kelo-pack.jar:<name>_classes.jar <ARGS>, which fails on any line
#   with "WARNING" (JNI misuse, restricted native access). OTHER_JDKS: also as <name>_jdk<N> on
#   every other JDK found (below). In the sanitizer build only tests with SANITIZED run, as
#   <name>_asan with those labels and the sanitized library (see below). X86: also as
#   <name>_x86, label jvm32, in the 32-bit JVM that KELO_X86_JAVA starts (scripts/i686), against
#   KELO_X86_LIBRARY, the library built for 32-bit x86 Linux, which kelo-rvs.jar then carries too.

# Further JDKs for the tests that ask for them: every JDK 17 or later under /usr/lib/jvm besides
# the one of the build, each as the suffix of its tests' names and its java ("_jdk25=.../java").
# Only those of the build's architecture can load the library built here: a 32-bit JDK installed
# beside it runs the tests of KELO_X86_JAVA.
get_filename_component(seen "${Java_JAVA_EXECUTABLE}" REALPATH)
get_filename_component(home "${seen}/../.." ABSOLUTE)
file(STRINGS "${home}/release" kelo_jdk_arch REGEX "^OS_ARCH=")
set(kelo_other_jdks)
file(GLOB releases /usr/lib/jvm/*/release)
foreach(release IN LISTS releases)
    get_filename_component(home "${release}" DIRECTORY)
    get_filename_component(java "${home}/bin/java" REALPATH)
    file(STRINGS "${release}" version REGEX "^JAVA_VERSION=\"[0-9]+")
    string(REGEX MATCH "[0-9]+" feature "${version}")
    file(STRINGS "${release}" arch REGEX "^OS_ARCH=")
    if(EXISTS "${java}" AND NOT java IN_LIST seen AND feature GREATER_EQUAL 17
       AND arch STREQUAL kelo_jdk_arch)
        list(APPEND kelo_other_jdks "_jdk${feature}=${home}/bin/java")
        list(APPEND seen "${java}")
    endif()
endforeach()

function(kelo_add_jvm_test)
    cmake_parse_arguments(PARSE_ARGV 0 test "OTHER_JDKS;X86" "NAME;TIMEOUT;ASAN_OPTIONS"
        "SOURCES;ARGS;OPTIONS;LABELS;SANITIZED")
    if(KELO_SANITIZE AND NOT test_SANITIZED)
        return()
    endif()
    set(CMAKE_JAVA_COMPILE_FLAGS -encoding UTF-8 -Xlint:all -Werror)
    add_jar(${test_NAME}_classes SOURCES ${test_SOURCES}
        ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/JvmTest.java INCLUDE_JARS kelo-rvs kelo-pack)
    set(classes $<TARGET_PROPERTY:kelo-rvs,JAR_FILE>:$<TARGET_PROPERTY:kelo-pack,JAR_FILE>)
    string(APPEND classes :$<TARGET_PROPERTY:${test_NAME}_classes,JAR_FILE>)
    set(options -Dkelo.rvs.library=$<TARGET_FILE:KeloRvs4J32> ${test_OPTIONS})
    if(NOT test_TIMEOUT)
        set(test_TIMEOUT 300)
    endif()

    if(KELO_SANITIZE)
        # The sanitizer runtime must be the first library of the process, before the JVM's. The
        # JVM's own allocations are not the library's (no leak checks), and the JVM handles
        # SIGSEGV itself (safepoint polls, implicit null checks). -Xcheck:jni stays off: it hands
        # native code array copies with guard bytes inside one allocation, where the sanitizer
        # cannot see a read a few bytes past the end. The server compiler's arenas grow beyond
        # the allocation bounds a test may set in ASAN_OPTIONS; the client compiler's do not.
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
            OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
        set(asan_options detect_leaks=0 handle_segv=0 allocator_may_return_null=0
            ${test_ASAN_OPTIONS})
        list(JOIN asan_options : asan_options)
        add_test(NAME ${test_NAME}_asan COMMAND ${Java_JAVA_EXECUTABLE} -XX:TieredStopAtLevel=1
            ${options} -cp ${classes} ${test_ARGS})
        set_tests_properties(${test_NAME}_asan PROPERTIES LABELS "${test_SANITIZED}"
            TIMEOUT ${test_TIMEOUT}
            ENVIRONMENT "LD_PRELOAD=${asan_runtime};ASAN_OPTIONS=${asan_options}"
            FAIL_REGULAR_EXPRESSION "WARNING;ERROR: AddressSanitizer;runtime error")
        return()
    endif()

    set(jdks "=${Java_JAVA_EXECUTABLE}")
    if(test_OTHER_JDKS)
        list(APPEND jdks ${kelo_other_jdks})
    endif()
    foreach(jdk IN LISTS jdks)
        string(REGEX MATCH "^([^=]*)=(.*)$" jdk "${jdk}")
        set(name ${test_NAME}${CMAKE_MATCH_1})
        # From JDK 24 on, System.load warns unless the caller may use native access; JDK 17 and
        # later accept the option.
        add_test(NAME ${name} COMMAND ${CMAKE_MATCH_2} -Xcheck:jni
            --enable-native-access=ALL-UNNAMED ${options} -cp ${classes} ${test_ARGS})
        set_tests_properties(${name} PROPERTIES LABELS "${test_LABELS}" TIMEOUT ${test_TIMEOUT}
            FAIL_REGULAR_EXPRESSION "WARNING")
    endforeach()
    if(KELO_X86_JAVA AND test_X86)
        list(JOIN KELO_X86_JAVA " " command)
        add_test(NAME ${test_NAME}_x86 COMMAND ${KELO_X86_JAVA} -Xcheck:jni
            --enable-native-access=ALL-UNNAMED -Dkelo.rvs.library=${KELO_X86_LIBRARY}
            "-Dkelo.rvs.test.java=${command}" ${test_OPTIONS} -cp ${classes} ${test_ARGS})
        # Emulated and interpreting, a JVM is slower by far (the hostile sweep: 3 s, 3 minutes).
        math(EXPR timeout "${test_TIMEOUT} * 3")
        set_tests_properties(${test_NAME}_x86 PROPERTIES LABELS jvm32 TIMEOUT ${timeout}
            FAIL_REGULAR_EXPRESSION "WARNING")
    endif()
endfunction()

if(NOT KELO_SANITIZE AND NOT kelo_other_jdks)
    message(STATUS "No JDK besides the build's under /usr/lib/jvm: the JVM tests run on JDK ${Java_VERSION_MAJOR} only")
endif()
