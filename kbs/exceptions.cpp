#include "kbs/exceptions.h"

#include "kbs/catalogue.h"
#include "kbs/errorlocations.h"
#include "kbs/filenames.h"
#include "kbs/startup.h"

#include <algorithm>
#include <initializer_list>

namespace kbs {

namespace {

// A given location continues the chained locations already on the thread's stack.
StringBase<char> recordLocation(const StringBase<char>& location) {
    if (location.empty())
        return currentErrorLocation();
    ErrorLocationGuard guard(location, true);
    return currentErrorLocation();
}

StringBase<char> moduleName() {
    StringBase<char> name;
    if (const StartUp* startUp = startUpInstance()) {
        name = startUp->moduleRecord().name;
    } else {
        char path[1024];
        const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, sizeof path);
        name = FileString(StringBase<char>(path, std::min<DWORD>(length, sizeof path - 1)))
                   .baseName(false);
    }
    return name.empty() ? StringBase<char>("<unknown>") : name;
}

bool isFreeText(std::int32_t id) {
    return id == FreeTextFatal || id == FreeTextError || id == FreeTextWarning;
}

} // namespace

Exception::Exception() : id(0), where(currentErrorLocation()) {}

Exception::Exception(std::int32_t id, const StringBase<char>& p1, const StringBase<char>& p2,
                     const StringBase<char>& p3, const StringBase<char>& location)
    : id(id), p1(p1), p2(p2), p3(p3), where(recordLocation(location)) {}

Exception::Exception(const Exception& other)
    : std::exception(other), id(other.id), p1(other.p1), p2(other.p2), p3(other.p3),
      where(other.where) {}

Exception& Exception::operator=(const Exception& other) {
    std::exception::operator=(other);
    id = other.id;
    p1 = other.p1;
    p2 = other.p2;
    p3 = other.p3;
    where = other.where;
    text.reset();
    return *this;
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    try {
        return buildText();
    } catch (...) {
        // what() may not throw; composing fails only when memory runs out.
        return "kbs::Exception (no memory to compose the message)";
    }
}

const char* Exception::buildText() const {
    return composeText(id, p1, p2, p3);
}

const char* Exception::composeText(std::int32_t messageId, const StringBase<char>& first,
                                   const StringBase<char>& second,
                                   const StringBase<char>& third) const {
    const bool freeText = isFreeText(messageId);
    StringOld body;
    StringBase<char> format;
    if (freeText) {
        body.format(first.c_str(), second.c_str(), third.c_str());
    } else if (loadMessage(static_cast<unsigned>(messageId), format)) {
        body.format(format.c_str(), first.c_str(), second.c_str(), third.c_str());
    } else {
        StringBase<char> details;
        details.appendNumber(messageId);
        for (const StringBase<char>* parameter : {&first, &second, &third}) {
            if (!parameter->empty()) {
                details += ", ";
                details += *parameter;
            }
        }
        loadMessage(UndocumentedMessage, format);
        body.format(format.c_str(), details.c_str());
    }

    // Signed: negative ids are fatal too.
    StringBase<char> severity;
    loadMessage(messageId < 2000   ? FatalErrorWord
                : messageId < 4000 ? ErrorWord
                                   : WarningWord,
                severity);

    StringBase<char> composed = moduleName();
    if (!where.empty()) {
        composed += ", ";
        composed += where;
    }
    composed += ": ";
    composed += severity;
    if (!freeText) {
        composed += ' ';
        composed += errorPrefix();
        composed.appendNumber(messageId);
    }
    composed += " - ";
    composed += body;
    composed += '.';

    if (text)
        *text = std::move(composed);
    else
        text = std::make_unique<StringBase<char>>(std::move(composed));
    return text->c_str();
}

} // namespace kbs
