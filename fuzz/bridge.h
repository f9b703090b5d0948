// One fuzz input's JVM: the unit tests' fake JNI environment and runtime, set up as the option
// byte says. Destroying it runs iCleanUp and checks that nothing stayed held and that no call was
// made that -Xcheck:jni would warn about.
#ifndef KELO_FUZZ_BRIDGE_H
#define KELO_FUZZ_BRIDGE_H

#include "fake_jni.h"

#include <cstdint>

// Bits of the option byte the bridge harnesses start with.
enum BridgeOption : std::uint8_t {
    GatePending = 0x01,    // the Java version gate has not passed yet
    OldRuntime = 0x02,     // runtime build 98: iLoadClass holds the runtime class's monitor
    WorkerPresent = 0x04,  // a native worker brackets error reports once suspension is on
    LogThrows = 0x08,      // the Java log method leaves an exception pending
    SuspensionOn = 0x10,   // thread suspension already on
    MessagesMissing = 0x20 // the runtime class lacks errorUnspecified
};

struct FakeBridge {
    // `versionChoice` picks the running "java.version" from a small table (some unparsable).
    FakeBridge(std::uint8_t options, std::uint8_t versionChoice);
    ~FakeBridge();

    fake::Jni jni;
    JNIEnv* const env = jni.env;
    fake::Runtime runtime{jni};
};

#endif
