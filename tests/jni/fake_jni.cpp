#include "fake_jni.h"

#include "jni/natives.h"
#include "jni/state.h"

#include <algorithm>
#include <cstdarg>

namespace fake {

namespace {

// The instance that the calls of this thread reach.
thread_local Jni* active = nullptr;

template <class T> Object* objectOf(T reference) {
    return reinterpret_cast<Object*>(reference);
}

Jni& enter(const char* function, bool exceptionAllowed = false) {
    active->enter(function, exceptionAllowed);
    return *active;
}

jint invoke(jobject object, jmethodID id, va_list args) {
    const Method& method = *reinterpret_cast<Method*>(id);
    const std::string& signature = method.signature;
    std::string call = method.name + "(";
    for (std::size_t at = 1; signature[at] != ')'; ++at) {
        call += at > 1 ? "," : "";
        if (signature[at] == 'I') {
            call += std::to_string(va_arg(args, jint));
        } else {
            at = signature.find(';', at);
            const Object* argument = objectOf(va_arg(args, jobject));
            call += argument ? argument->text : "null";
        }
    }
    active->java.push_back(call + ")");
    if (active->monitorDepth)
        active->javaUnderMonitor.push_back(call + ")");
    EXPECT_NE(object, nullptr) << call;
    active->checkDue = true;
    if (!method.throws.empty())
        active->raise(method.throws);
    return method.result;
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    Jni& jni = enter("FindClass");
    for (Class& type : jni.classes) {
        if (type.name == name && type.findable)
            return reinterpret_cast<jclass>(&type);
    }
    jni.raise("java/lang/NoClassDefFoundError");
    return nullptr;
}

jclass JNICALL getObjectClass(JNIEnv*, jobject object) {
    Jni& jni = enter("GetObjectClass");
    return jni.objectClassFails ? nullptr : reinterpret_cast<jclass>(objectOf(object)->type);
}

jmethodID JNICALL getMethodId(JNIEnv*, jclass type, const char* name, const char* signature) {
    Jni& jni = enter("GetMethodID");
    for (Method& method : reinterpret_cast<Class*>(type)->methods) {
        if (method.name == name && method.signature == signature && !method.missing)
            return reinterpret_cast<jmethodID>(&method);
    }
    jni.raise("java/lang/NoSuchMethodError");
    return nullptr;
}

jint JNICALL callIntMethodV(JNIEnv*, jobject object, jmethodID id, va_list args) {
    enter("CallIntMethod");
    return invoke(object, id, args);
}

void JNICALL callVoidMethodV(JNIEnv*, jobject object, jmethodID id, va_list args) {
    enter("CallVoidMethod");
    invoke(object, id, args);
}

jstring JNICALL newStringUtf(JNIEnv*, const char* text) {
    return enter("NewStringUTF").newString(text);
}

const char* JNICALL getStringUtfChars(JNIEnv*, jstring string, jboolean* isCopy) {
    ++enter("GetStringUTFChars").heldUtfChars;
    EXPECT_EQ(isCopy, nullptr);
    return objectOf(string)->text.c_str();
}

void JNICALL releaseStringUtfChars(JNIEnv*, jstring string, const char* chars) {
    --enter("ReleaseStringUTFChars", true).heldUtfChars;
    EXPECT_EQ(chars, objectOf(string)->text.c_str());
}

jobject JNICALL newGlobalRef(JNIEnv*, jobject object) {
    Jni& jni = enter("NewGlobalRef");
    if (object)
        ++jni.globalRefs[object];
    return object;
}

void JNICALL deleteGlobalRef(JNIEnv*, jobject object) {
    Jni& jni = enter("DeleteGlobalRef", true);
    jni.deletedGlobalRefs.push_back(object);
    const auto found = jni.globalRefs.find(object);
    if (found == jni.globalRefs.end())
        jni.violations.push_back("DeleteGlobalRef of a reference that is not global");
    else if (--found->second == 0)
        jni.globalRefs.erase(found);
}

jobject JNICALL newLocalRef(JNIEnv*, jobject object) {
    enter("NewLocalRef");
    return object;
}

void JNICALL deleteLocalRef(JNIEnv*, jobject) {
    enter("DeleteLocalRef", true);
}

jboolean JNICALL exceptionCheck(JNIEnv*) {
    Jni& jni = enter("ExceptionCheck", true);
    jni.checkDue = false;
    return jni.pending ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
    Jni& jni = enter("ExceptionOccurred", true);
    jni.checkDue = false;
    return reinterpret_cast<jthrowable>(jni.pending);
}

void JNICALL exceptionClear(JNIEnv*) {
    enter("ExceptionClear", true).pending = nullptr;
}

jint JNICALL doThrow(JNIEnv*, jthrowable exception) {
    enter("Throw").pending = objectOf(exception);
    return JNI_OK;
}

jint JNICALL monitorEnter(JNIEnv*, jobject object) {
    Jni& jni = enter("MonitorEnter");
    if (!object)
        return JNI_ERR;
    jni.monitorHeld = object;
    ++jni.monitorDepth;
    return JNI_OK;
}

jint JNICALL monitorExit(JNIEnv*, jobject object) {
    Jni& jni = enter("MonitorExit", true);
    if (jni.monitorDepth == 0 || jni.monitorHeld != object)
        jni.violations.push_back("MonitorExit of a monitor not entered");
    else if (--jni.monitorDepth == 0)
        jni.monitorHeld = nullptr;
    return JNI_OK;
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass type, const char* name, const char* signature) {
    Jni& jni = enter("GetStaticMethodID");
    for (Method& method : reinterpret_cast<Class*>(type)->methods) {
        if (method.name == name && method.signature == signature && !method.missing)
            return reinterpret_cast<jmethodID>(&method);
    }
    jni.raise("java/lang/NoSuchMethodError");
    return nullptr;
}

// System.getProperty answers from systemProperties: null for a key that is not there.
jobject JNICALL callStaticObjectMethodV(JNIEnv*, jclass type, jmethodID id, va_list args) {
    Jni& jni = enter("CallStaticObjectMethod");
    const Method& method = *reinterpret_cast<Method*>(id);
    va_list copy;
    va_copy(copy, args);
    const Object* key = objectOf(va_arg(copy, jobject));
    va_end(copy);
    invoke(type, id, args);
    if (method.name != "getProperty" || !key)
        return nullptr;
    const auto found = jni.systemProperties.find(key->text);
    return found == jni.systemProperties.end() ? nullptr : jni.newString(found->second);
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass type, jmethodID id, va_list args) {
    enter("CallStaticVoidMethod");
    invoke(type, id, args);
}

jsize JNICALL getStringUtfLength(JNIEnv*, jstring string) {
    enter("GetStringUTFLength");
    return static_cast<jsize>(objectOf(string)->text.size());
}

jsize JNICALL getArrayLength(JNIEnv*, jarray array) {
    enter("GetArrayLength");
    return static_cast<jsize>(objectOf(array)->bytes.size());
}

jbyte* JNICALL getByteArrayElements(JNIEnv*, jbyteArray array, jboolean* isCopy) {
    Jni& jni = enter("GetByteArrayElements");
    EXPECT_EQ(isCopy, nullptr);
    const std::vector<jbyte>& bytes = objectOf(array)->bytes;
    ++jni.heldArrayElements;
    auto* copy = new jbyte[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), copy);
    return copy;
}

void JNICALL releaseByteArrayElements(JNIEnv*, jbyteArray array, jbyte* elements, jint mode) {
    Jni& jni = enter("ReleaseByteArrayElements", true);
    EXPECT_EQ(mode, 0);
    std::vector<jbyte>& bytes = objectOf(array)->bytes;
    std::copy(elements, elements + bytes.size(), bytes.begin());
    delete[] elements;
    --jni.heldArrayElements;
}

jclass JNICALL defineClass(JNIEnv*, const char* name, jobject loader, const jbyte* bytes,
                           jsize length) {
    Jni& jni = enter("DefineClass");
    const auto* first = reinterpret_cast<const unsigned char*>(bytes);
    jni.definitions.push_back({name, loader, {first, first + length}, jni.monitorHeld});
    if (jni.defineFails) {
        jni.raise("java/lang/ClassFormatError");
        return nullptr;
    }
    return reinterpret_cast<jclass>(&jni.addClass(name));
}

} // namespace

