// Text types of the support library: standard strings with a virtual destructor, null-tolerant
// construction and assignment, and the few operations the library relies on. Narrow text is in the
// process's ANSI code page; wide text holds UTF-16 code units.
#ifndef KBS_STRINGS_H
#define KBS_STRINGS_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kbs {

template <class C> class StringBase : public std::basic_string<C> {
public:
    using Base = std::basic_string<C>;
    using typename Base::size_type;

    StringBase() = default;
    StringBase(const C* text) : Base(text ? text : emptyText()) {}
    StringBase(const C* text, size_type length) : Base(text ? Base(text, length) : Base()) {}
    StringBase(size_type count, C c) : Base(count, c) {}
    StringBase(const Base& text) : Base(text) {}
    StringBase(Base&& text) noexcept : Base(std::move(text)) {}
    StringBase(const StringBase&) = default;
    StringBase(StringBase&&) noexcept = default;
    virtual ~StringBase() = default;

    StringBase& operator=(const StringBase&) = default;
    StringBase& operator=(StringBase&&) noexcept = default;
    StringBase& operator=(const Base& text) {
        Base::assign(text);
        return *this;
    }
    StringBase& operator=(const C* text) {
        if (text)
            Base::assign(text);
        else
            Base::clear();
        return *this;
    }
    StringBase& assign(const C* text, size_type length) {
        if (text)
            Base::assign(text, length);
        else
            Base::clear();
        return *this;
    }

    StringBase substr(size_type position = 0, size_type count = Base::npos) const {
        return StringBase(Base::substr(position, count));
    }

    // Appends the plain decimal text of the number.
    StringBase& appendNumber(std::int32_t number);

    // Replaces every occurrence of `find`, left to right, never rescanning an inserted
    // replacement; returns the number of replacements. An empty `find` replaces nothing.
    std::size_t replaceAll(const StringBase& find, const StringBase& replacement);

    // Upper-cases in place in the ANSI code page.
    void makeUpper();

    // Compares upper-cased copies as std::string::compare does.
    static int compareNoCase(const StringBase& a, const StringBase& b);

    // Copies into a caller's buffer of `capacity` characters, reserving one for a terminating 0
    // when `terminate` is set; returns the full length so that truncation can be detected.
    std::size_t copyTo(C* destination, std::size_t capacity, bool terminate) const;

private:
    static const C* emptyText() {
        static const C nothing[1] = {};
        return nothing;
    }
};

template <class C> StringBase<C>& StringBase<C>::appendNumber(std::int32_t number) {
    for (char digit : std::to_string(number))
        Base::push_back(static_cast<C>(digit));
    return *this;
}

template <class C>
std::size_t StringBase<C>::replaceAll(const StringBase& find, const StringBase& replacement) {
    if (find.empty())
        return 0;
    std::size_t count = 0;
    for (size_type at = Base::find(find); at != Base::npos;
         at = Base::find(find, at + replacement.size())) {
        Base::replace(at, find.size(), replacement);
        ++count;
    }
    return count;
}

template <> void StringBase<char>::makeUpper();
template <> int StringBase<char>::compareNoCase(const StringBase& a, const StringBase& b);
template <>
std::size_t StringBase<WCHAR>::copyTo(WCHAR* destination, std::size_t capacity,
                                      bool terminate) const;

using WideString = StringBase<WCHAR>;

// A string that substitutes %1..%9 placeholders.
class StringOld : public StringBase<char> {
public:
    using StringBase<char>::StringBase;
    using StringBase<char>::operator=;

    // The text becomes `format` with %1, %2, ... replaced by the arguments in turn (a null
    // argument counts as empty). Substitution stops at the first placeholder number that does
    // not occur. A null format clears the text.
    StringOld& format(const char* format, const char* p1 = nullptr, const char* p2 = nullptr,
                      const char* p3 = nullptr, const char* p4 = nullptr, const char* p5 = nullptr,
                      const char* p6 = nullptr, const char* p7 = nullptr, const char* p8 = nullptr,
                      const char* p9 = nullptr);
};

// Process-wide constant strings, created on first use and released at shutdown.
const StringBase<char>& emptyString();
const StringBase<char>& lineEnd();

} // namespace kbs

#endif
