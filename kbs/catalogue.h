// The message catalogue: texts by 16-bit id from the string table of the module (resources/).
#ifndef KBS_CATALOGUE_H
#define KBS_CATALOGUE_H

#include "kbs/strings.h"

namespace kbs {

// Ids the library composes messages with.
enum MessageId {
    // Free-text ids, one per severity: they have no text, their first parameter is the format.
    FreeTextFatal = 1000,
    FreeTextError = 2000,
    FreeTextWarning = 4000,
    // The body of a message whose id has no text; %1 is the id and the parameters.
    UndocumentedMessage = 55296,
    ErrorWord = 55297,
    WarningWord = 55298,
    FatalErrorWord = 55299,
};

// Reads the text of `id`, cut at 511 characters, from the start-up object's language module when
// it has one, else from the module itself, and then from the module itself; without a start-up
// object from the executable. Not found: `text` becomes empty and the answer is false.
bool loadMessage(unsigned id, StringBase<char>& text);

} // namespace kbs

#endif
