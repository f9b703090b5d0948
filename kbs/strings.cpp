#include "kbs/strings.h"

#include "kbs/singleton.h"

#include <algorithm>

namespace kbs {

template <> void StringBase<char>::makeUpper() {
    if (!empty())
        CharUpperBuffA(&(*this)[0], static_cast<DWORD>(size()));
}

template <> int StringBase<char>::compareNoCase(const StringBase& a, const StringBase& b) {
    StringBase upperA(a);
    StringBase upperB(b);
    upperA.makeUpper();
    upperB.makeUpper();
    return upperA.compare(upperB);
}

template <>
std::size_t StringBase<WCHAR>::copyTo(WCHAR* destination, std::size_t capacity,
                                      bool terminate) const {
    if (capacity == 0)
        return 0;
    const std::size_t room = terminate ? capacity - 1 : capacity;
    const std::size_t copied = std::min(size(), room);
    traits_type::copy(destination, data(), copied);
    if (terminate)
        destination[copied] = 0;
    return size();
}

StringOld& StringOld::format(const char* format, const char* p1, const char* p2, const char* p3,
                             const char* p4, const char* p5, const char* p6, const char* p7,
                             const char* p8, const char* p9) {
    *this = format;
    const char* const arguments[] = {p1, p2, p3, p4, p5, p6, p7, p8, p9};
    char key[] = "%1";
    for (const char* argument : arguments) {
        if (find(key) == npos || replaceAll(StringBase(key), StringBase(argument)) == 0)
            break;
        ++key[1];
    }
    return *this;
}

const StringBase<char>& emptyString() {
    static std::atomic<StringBase<char>*> slot{nullptr};
    return processWide(slot);
}

const StringBase<char>& lineEnd() {
    static std::atomic<StringBase<char>*> slot{nullptr};
    return processWide(slot, [] { return std::make_unique<StringBase<char>>("\r\n"); });
}

} // namespace kbs
