// The Java version gate: the running "java.version" against the range a container names.
#include "jni/classload/versiongate.h"

#include "jni/context.h"
#include "jni/guards.h"
#include "kbs/parsing.h"

namespace kelo {

namespace {

// "<major>.<minor>.<micro>" of a header's version bytes: major, minor, carried, micro.
void appendVersion(kbs::StringBase<char>& text, const unsigned char (&bytes)[4]) {
    text.appendNumber(bytes[0]);
    text += ".";
    text.appendNumber(bytes[1]);
    text += ".";
    text.appendNumber(bytes[3]);
}

} // namespace

kbs::StringBase<char> _tbO::getSystemProperty(const char* key) {
    PendingException pending(env);
    const LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    if (!system)
        return {};
    const jmethodID getProperty = env->GetStaticMethodID(system.get(), "getProperty",
                                                         "(Ljava/lang/String;)Ljava/lang/String;");
    if (!getProperty)
        return {};
    const LocalRef<jstring> javaKey(env, env->NewStringUTF(key));
    if (!javaKey)
        return {};
    const LocalRef<jstring> value(env, static_cast<jstring>(env->CallStaticObjectMethod(
                                           system.get(), getProperty, javaKey.get())));
    if (pending.collect() || !value)
        return {};
    const UtfChars chars(env, value.get());
    return kbs::StringBase<char>(chars.chars());
}

bool _tbO::checkJavaVersion() {
    const kbs::StringBase<char> version = getSystemProperty("java.version");
    kbs::Parsing parsing(version.c_str());
    const std::uint32_t major = parsing.parseNumber(0, 0);
    parsing.matchChar(".", 0);
    const std::uint32_t minor = parsing.parseNumber(0, 0);
    parsing.matchChar(".", 0);
    const std::uint32_t micro = parsing.parseNumber(0, 0);
    parsing.matchChar(".", 0);

    const std::uint32_t running = packJavaVersion(major, minor, micro);
    const std::uint32_t minimum = packJavaVersion(header.minJavaVersion);
    const std::uint32_t maximum = packJavaVersion(header.maxJavaVersion);
    if (running < minimum) {
        messageText += "Java Version too old, ";
        appendVersion(messageText, header.minJavaVersion);
        messageText += " required.";
        return false;
    }
    if (maximum != 0 && running > maximum) {
        messageText += "Java Version not supported. Maximum version is ";
        appendVersion(messageText, header.maxJavaVersion);
        messageText += ".";
        return false;
    }
    return true;
}

} // namespace kelo
