// The message catalogue that a Windows module carries as its string table, compiled in. There is
// one table for the process: every module handle, the null one included, serves it.
#include "windows.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct Message {
    WORD id;
    const char* text;
};

constexpr Message messages[] = {
#define KBS_MESSAGE(id, text) {id, text},
#include "messages.inc"
#undef KBS_MESSAGE
};

} // namespace

// LoadStringA: copies at most cchBufferMax - 1 characters and a NUL, returns the number copied and
// 0 for an id without text; ids are 16-bit, as the string table's are. The form with cchBufferMax
// 0 (a pointer to the resource) is not used by the library and not provided: it answers 0.
int WINAPI LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (cchBufferMax <= 0)
        return 0;
    const WORD id = static_cast<WORD>(uID);
    const auto found = std::find_if(std::begin(messages), std::end(messages),
                                    [id](const Message& message) { return message.id == id; });
    std::size_t length = 0;
    if (found != std::end(messages)) {
        length = std::min(std::strlen(found->text), static_cast<std::size_t>(cchBufferMax - 1));
        std::memcpy(lpBuffer, found->text, length);
    }
    lpBuffer[length] = '\0';
    return static_cast<int>(length);
}
