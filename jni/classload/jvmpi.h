// The part of the JVM Profiler Interface (JVMPI 1.0/1.2) that the class-load hook uses. No
// current JDK ships this interface or its header: these are our own declarations of its layout.
// Its functions use the C calling convention, not JNICALL.
#ifndef KELO_JNI_CLASSLOAD_JVMPI_H
#define KELO_JNI_CLASSLOAD_JVMPI_H

#include <jni.h>

namespace kelo {

constexpr jint JvmpiVersion10 = 0x10000001;
constexpr jint JvmpiVersion12 = 0x10000003;

constexpr jint JvmpiEventClassLoadHook = 35;
constexpr jint JvmpiEventClassLoad = 42;

// The class-load-hook event record: the event's type and environment, then its member of the
// event union, which starts at the same offset. The profiler sets the new class data, which must
// come from allocate.
struct JvmpiEvent {
    jint eventType;
    JNIEnv* env;
    unsigned char* classData;
    jint classDataLength;
    unsigned char* newClassData;
    jint newClassDataLength;
    void* (*allocate)(unsigned int length);
};

// The leading entries of the interface table that GetEnv answers; the JVM's table goes on with
// entries the hook never touches, so only a pointer to it is ever used.
struct JvmpiInterface {
    jint version;
    // Set by the profiler: the JVM calls it for every enabled event.
    void (*notifyEvent)(JvmpiEvent* event);
    jint (*enableEvent)(jint eventType, void* argument);
    jint (*disableEvent)(jint eventType, void* argument);
};

} // namespace kelo

#endif
