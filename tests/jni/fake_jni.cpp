#include "fake_jni.h"

#include "jni/classload/hooks.h"
#include "jni/state.h"

#include <algorithm>
#include <cstdarg>
#include <new>

namespace fake {

namespace {

thread_local Jni* active = nullptr;
Tool* activeTool = nullptr;

Object* objectOf(const void* reference) {
    return static_cast<Object*>(const_cast<void*>(reference));
}

// What -Xcheck:jni says of a call other than those that handle or release with one pending.
Jni& enter(const char* function, bool exceptionAllowed = false) {
    if (active->pending && !exceptionAllowed)
        active->violations.push_back(std::string(function) + " with an exception pending");
    return *active;
}

// Records the call as name(arguments): ints as numbers, objects by their text.
jint invoke(jobject object, jmethodID id, va_list args) {
    const Method& method = *reinterpret_cast<Method*>(id);
    std::string call = method.name + "(";
    for (std::size_t at = 1; method.signature[at] != ')'; ++at) {
        call += at > 1 ? "," : "";
        if (method.signature[at] == 'I') {
            call += std::to_string(va_arg(args, jint));
        } else {
            at = method.signature.find(';', at);
            const Object* argument = objectOf(va_arg(args, jobject));
            call += argument ? argument->text : "null";
        }
    }
    active->java.push_back(call + ")");
    if (!object)
        active->violations.push_back(call + " on null");
    if (!method.throws.empty())
        active->raise(method.throws);
    return method.result;
}

// The profiler's allocator: its blocks are the JVM's, kept here until the next class.
std::deque<Bytes> profilerBlocks;
void* profilerAllocate(unsigned int length) {
    return profilerBlocks.emplace_back(length).data();
}

// A lambda cannot take the variable arguments of SetEventNotificationMode.
jvmtiError JNICALL enableEvent(jvmtiEnv*, jvmtiEventMode mode, jvmtiEvent event, jthread, ...) {
    return activeTool->call("Enable(" + std::to_string(mode) + "," + std::to_string(event) + ")");
}

} // namespace

void Blocks::remove(void* block) {
    const auto found = live.find(static_cast<unsigned char*>(block));
    if (found == live.end()) {
        ++dirty;
        return;
    }
    const unsigned char* first = found->first;
    dirty += std::any_of(first, first + found->second, [](unsigned char b) { return b != 0; });
    freed.insert(found->second);
    live.erase(found);
}

// JNICALL on every lambda: on 32-bit Windows the tables hold __stdcall functions, and a lambda
// converts only to a pointer of its own calling convention.
Jni::Jni() {
    table.FindClass = [](JNIEnv*, const char* name) JNICALL -> jclass {
        Jni& jni = fake::enter("FindClass");
        for (Class& type : jni.classes)
            if (type.name == name && type.findable)
                return reinterpret_cast<jclass>(&type);
        jni.raise("java/lang/NoClassDefFoundError");
        return nullptr;
    };
    table.GetObjectClass = [](JNIEnv*, jobject object) JNICALL {
        return fake::enter("GetObjectClass"), reinterpret_cast<jclass>(objectOf(object)->type);
    };
    table.GetMethodID = [](JNIEnv*, jclass type, const char* name, const char* signature) JNICALL {
        Jni& jni = fake::enter("GetMethodID");
        for (Method& method : reinterpret_cast<Class*>(type)->methods)
            if (method.name == name && method.signature == signature && !method.missing)
                return reinterpret_cast<jmethodID>(&method);
        jni.raise("java/lang/NoSuchMethodError");
        return jmethodID{};
    };
    table.GetStaticMethodID = table.GetMethodID;
    table.CallIntMethodV = [](JNIEnv*, jobject object, jmethodID id, va_list args) JNICALL {
        return fake::enter("CallIntMethod"), invoke(object, id, args);
    };
    table.CallStaticVoidMethodV = [](JNIEnv*, jclass type, jmethodID id, va_list args) JNICALL {
        fake::enter("CallStaticVoidMethod"), invoke(type, id, args);
    };
    // System.getProperty, whose key is in `java`.
    table.CallStaticObjectMethodV = [](JNIEnv*, jclass type, jmethodID id, va_list args)
                                        JNICALL -> jobject {
        Jni& jni = fake::enter("CallStaticObjectMethod");
        invoke(type, id, args);
        return jni.javaVersion ? jni.newString(*jni.javaVersion) : nullptr;
    };
    table.NewStringUTF = [](JNIEnv*, const char* text)
                             JNICALL { return fake::enter("NewStringUTF").newString(text); };
    table.GetStringUTFLength = [](JNIEnv*, jstring string) JNICALL {
        return fake::enter("GetStringUTFLength"), static_cast<jsize>(objectOf(string)->text.size());
    };
    // The strings are ASCII: as many UTF-16 units as bytes.
    table.GetStringLength = table.GetStringUTFLength;
    table.GetStringUTFChars = [](JNIEnv*, jstring string, jboolean*) JNICALL {
        ++fake::enter("GetStringUTFChars").held;
        return objectOf(string)->text.c_str();
    };
    table.ReleaseStringUTFChars = [](JNIEnv*, jstring, const char*) JNICALL {
        --fake::enter("ReleaseStringUTFChars", true).held;
    };
    table.NewGlobalRef = [](JNIEnv*, jobject object) JNICALL {
        if (object)
            ++fake::enter("NewGlobalRef").globalRefs[object];
        return object;
    };
    table.DeleteGlobalRef = [](JNIEnv*, jobject object) JNICALL {
        Jni& jni = fake::enter("DeleteGlobalRef", true);
        jni.deletedGlobalRefs.push_back(object);
        const auto found = jni.globalRefs.find(object);
        if (found == jni.globalRefs.end())
            jni.violations.push_back("DeleteGlobalRef of a reference that is not global");
        else if (--found->second == 0)
            jni.globalRefs.erase(found);
    };
    table.NewLocalRef = [](JNIEnv*, jobject object) JNICALL { return object; };
    table.DeleteLocalRef = [](JNIEnv*, jobject) JNICALL {};
    table.ExceptionCheck = [](JNIEnv*) JNICALL -> jboolean {
        return fake::enter("ExceptionCheck", true).pending ? JNI_TRUE : JNI_FALSE;
    };
    table.ExceptionOccurred = [](JNIEnv*) JNICALL {
        return reinterpret_cast<jthrowable>(fake::enter("ExceptionOccurred", true).pending);
    };
    table.ExceptionClear = [](JNIEnv*)
                               JNICALL { fake::enter("ExceptionClear", true).pending = nullptr; };
    table.Throw = [](JNIEnv*, jthrowable exception) JNICALL -> jint {
        fake::enter("Throw").pending = objectOf(exception);
        return JNI_OK;
    };
    table.MonitorEnter = [](JNIEnv*, jobject object) JNICALL -> jint {
        Jni& jni = fake::enter("MonitorEnter");
        jni.monitorHeld = object;
        ++jni.monitorDepth;
        return JNI_OK;
    };
    table.MonitorExit = [](JNIEnv*, jobject object) JNICALL -> jint {
        Jni& jni = fake::enter("MonitorExit", true);
        if (jni.monitorDepth == 0 || jni.monitorHeld != object)
            jni.violations.push_back("MonitorExit of a monitor not entered");
        else if (--jni.monitorDepth == 0)
            jni.monitorHeld = nullptr;
        return JNI_OK;
    };
    table.GetArrayLength = [](JNIEnv*, jarray array) JNICALL {
        return fake::enter("GetArrayLength"), static_cast<jsize>(objectOf(array)->bytes.size());
    };
    table.GetByteArrayElements = [](JNIEnv*, jbyteArray array, jboolean*) JNICALL {
        ++fake::enter("GetByteArrayElements").held;
        const Bytes& bytes = objectOf(array)->bytes;
        auto* copy = new unsigned char[bytes.size()];
        std::copy(bytes.begin(), bytes.end(), copy);
        return reinterpret_cast<jbyte*>(copy);
    };
    table.ReleaseByteArrayElements = [](JNIEnv*, jbyteArray array, jbyte* elements,
                                        jint mode) JNICALL {
        Jni& jni = fake::enter("ReleaseByteArrayElements", true);
        if (mode != 0)
            jni.violations.push_back("ReleaseByteArrayElements with mode " + std::to_string(mode));
        Bytes& bytes = objectOf(array)->bytes;
        std::copy_n(reinterpret_cast<unsigned char*>(elements), bytes.size(), bytes.begin());
        delete[] reinterpret_cast<unsigned char*>(elements);
        --jni.held;
    };
    table.DefineClass = [](JNIEnv*, const char* name, jobject, const jbyte* bytes, jsize length)
                            JNICALL -> jclass {
        Jni& jni = fake::enter("DefineClass");
        const auto* first = reinterpret_cast<const unsigned char*>(bytes);
        jni.definitions.push_back({name, {first, first + length}, jni.monitorHeld});
        return reinterpret_cast<jclass>(&jni.addClass(name));
    };
    table.GetJavaVM = [](JNIEnv*, JavaVM** vm)
                          JNICALL -> jint { return *vm = &activeTool->vm, JNI_OK; };
    Class& system = addClass("java/lang/System");
    system.method("getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    system.method("exit", "(I)V");
    active = this;
}

Jni::~Jni() {
    active = nullptr;
}

Class& Jni::addClass(const std::string& name) {
    for (Class& type : classes)
        if (type.name == name)
            return type;
    return classes.emplace_back(Class{name, true, {}});
}

jobject Jni::newObject(Class& type, const std::string& text, const Bytes& bytes) {
    return reinterpret_cast<jobject>(&objects.emplace_back(Object{&type, text, bytes}));
}

jstring Jni::newString(const std::string& text) {
    return static_cast<jstring>(newObject(addClass("java/lang/String"), text));
}

jbyteArray Jni::newByteArray(const Bytes& bytes) {
    return static_cast<jbyteArray>(newObject(addClass("[B"), {}, bytes));
}

void Jni::raise(const std::string& className) {
    pending = objectOf(newObject(addClass(className)));
}

Tool::Tool() {
    functions.Allocate = [](jvmtiEnv*, jlong size, unsigned char** memory) JNICALL {
        const int number = ++activeTool->allocations;
        if (activeTool->failAt == -1 || activeTool->failAt == number)
            return JVMTI_ERROR_OUT_OF_MEMORY;
        *memory = new unsigned char[static_cast<std::size_t>(size)];
        activeTool->blocks.live.emplace(*memory, static_cast<std::size_t>(size));
        return JVMTI_ERROR_NONE;
    };
    functions.Deallocate = [](jvmtiEnv*, unsigned char* memory) JNICALL {
        activeTool->blocks.remove(memory);
        delete[] memory;
        return JVMTI_ERROR_NONE;
    };
    invocation.GetEnv = [](JavaVM*, void** env, jint version) JNICALL -> jint {
        *env = &activeTool->env;
        return activeTool->call("GetEnv") || version != 0x30010021 ? JNI_EVERSION : JNI_OK;
    };
    functions.SetEventCallbacks = [](jvmtiEnv*, const jvmtiEventCallbacks*, jint size) JNICALL {
        return activeTool->call("Callbacks(" + std::to_string(size / sizeof(void*)) + ")");
    };
    functions.SetEventNotificationMode = enableEvent;
    activeTool = this;
}

jvmtiError Tool::call(const std::string& name) {
    calls += name + " ";
    if (refuse == "bad_alloc")
        throw std::bad_alloc();
    return !refuse.empty() && name.rfind(refuse, 0) == 0 ? JVMTI_ERROR_INTERNAL : JVMTI_ERROR_NONE;
}

std::optional<Bytes> Tool::hook(JNIEnv* jni, jobject loader, const char* name, Bytes data) {
    jint length = -1;
    unsigned char* replaced = nullptr;
    kelo::onClassFileLoad(&env, jni, nullptr, loader, name, nullptr, static_cast<jint>(data.size()),
                          data.data(), &length, &replaced);
    if (!replaced)
        return std::nullopt;
    const Bytes handed(replaced, replaced + std::max<jint>(length, 0));
    blocks.dirty += length < 0;
    if (blocks.live.erase(replaced) == 1)
        delete[] replaced;
    else
        ++blocks.dirty;
    return handed;
}

Bytes profilerHook(JNIEnv* env, Bytes data) {
    profilerBlocks.clear();
    const auto length = static_cast<jint>(data.size());
    kelo::JvmpiEvent event{
        kelo::JvmpiEventClassLoadHook, env, data.data(), length, nullptr, 0, profilerAllocate};
    kelo::onJvmpiEvent(&event);
    return Bytes(event.newClassData, event.newClassData + event.newClassDataLength);
}

Tool::~Tool() {
    for (const auto& block : blocks.live)
        delete[] block.first;
    activeTool = nullptr;
}

Runtime::Runtime(Jni& jni)
    : jni(jni), type(jni.addClass("com/kelo/rvs/Runtime")),
      log(type.method("log", "(ILjava/lang/String;)I")),
      build(type.method("getRvsJavaRuntimeBuild", "()I", 123)),
      errorUnspecified(type.method("errorUnspecified", "(Ljava/lang/String;)I", 7)),
      workerClass(jni.addClass("Worker")), object(jni.newObject(type)),
      worker(jni.newObject(workerClass)), loader(jni.newObject(jni.addClass("ClassLoader"))) {
    type.method("messageStart", "()I", 5);
    workerClass.method("suspendThreads", "()I");
    workerClass.method("resumeThreads", "()I");
    kelo::logThreshold = 0;
    kelo::runtimeBuild = -1;
    kelo::threadSuspension = false;
    kelo::versionGatePending = true;
    kelo::startMessageSent = false;
    kelo::suspendThreadsId = nullptr;
    kelo::resumeThreadsId = nullptr;
    kelo::hookToolEnv = nullptr;
}

Strings Runtime::finish() {
    // The first exception a native leaves pending is the Java caller's to see.
    jni.pending = nullptr;
    Java_com_kelo_rvs_Runtime_iCleanUp(jni.env, object);
    Strings problems = jni.violations;
    if (!jni.globalRefs.empty() || jni.held || jni.monitorDepth)
        problems.push_back("references, characters, array elements or a monitor held");
    return problems;
}

} // namespace fake
