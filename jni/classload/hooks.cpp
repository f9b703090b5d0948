#include "jni/classload/hooks.h"

#include "jni/callbacks.h"
#include "jni/classload/buffers.h"
#include "jni/classload/pipeline.h"
#include "jni/context.h"
#include "jni/state.h"
#include "kbs/base64.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelo {

namespace {

// The callback table of JVMTI 1.0 ends before reserved85; today's JDKs define more entries.
static_assert(offsetof(jvmtiEventCallbacks, reserved85) == 35 * sizeof(void*) &&
                  offsetof(jvmtiEventCallbacks, ClassFileLoadHook) == 4 * sizeof(void*),
              "35 entries, ClassFileLoadHook the fifth");
constexpr jint JvmtiCallbacksSize = static_cast<jint>(offsetof(jvmtiEventCallbacks, reserved85));

// What every opening tag starts with, whatever the class name.
constexpr char OpeningTagStart[] = "<KeloClassData#";
// Of a name read from a tag, what a report shows at most: the tag may be damaged or unterminated.
constexpr std::size_t ShownNameLength = 256;

bool hasClassMagic(const unsigned char* data, jint length) {
    return length >= 4 && data[0] == 0xCA && data[1] == 0xFE && data[2] == 0xBA && data[3] == 0xBE;
}

// A callback runs in the middle of a class load, where no Java caller would receive an exception
// that its own reports left pending.
void dropJavaException(JNIEnv* env) {
    if (env && env->ExceptionCheck())
        env->ExceptionClear();
}

// Memory from the tool interface's Allocate. It is wiped and returned unless handed to the JVM,
// which then owns it. get() is null when the allocation failed.
class JvmtiMemory {
public:
    JvmtiMemory(jvmtiEnv* jvmti, std::uint32_t size) : jvmti(jvmti), size(size) {
        if (jvmti->Allocate(size, &bytes) != JVMTI_ERROR_NONE)
            bytes = nullptr;
    }
    ~JvmtiMemory() {
        if (bytes) {
            YS0073::wipeBytes(bytes, size);
            jvmti->Deallocate(bytes);
        }
    }
    JvmtiMemory(const JvmtiMemory&) = delete;
    JvmtiMemory& operator=(const JvmtiMemory&) = delete;

    unsigned char* get() const { return bytes; }
    unsigned char* handOver() { return std::exchange(bytes, nullptr); }

private:
    jvmtiEnv* const jvmti;
    const std::uint32_t size;
    unsigned char* bytes = nullptr;
};

// The JVM takes class lengths as jint.
bool fitsJint(std::uint32_t size) {
    return size <= static_cast<std::uint32_t>(std::numeric_limits<jint>::max());
}

// Whether the pipeline can use classSize bytes: otherwise it is given none, and refuses the
// container with its own report, so that a header cannot make a callback allocate at will.
bool worthAllocating(const _tbO& context) {
    return context.header.classSize.value() >= MinimumClassSize &&
           containerSizesFit(context.header, context.payloadLength);
}

// The work of transformClassData on its context.
void replaceContainer(jvmtiEnv* jvmti, _tbO& context, const unsigned char* data, jint length,
                      jint* newLength, unsigned char** newData) {
    if (!context.checkContainer(data, static_cast<std::uint32_t>(length)))
        return;
    const std::uint32_t size = context.header.classSize.value();
    if (!fitsJint(size))
        return;
    if (worthAllocating(context)) {
        JvmtiMemory classBytes(jvmti, size + InflateRoom);
        if (!classBytes.get())
            return;
        if (context.processClass(classBytes.get(), size)) {
            *newData = classBytes.handOver();
            *newLength = static_cast<jint>(size);
            return;
        }
    } else {
        context.processClass(nullptr, size);
    }
    // Handed back as it came, so that the JVM rejects it as a malformed class.
    JvmtiMemory copy(jvmti, static_cast<std::uint32_t>(length));
    if (copy.get()) {
        std::memcpy(copy.get(), data, static_cast<std::size_t>(length));
        *newData = copy.handOver();
        *newLength = length;
    }
}

// The process's tool environment (hookToolEnv), got now if no set-up has got it yet; null when
// the JVM offers none.
jvmtiEnv* hookEnvironment(JNIEnv* env) {
    jvmtiEnv* known = hookToolEnv.load();
    if (known)
        return known;
    JavaVM* vm = nullptr;
    jvmtiEnv* fresh = nullptr;
    if (env->GetJavaVM(&vm) != JNI_OK ||
        vm->GetEnv(reinterpret_cast<void**>(&fresh), JvmtiVersion) != JNI_OK)
        return nullptr;
    // Of set-ups racing here the first to store its environment wins; the others give theirs
    // back before anything is registered on it.
    if (hookToolEnv.compare_exchange_strong(known, fresh))
        return fresh;
    fresh->DisposeEnvironment();
    return known;
}

// Pieces for another name alone mostly mean a class packed under another name, its entry's path
// say. The JVM then loads the carrier, whose own error cannot tell that.
void reportOtherPieces(JNIEnv* env, const char* name, std::string_view tagged) noexcept {
    try {
        _tbO context(env, hookRuntimeRef);
        if (context.logs(LogError)) {
            // Printable ASCII only: the text goes to Java as modified UTF-8.
            kbs::StringBase<char> shown;
            for (const char c : tagged.substr(0, ShownNameLength))
                shown += c >= ' ' && c <= '~' ? c : '?';
            if (tagged.size() > ShownNameLength)
                shown += "...";
            const kbs::StringBase<char> own(name);
            // Its own name in the first tag: its pieces are there, but not piece 0 whole.
            context.log(LogError, tagged == name
                                      ? "Class " + own +
                                            " carries embedded pieces, but no whole "
                                            "piece 0 of its container"
                                      : "Class " + own + " carries embedded pieces for " + shown +
                                            " but none for " + own +
                                            "; was it packed under another name?");
        }
    } catch (...) {
        // The class stays as it is, reported or not.
    }
    dropJavaException(env);
}

} // namespace