Method& Class::method(const std::string& name, const std::string& signature, jint result) {
    Method& added = methods.emplace_back();
    added.name = name;
    added.signature = signature;
    added.result = result;
    return added;
}

Jni::Jni() {
    table.FindClass = findClass;
    table.GetObjectClass = getObjectClass;
    table.GetMethodID = getMethodId;
    table.CallIntMethodV = callIntMethodV;
    table.CallVoidMethodV = callVoidMethodV;
    table.NewStringUTF = newStringUtf;
    table.GetStringUTFChars = getStringUtfChars;
    table.ReleaseStringUTFChars = releaseStringUtfChars;
    table.NewGlobalRef = newGlobalRef;
    table.DeleteGlobalRef = deleteGlobalRef;
    table.NewLocalRef = newLocalRef;
    table.DeleteLocalRef = deleteLocalRef;
    table.ExceptionCheck = exceptionCheck;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionClear = exceptionClear;
    table.Throw = doThrow;
    table.MonitorEnter = monitorEnter;
    table.MonitorExit = monitorExit;
    table.GetStaticMethodID = getStaticMethodId;
    table.CallStaticObjectMethodV = callStaticObjectMethodV;
    table.CallStaticVoidMethodV = callStaticVoidMethodV;
    table.GetStringUTFLength = getStringUtfLength;
    table.GetArrayLength = getArrayLength;
    table.GetByteArrayElements = getByteArrayElements;
    table.ReleaseByteArrayElements = releaseByteArrayElements;
    table.DefineClass = defineClass;
    environment.functions = &table;
    active = this;
}

