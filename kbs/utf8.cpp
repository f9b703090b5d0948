#include "kbs/utf8.h"

#include <climits>
#include <cstdint>
#include <memory>

namespace kbs {

std::atomic<Utf8Conversion<StringBase<char>, Utf8>*>
    Utf8Conversion<StringBase<char>, Utf8>::current{nullptr};

Utf8Conversion<StringBase<char>, Utf8>& Utf8Conversion<StringBase<char>, Utf8>::instance() {
    if (Utf8Conversion* existing = current.load(std::memory_order_acquire))
        return *existing;
    // Registered as a singleton by its base class: shutdown deletes it.
    auto* created = new Utf8Conversion();
    Utf8Conversion* expected = nullptr;
    if (current.compare_exchange_strong(expected, created, std::memory_order_acq_rel))
        return *created;
    // Lost a race on first use; the registered loser is harmless until shutdown deletes it.
    return *expected;
}

Utf8Conversion<StringBase<char>, Utf8>::~Utf8Conversion() {
    Utf8Conversion* self = this;
    current.compare_exchange_strong(self, nullptr);
}

std::size_t
Utf8Conversion<StringBase<char>, Utf8>::toUtf8(const StringBase<char>& source,
                                               std::vector<unsigned char>& destination) const {
    destination.clear();
    if (source.empty())
        return 0;
    // The system functions count in int; the wide buffer's byte size must fit 32 bits.
    if (source.size() >= INT_MAX || (source.size() + 1) > UINT32_MAX / sizeof(WCHAR))
        return 0;
    const int length = static_cast<int>(source.size());
    std::unique_ptr<WCHAR[]> wide(new (std::nothrow) WCHAR[source.size() + 1]);
    if (!wide)
        return 0;
    const int wideLength =
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source.data(), length, wide.get(), length + 1);
    if (wideLength == 0)
        return 0;
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.get(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0)
        return 0;
    destination.assign(static_cast<std::size_t>(utf8Length) + 1, 0);
    const int written = WideCharToMultiByte(CP_UTF8, 0, wide.get(), wideLength,
                                            reinterpret_cast<char*>(destination.data()), utf8Length,
                                            nullptr, nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

} // namespace kbs
