// A JNI environment without a JVM: classes, methods and objects are plain records, every JNI call
// is recorded in order, and lookups fail on request. It also flags what -Xcheck:jni would warn
// about: a call made with an exception pending, or after a Java call without an exception check.
// One instance per thread at a time: calls reach the instance made on the calling thread, which
// only that thread may use. Another thread's classes, methods and objects may be passed in as long
// as nothing changes them meanwhile.
#ifndef KELO_TESTS_JNI_FAKE_JNI_H
#define KELO_TESTS_JNI_FAKE_JNI_H

#include <jni.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace fake {

using Strings = std::vector<std::string>;

struct Method {
    std::string name;
    std::string signature;
    jint result = 0;
    bool missing = false;
    std::string throws; // the class of the exception it leaves pending, if any
};

struct Class {
    std::string name;
    bool findable = true;
    std::deque<Method> methods;

    Method& method(const std::string& name, const std::string& signature, jint result = 0);
};

struct Object {
    Class* type;
    std::string text;
    std::vector<jbyte> bytes; // of a byte array
};

// What DefineClass received.
struct Definition {
    std::string name;
    jobject loader;
    std::vector<unsigned char> bytes;
    const void* monitor; // the object whose monitor was held, or null
};

struct Jni {
    Jni();
    ~Jni();
    Jni(const Jni&) = delete;
    Jni& operator=(const Jni&) = delete;

    // The class of that name, created on first use.
    Class& addClass(const std::string& name);
    jobject newObject(Class& type, const std::string& text = {});
    jstring newString(const std::string& text);
    jbyteArray newByteArray(const std::vector<unsigned char>& bytes);
    void raise(const std::string& className);
    // The class name of the pending exception, or empty.
    std::string pendingName() const { return pending ? pending->type->name : std::string(); }
    // Records the call; `exceptionAllowed` for the functions JNI allows with one pending.
    void enter(const char* function, bool exceptionAllowed = false);

    JNINativeInterface_ table{};
    JNIEnv environment{};
    JNIEnv* const env = &environment;
    std::deque<Class> classes;
    std::deque<Object> objects;

    Strings calls;      // JNI functions, in call order
    Strings java;       // Java methods run, as name(arguments)
    Strings violations; // what -Xcheck:jni would warn about
    std::map<const void*, int> globalRefs;
    std::vector<const void*> deletedGlobalRefs;
    int heldUtfChars = 0;
    // Class loading: byte array elements are handed out as exact-size copies (a read past them is
    // an error that AddressSanitizer sees), and java/lang/System answers getProperty from here.
    int heldArrayElements = 0;
    std::map<std::string, std::string> systemProperties;
    std::vector<Definition> definitions;
    bool defineFails = false; // DefineClass raises ClassFormatError
    const void* monitorHeld = nullptr;
    int monitorDepth = 0;
    Strings javaUnderMonitor; // Java methods run while a monitor was held
    bool objectClassFails = false;
    bool checkDue = false;
    Object* pending = nullptr;
};

} // namespace fake

// The runtime object, its class with all callbacks, and a native worker, with the module state
// as the library is loaded. Each test must leave no global reference behind after iCleanUp and
// make no call that -Xcheck:jni would warn about.
class BridgeTest : public ::testing::Test {
protected:
    BridgeTest();
    void TearDown() override;

    fake::Jni jni;
    JNIEnv* env = jni.env;
    fake::Class& runtimeClass;
    fake::Method& log;
    fake::Method& runtimeBuild;
    fake::Method& messageStart;
    fake::Method& errorUnspecified;
    jobject runtime;
    fake::Class& workerClass;
    fake::Method& suspendThreads;
    fake::Method& resumeThreads;
    jobject worker;
};

#endif
