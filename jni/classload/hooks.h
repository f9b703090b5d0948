// The class-load hooks: the callbacks through which the JVM hands every class it loads to the
// library, and the embedded form of a container inside an ordinary class file. The set-ups that
// register them are members of the per-call context (jni/context.h). A callback never lets a C++
// exception, or a Java exception raised by its own reports, reach the JVM, and leaves the class
// as it came whenever it cannot replace it.
#ifndef KELO_JNI_CLASSLOAD_HOOKS_H
#define KELO_JNI_CLASSLOAD_HOOKS_H

#include "jni/classload/buffers.h"
#include "jni/classload/jvmpi.h"
#include "kbs/strings.h"

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelo {

// JVMTI 1.0.33, whose callback table has the first 35 entries of today's.
constexpr jint JvmtiVersion = 0x30010021;

// The ClassFileLoadHook. A class file (CA FE BA BE) costs one comparison, and with a name one
// search for the start of any chunk tag; anything else goes to transformClassData. A class file
// with tags, but none of its own name's first piece, stays as it is and is logged as an error.
void JNICALL onClassFileLoad(jvmtiEnv* jvmti, JNIEnv* env, jclass classBeingRedefined,
                             jobject loader, const char* name, jobject protectionDomain,
                             jint length, const unsigned char* data, jint* newLength,
                             unsigned char** newData) noexcept;

// Sets the outputs to JVMTI memory holding the class bytes of a container, or a copy of the
// container when it cannot be decoded (the JVM then rejects it). Leaves them alone for anything
// that is not an accepted container and when memory runs out.
void transformClassData(jvmtiEnv* jvmti, JNIEnv* env, const char* name, const unsigned char* data,
                        jint length, jint* newLength, unsigned char** newData) noexcept;

// The JVMPI NotifyEvent function: replaces a container's data in a class-load-hook event. Class
// files pass unchanged; embedded containers are not looked for.
void onJvmpiEvent(JvmpiEvent* event) noexcept;

// The container carried by a class file as Base64 chunks 0, 1, ... between the tags of `name`,
// decoded and joined into `container` (a byte buffer: wiped when freed); empty when chunk 0 is
// missing. Reads only the `length` bytes given. Throws std::bad_alloc when memory runs out.
// Answers, when the data holds tags but no piece 0 of `name`, the name in the first opening tag:
// up to the '#' after it or the data's end.
std::optional<std::string_view> extractEmbeddedContainer(const unsigned char* data,
                                                         std::uint32_t length, const char* name,
                                                         YS0073::YS0081<unsigned char>& container);

// "<KeloClassData#name#00012>", or with "</" for the closing tag; at least five digits.
kbs::StringBase<char> embeddedTag(const char* name, std::uint32_t index, bool opening);

} // namespace kelo

#endif
