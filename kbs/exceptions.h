// The support library's one exception type. It holds a catalogue id, up to three text parameters
// and the error location in force when it was made, and composes its message only when asked.
#ifndef KBS_EXCEPTIONS_H
#define KBS_EXCEPTIONS_H

#include "kbs/strings.h"

#include <cstdint>
#include <exception>
#include <memory>

namespace kbs {

class Exception : public std::exception {
public:
    // Id 0, no parameters, the current error location.
    Exception();
    // Pass emptyString() for unused parameters. A non-empty `location` is recorded after the
    // chained locations already on the thread's stack; an empty one records the current location.
    Exception(std::int32_t id, const StringBase<char>& p1, const StringBase<char>& p2,
              const StringBase<char>& p3, const StringBase<char>& location);
    // The composed text is not copied: it is composed again on demand.
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    std::int32_t errorId() const noexcept { return id; }
    void setErrorId(std::int32_t newId) noexcept { id = newId; }
    const StringBase<char>& parameter1() const noexcept { return p1; }
    const StringBase<char>& parameter2() const noexcept { return p2; }
    const StringBase<char>& parameter3() const noexcept { return p3; }
    const StringBase<char>& location() const noexcept { return where; }

    const char* what() const noexcept override;
    // Composes the message afresh; the pointer stays valid until the next call or destruction.
    virtual const char* buildText() const;

protected:
    // The composition with the given id and parameters, for subclasses with parameters of their
    // own.
    const char* composeText(std::int32_t messageId, const StringBase<char>& first,
                            const StringBase<char>& second, const StringBase<char>& third) const;

private:
    std::int32_t id;
    StringBase<char> p1;
    StringBase<char> p2;
    StringBase<char> p3;
    StringBase<char> where;
    mutable std::unique_ptr<StringBase<char>> text;
};

} // namespace kbs

#endif