Jni::~Jni() {
    active = nullptr;
}

Class& Jni::addClass(const std::string& name) {
    for (Class& type : classes) {
        if (type.name == name)
            return type;
    }
    Class& added = classes.emplace_back();
    added.name = name;
    return added;
}

jobject Jni::newObject(Class& type, const std::string& text) {
    objects.push_back({&type, text, {}});
    return reinterpret_cast<jobject>(&objects.back());
}

jstring Jni::newString(const std::string& text) {
    return static_cast<jstring>(newObject(addClass("java/lang/String"), text));
}

jbyteArray Jni::newByteArray(const std::vector<unsigned char>& bytes) {
    objects.push_back({&addClass("[B"), {}, {bytes.begin(), bytes.end()}});
    return reinterpret_cast<jbyteArray>(&objects.back());
}

void Jni::raise(const std::string& className) {
    pending = objectOf(newObject(addClass(className)));
}

void Jni::enter(const char* function, bool exceptionAllowed) {
    calls.push_back(function);
    if (exceptionAllowed)
        return;
    if (pending)
        violations.push_back(std::string(function) + " with an exception pending");
    if (checkDue)
        violations.push_back(std::string(function) + " without an exception check");
    checkDue = false;
}

} // namespace fake

BridgeTest::BridgeTest()
    : runtimeClass(jni.addClass("com/kelo/rvs/Runtime")),
      log(runtimeClass.method("log", "(ILjava/lang/String;)I")),
      runtimeBuild(runtimeClass.method("getRvsJavaRuntimeBuild", "()I", 123)),
      messageStart(runtimeClass.method("messageStart", "()I", 5)),
      errorUnspecified(runtimeClass.method("errorUnspecified", "(Ljava/lang/String;)I", 7)),
      runtime(jni.newObject(runtimeClass)), workerClass(jni.addClass("Worker")),
      suspendThreads(workerClass.method("suspendThreads", "()I")),
      resumeThreads(workerClass.method("resumeThreads", "()I")),
      worker(jni.newObject(workerClass)) {
    kelo::applicationName.clear();
    kelo::logThreshold = 0;
    kelo::runtimeBuild = -1;
    kelo::threadSuspension = false;
    kelo::versionGatePending = true;
    kelo::startMessageSent = false;
    kelo::suspendThreadsId = nullptr;
    kelo::resumeThreadsId = nullptr;
}

void BridgeTest::TearDown() {
    Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime);
    EXPECT_TRUE(jni.globalRefs.empty());
    EXPECT_EQ(jni.heldUtfChars, 0);
    EXPECT_EQ(jni.heldArrayElements, 0);
    EXPECT_EQ(jni.monitorDepth, 0);
    EXPECT_EQ(jni.violations, fake::Strings());
}