jint _tbO::installJvmtiHook() {
    // Now, while the lookup still searches the runtime's own loader (see the callbacks' context).
    runtimeClass();
    jvmtiEnv* const jvmti = hookEnvironment(env);
    if (!jvmti) {
        sendMessage(ErrorUnspecified, "Interface not available");
        return 1;
    }
    jvmtiEventCallbacks callbacks{};
    callbacks.ClassFileLoadHook = onClassFileLoad;
    if (jvmti->SetEventCallbacks(&callbacks, JvmtiCallbacksSize) != JVMTI_ERROR_NONE) {
        sendMessage(ErrorUnspecified, "JVMTI error.");
        return -1;
    }
    if (jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_CLASS_FILE_LOAD_HOOK, nullptr) !=
        JVMTI_ERROR_NONE) {
        sendMessage(ErrorUnspecified, "JVMTI Error.");
        return -1;
    }
    // A set-up run again reports to the runtime that asked last.
    hookRuntimeRef.replace(env, callerObject);
    return 0;
}

jint _tbO::installJvmpiHook() {
    // Now, while the lookup still searches the runtime's own loader (see the callbacks' context).
    runtimeClass();
    JavaVM* vm = nullptr;
    JvmpiInterface* jvmpi = nullptr;
    void** slot = reinterpret_cast<void**>(&jvmpi);
    if (env->GetJavaVM(&vm) != JNI_OK ||
        (vm->GetEnv(slot, JvmpiVersion12) < 0 && vm->GetEnv(slot, JvmpiVersion10) < 0)) {
        sendMessage(ErrorUnspecified, "Interface not available");
        return 3;
    }
    jvmpi->disableEvent(JvmpiEventClassLoad, nullptr);
    jvmpi->notifyEvent = onJvmpiEvent;
    jvmpi->enableEvent(JvmpiEventClassLoadHook, nullptr);
    // A set-up run again reports to the runtime that asked last.
    hookRuntimeRef.replace(env, callerObject);
    return 0;
}

void JNICALL onClassFileLoad(jvmtiEnv* jvmti, JNIEnv* env, jclass, jobject, const char* name,
                             jobject, jint length, const unsigned char* data, jint* newLength,
                             unsigned char** newData) noexcept {
    if (!hasClassMagic(data, length)) {
        transformClassData(jvmti, env, name, data, length, newLength, newData);
        return;
    }
    if (!name)
        return;
    try {
        YS0073::YS0081<unsigned char> container;
        const std::optional<std::string_view> tagged =
            extractEmbeddedContainer(data, static_cast<std::uint32_t>(length), name, container);
        if (!container.empty())
            transformClassData(jvmti, env, name, container.data(),
                               static_cast<jint>(container.size()), newLength, newData);
        else if (tagged)
            reportOtherPieces(env, name, *tagged);
    } catch (...) {
        // Out of memory while joining the chunks: the class stays as it is.
    }
}

