// A JNI environment without a JVM, for call order and for failures a real JVM cannot be made to
// show: classes, methods and objects are plain records, Java calls are recorded, lookups fail on
// request, and what -Xcheck:jni would warn about is listed in `violations`. One instance per
// thread; calls reach the instance made on the calling thread.
#ifndef KELO_TESTS_JNI_FAKE_JNI_H
#define KELO_TESTS_JNI_FAKE_JNI_H

#include "jni/natives.h"

#include <jvmti.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

using Strings = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

struct Method {
    std::string name, signature;
    jint result = 0;
    bool missing = false;
    std::string throws; // the class of the exception it leaves pending, if any
};

struct Class {
    std::string name;
    bool findable = true;
    std::deque<Method> methods;
    Method& method(const std::string& name, const std::string& signature, jint result = 0) {
        return methods.emplace_back(Method{name, signature, result, false, {}});
    }
};

struct Object {
    Class* type;
    std::string text;
    Bytes bytes; // of a byte array
};

struct Definition { // what DefineClass received
    std::string name;
    Bytes bytes;
    const void* monitor = nullptr; // the object whose monitor was held, or null
};

// Blocks handed out and given back: those still out, the sizes of those back, and how many came
// back not all zeros (or were never handed out).
struct Blocks {
    std::map<unsigned char*, std::size_t> live;
    std::multiset<std::size_t> freed;
    int dirty = 0;
    void remove(void* block);
};

// Starts with java/lang/System and its getProperty and exit.
struct Jni {
    Jni();
    ~Jni();

    Class& addClass(const std::string& name); // created on first use
    jobject newObject(Class& type, const std::string& text = {}, const Bytes& bytes = {});
    jstring newString(const std::string& text);
    jbyteArray newByteArray(const Bytes& bytes);
    void raise(const std::string& className);

    JNINativeInterface_ table{};
    JNIEnv environment{&table};
    JNIEnv* const env = &environment;
    std::deque<Class> classes;
    std::deque<Object> objects;
    Strings java;       // Java methods run, as name(arguments)
    Strings violations; // what -Xcheck:jni would warn about
    std::map<const void*, int> globalRefs;
    std::vector<const void*> deletedGlobalRefs;
    int held = 0; // UTF chars and array elements (exact-size copies: ASan sees reads past them)
    std::optional<std::string> javaVersion = "17.0.9"; // what System.getProperty answers
    std::vector<Definition> definitions;
    const void* monitorHeld = nullptr;
    int monitorDepth = 0;
    Object* pending = nullptr;
};

// The tool interface's Allocate and Deallocate: allocation number `failAt` fails (-1: all). And
// the JVM (Jni's GetJavaVM) with the hook set-up's calls to it, listed in `calls`; those whose
// name starts with `refuse` fail, and all throw std::bad_alloc for "bad_alloc".
struct Tool {
    Tool();
    ~Tool();
    jvmtiError call(const std::string& name);
    // The class-load hook through this interface: what it hands the JVM, or none when it passes
    // the class on. That block is given back here; one not from Allocate counts as dirty.
    std::optional<Bytes> hook(JNIEnv* jni, jobject loader, const char* name, Bytes data);
    jvmtiInterface_1_ functions{};
    jvmtiEnv env{&functions};
    JNIInvokeInterface_ invocation{};
    JavaVM vm{&invocation};
    std::string calls, refuse;
    Blocks blocks;
    int allocations = 0;
    int failAt = 0;
};

// The profiler's class-load hook: what it hands the JVM, its own bytes when it passes the class on.
Bytes profilerHook(JNIEnv* env, Bytes data);

// The runtime object with its class and every callback, a native worker and a class loader, with
// the module state as the library is loaded.
struct Runtime {
    explicit Runtime(Jni& jni);
    // Runs iCleanUp; answers what is still held or was misused.
    Strings finish();

    Jni& jni;
    Class& type;
    Method &log, &build, &errorUnspecified; // and messageStart
    Class& workerClass;                     // with suspendThreads and resumeThreads
    jobject object, worker, loader;
};

} // namespace fake

// Each test must leave nothing held after iCleanUp and make no call -Xcheck:jni would flag.
class BridgeTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(java.finish(), fake::Strings()); }

    // iLoadClass of class a/B: what DefineClass received, if it was called.
    fake::Definition load(const fake::Bytes& data) {
        jni.definitions.clear();
        Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, java.loader, jni.newString("a/B"),
                                             jni.newByteArray(data));
        return jni.definitions.empty() ? fake::Definition() : jni.definitions[0];
    }

    fake::Jni jni;
    JNIEnv* env = jni.env;
    fake::Runtime java{jni};
    jobject runtime = java.object;
    jobject worker = java.worker;
};

#endif
