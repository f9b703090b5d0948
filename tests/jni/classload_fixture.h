// The bridge test environment with what class loading needs besides: java/lang/System with
// getProperty and exit, a running "java.version", and a context on the runtime object.
#ifndef KELO_TESTS_JNI_CLASSLOAD_FIXTURE_H
#define KELO_TESTS_JNI_CLASSLOAD_FIXTURE_H

#include "container_builder.h"
#include "fake_jni.h"

#include "jni/context.h"

#include <memory>

class ClassLoadTest : public BridgeTest {
protected:
    ClassLoadTest()
        : systemClass(jni.addClass("java/lang/System")),
          getProperty(systemClass.method("getProperty", "(Ljava/lang/String;)Ljava/lang/String;")),
          exit(systemClass.method("exit", "(I)V")) {
        jni.systemProperties["java.version"] = "17.0.9";
    }

    // checkContainer on an exact-size copy of bytes, which stays alive with the fixture.
    bool check(const testdata::Bytes& bytes) {
        held = std::make_unique<unsigned char[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), held.get());
        return context.checkContainer(held.get(), static_cast<std::uint32_t>(bytes.size()));
    }

    // The Java calls made since the last take.
    fake::Strings takeJava() {
        fake::Strings calls;
        calls.swap(jni.java);
        return calls;
    }

    fake::Class& systemClass;
    fake::Method& getProperty;
    fake::Method& exit;
    kelo::_tbO context{env, runtime};
    std::unique_ptr<unsigned char[]> held;
};

#endif