void transformClassData(jvmtiEnv* jvmti, JNIEnv* env, const char* name, const unsigned char* data,
                        jint length, jint* newLength, unsigned char** newData) noexcept {
    if (length < 0)
        return;
    try {
        _tbO context(env, hookRuntimeRef);
        context.className = name;
        replaceContainer(jvmti, context, data, length, newLength, newData);
    } catch (...) {
        // Nothing may reach the JVM; memory not handed over has been returned.
    }
    dropJavaException(env);
}

void onJvmpiEvent(JvmpiEvent* event) noexcept {
    if (event->eventType != JvmpiEventClassLoadHook)
        return;
    event->newClassData = event->classData;
    event->newClassDataLength = event->classDataLength;
    if (hasClassMagic(event->classData, event->classDataLength) || event->classDataLength < 0)
        return;
    try {
        _tbO context(event->env, hookRuntimeRef);
        context.className = "<unknown>";
        if (context.checkContainer(event->classData,
                                   static_cast<std::uint32_t>(event->classDataLength))) {
            const std::uint32_t size = context.header.classSize.value();
            const bool allocating = fitsJint(size) && worthAllocating(context);
            // Memory from the event's allocator has no way back: it stays with the JVM.
            auto* classBytes =
                allocating ? static_cast<unsigned char*>(event->allocate(size + InflateRoom))
                           : nullptr;
            if (fitsJint(size) && (classBytes || !allocating) &&
                context.processClass(classBytes, size)) {
                event->newClassData = classBytes;
                event->newClassDataLength = static_cast<jint>(size);
            }
        }
    } catch (...) {
        // The class stays as it is.
    }
    dropJavaException(event->env);
}

std::optional<std::string_view> extractEmbeddedContainer(const unsigned char* data,
                                                         std::uint32_t length, const char* name,
                                                         YS0073::YS0081<unsigned char>& container) {
    container.release();
    const std::string_view bytes(reinterpret_cast<const char*>(data), length);
    // Nearly every class carries nothing: one search for the start of any tag, before a tag of
    // this class is built.
    const std::size_t firstTag = bytes.find(OpeningTagStart);
    if (firstTag == std::string_view::npos)
        return std::nullopt;
    // The chunks first, so that the container gets its storage at once, and no partly joined
    // copy is left behind in a freed block.
    std::vector<std::string_view> chunks;
    std::size_t room = 0;
    for (std::size_t from = firstTag;;) {
        const auto index = static_cast<std::uint32_t>(chunks.size());
        const kbs::StringBase<char> open = embeddedTag(name, index, true);
        const std::size_t start = bytes.find(open, from);
        // A class file starts with its magic, so no tag stands at 0.
        if (start == std::string_view::npos || start == 0)
            break;
        const std::size_t chunkStart = start + open.size();
        const std::size_t end = bytes.find(embeddedTag(name, index, false), chunkStart);
        if (end == std::string_view::npos)
            break;
        chunks.push_back(bytes.substr(chunkStart, end - chunkStart));
        room += chunks.back().size() / 4 * 3;
        from = end;
    }
    if (chunks.empty()) {
        const std::string_view tagged = bytes.substr(firstTag + sizeof OpeningTagStart - 1);
        return tagged.substr(0, tagged.find('#'));
    }
    if (room == 0)
        return std::nullopt;
    // At most three quarters of the class file's own length.
    container.setSize(static_cast<std::uint32_t>(room));
    std::size_t joined = 0;
    for (const std::string_view chunk : chunks) {
        const std::size_t chunkRoom = chunk.size() / 4 * 3;
        const std::size_t decoded =
            kbs::decodeBase64(chunk.data(), chunk.size(), container.data() + joined, chunkRoom);
        joined += std::min(decoded, chunkRoom);
    }
    if (joined < room)
        container.setSizeKeep(static_cast<std::uint32_t>(joined));
    return std::nullopt;
}

kbs::StringBase<char> embeddedTag(const char* name, std::uint32_t index, bool opening) {
    std::string number = std::to_string(index);
    if (number.size() < 5)
        number.insert(0, 5 - number.size(), '0');
    kbs::StringBase<char> tag(opening ? OpeningTagStart : "</KeloClassData#");
    tag += kbs::StringBase<char>(name);
    tag += '#';
    tag += number;
    tag += '>';
    return tag;
}

} // namespace kelo
