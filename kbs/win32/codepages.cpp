#include "windows.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <string>

namespace {

constexpr UINT windows1252 = 1252;

// Windows-1252 from 0x80 to 0x9F. Windows maps the five bytes the code page leaves undefined to the
// C1 controls of the same value, so every byte round-trips.
constexpr char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Marks an ill-formed sequence; never a code point.
constexpr char32_t invalidSequence = 0xFFFFFFFF;
constexpr char32_t replacementCharacter = 0xFFFD;

bool isAnsiCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == windows1252;
}

char16_t fromWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : char16_t{byte};
}

bool toWindows1252(char16_t unit, char& byte) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        byte = static_cast<char>(unit);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (windows1252High[i] == unit) {
            byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// Counts the units a conversion produces and stores those that fit; a capacity of 0 only counts.
template <typename Unit> struct Output {
    Unit* buffer;
    size_t capacity;
    size_t count = 0;

    void put(Unit unit) {
        if (count < capacity) {
            buffer[count] = unit;
        }
        ++count;
    }

    int result() const {
        if ((capacity != 0 && count > capacity) || count > INT_MAX) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        return static_cast<int>(count);
    }
};

// Decodes the sequence at text[i] and moves i past it. An ill-formed sequence ends before the first
// byte that cannot continue it, so each maximal ill-formed part becomes one U+FFFD, as on Windows.
char32_t decodeUtf8(const unsigned char* text, size_t length, size_t& i) {
    const unsigned char lead = text[i++];
    if (lead < 0x80) {
        return lead;
    }
    size_t trailing;
    char32_t codePoint;
    // The range of the first continuation byte excludes overlong forms, surrogates and > U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return invalidSequence;
    }
    for (; trailing > 0; --trailing) {
        if (i == length || text[i] < low || text[i] > high) {
            return invalidSequence;
        }
        codePoint = codePoint << 6 | (text[i++] & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return codePoint;
}

// Decodes the code point at text[i] and moves i past it; a lone surrogate is ill-formed.
char32_t decodeUtf16(const WCHAR* text, size_t length, size_t& i) {
    const char16_t unit = text[i++];
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF && i < length && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        return 0x10000 + ((unit - 0xD800u) << 10 | (text[i++] - 0xDC00u));
    }
    return invalidSequence;
}

void putUtf16(Output<WCHAR>& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.put(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        out.put(static_cast<char16_t>(0xD800 | codePoint >> 10));
        out.put(static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF)));
    }
}

void putUtf8(Output<char>& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.put(static_cast<char>(codePoint));
        return;
    }
    constexpr unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
    int trailing = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
    out.put(static_cast<char>(leads[trailing] | codePoint >> (6 * trailing)));
    while (trailing-- > 0) {
        out.put(static_cast<char>(0x80 | (codePoint >> (6 * trailing) & 0x3F)));
    }
}

int invalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

int invalidFlags() {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
}

int noTranslation() {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
}

} // namespace

// MultiByteToWideChar: UTF-8 and the ANSI code page (Windows-1252) to UTF-16, as on Windows 10.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
        (lpWideCharStr == nullptr && cchWideChar != 0)) {
        return invalidParameter();
    }
    const auto* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    const size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : cbMultiByte;
    Output<WCHAR> out{lpWideCharStr, static_cast<size_t>(cchWideChar)};
    if (CodePage == CP_UTF8) {
        if ((dwFlags & ~MB_ERR_INVALID_CHARS) != 0) {
            return invalidFlags();
        }
        for (size_t i = 0; i < length;) {
            char32_t codePoint = decodeUtf8(text, length, i);
            if (codePoint == invalidSequence) {
                if ((dwFlags & MB_ERR_INVALID_CHARS) != 0) {
                    return noTranslation();
                }
                codePoint = replacementCharacter;
            }
            putUtf16(out, codePoint);
        }
    } else if (isAnsiCodePage(CodePage)) {
        if ((dwFlags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
            return invalidFlags();
        }
        for (size_t i = 0; i < length; ++i) {
            out.put(fromWindows1252(text[i]));
        }
    } else {
        return invalidParameter();
    }
    return out.result();
}

// WideCharToMultiByte: UTF-16 to UTF-8 or Windows-1252, as on Windows 10 without best-fit mappings.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
        (lpMultiByteStr == nullptr && cbMultiByte != 0)) {
        return invalidParameter();
    }
    const size_t length =
        cchWideChar < 0 ? std::char_traits<WCHAR>::length(lpWideCharStr) + 1 : cchWideChar;
    Output<char> out{lpMultiByteStr, static_cast<size_t>(cbMultiByte)};
    if (CodePage == CP_UTF8) {
        if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
            return invalidParameter();
        }
        if ((dwFlags & ~WC_ERR_INVALID_CHARS) != 0) {
            return invalidFlags();
        }
        for (size_t i = 0; i < length;) {
            char32_t codePoint = decodeUtf16(lpWideCharStr, length, i);
            if (codePoint == invalidSequence) {
                if ((dwFlags & WC_ERR_INVALID_CHARS) != 0) {
                    return noTranslation();
                }
                codePoint = replacementCharacter;
            }
            putUtf8(out, codePoint);
        }
    } else if (isAnsiCodePage(CodePage)) {
        if (dwFlags != 0) {
            return invalidFlags();
        }
        const char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
        bool usedDefault = false;
        for (size_t i = 0; i < length; ++i) {
            char byte;
            if (!toWindows1252(lpWideCharStr[i], byte)) {
                byte = defaultChar;
                usedDefault = true;
            }
            out.put(byte);
        }
        if (lpUsedDefaultChar != nullptr) {
            *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
        }
    } else {
        return invalidParameter();
    }
    return out.result();
}

// CharUpperBuffA: upper-cases in place in the ANSI code page; ß and µ have no capital there.
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength) {
    for (DWORD i = 0; i < cchLength; ++i) {
        const auto c = static_cast<unsigned char>(lpsz[i]);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            lpsz[i] = static_cast<char>(c - 0x20);
        } else if (c == 0x9A || c == 0x9C || c == 0x9E) {
            lpsz[i] = static_cast<char>(c - 0x10);
        } else if (c == 0xFF) {
            lpsz[i] = static_cast<char>(0x9F);
        }
    }
    return cchLength;
}
