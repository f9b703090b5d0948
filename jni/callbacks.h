// The channel of calls into Java: the runtime class and the messages sent to the runtime object.
// The operations themselves are members of the per-call context (jni/context.h).
#ifndef KELO_JNI_CALLBACKS_H
#define KELO_JNI_CALLBACKS_H

#include "jni/guards.h"

#include <jni.h>

namespace kelo {

// One named instance method of the runtime class per message.
enum MessageRow {
    MessageStart,     // messageStart "()I"
    ErrorUnspecified, // errorUnspecified "(Ljava/lang/String;)I", bracketed by thread suspension
};

// The runtime class com.kelo.rvs.Runtime, resolved once and held in runtimeClassRef; null when it
// cannot be found, and then looked up again on the next call. Call it with no exception pending:
// a failed lookup's NoClassDefFoundError is cleared.
LocalRef<jclass> runtimeClass(JNIEnv* env);

} // namespace kelo

#endif
