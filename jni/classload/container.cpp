// checkContainer: recognises a class container, copies its header, checks the format version and,
// once per process, the Java version.
#include "jni/context.h"
#include "jni/guards.h"
#include "jni/state.h"

#include <algorithm>
#include <cstring>

namespace kelo {

namespace {

constexpr char Signature[] = {'K', 'E', 'L', 'O', 'C', 'L', 'S', 'F'};
static_assert(sizeof Signature == sizeof ContainerHeader::signature, "eight bytes, no terminator");

// "<first><version>.<headerLength> - current is 3.75."
kbs::StringBase<char> formatText(const char* first, const ContainerHeader& header) {
    kbs::StringBase<char> text(first);
    text.appendNumber(static_cast<std::int32_t>(header.formatVersion.value()));
    text += ".";
    text.appendNumber(static_cast<std::int32_t>(header.headerLength.value()));
    text += " - current is ";
    text.appendNumber(CurrentFormatVersion);
    text += ".";
    text.appendNumber(CurrentHeaderLength);
    text += ".";
    return text;
}

// The failed gate: messageText is logged and reported, then the JVM is ended with status 1.
void endForJavaVersion(_tbO& context) {
    context.log(LogError, context.messageText);
    context.sendMessage(ErrorUnspecified, context.messageText);
    JNIEnv* const env = context.env;
    PendingException pending(env);
    const LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    if (!system)
        return;
    const jmethodID exit = env->GetStaticMethodID(system.get(), "exit", "(I)V");
    if (!exit)
        return;
    env->CallStaticVoidMethod(system.get(), exit, jint{1});
}

} // namespace

bool _tbO::checkContainer(const unsigned char* bytes, std::uint32_t length) {
    if (length < CurrentHeaderLength || std::memcmp(bytes, Signature, sizeof Signature) != 0)
        return false;
    const std::uint32_t headerLength = std::uint32_t{bytes[12]} | std::uint32_t{bytes[13]} << 8;
    std::memcpy(&header, bytes, std::min<std::uint32_t>(headerLength, CurrentHeaderLength));

    const std::uint32_t version = header.formatVersion.value();
    if (version == 0 || version > CurrentFormatVersion) {
        const kbs::StringBase<char> text = formatText(
            version == 0 ? "File format too old: Found " : "File format incompatible: Found ",
            header);
        log(LogError, text);
        sendMessage(ErrorUnspecified, text);
        return false;
    }
    if (header.classKind == 0 && versionGatePending.load()) {
        if (!checkJavaVersion()) {
            endForJavaVersion(*this);
            return false;
        }
        versionGatePending = false;
    }
    // A header that claims to reach past the bytes leaves an empty payload at their end, which
    // the pipeline refuses; nothing after this point can read beyond `length`.
    const std::uint32_t start = std::min(headerLength, length);
    payload = bytes + start;
    payloadLength = length - start;
    return true;
}

} // namespace kelo
