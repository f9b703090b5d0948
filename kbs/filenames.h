// File and folder names in the ANSI code page, with the path operations the library needs and the
// forms in which names appear in messages. Both the backslash and the slash separate components.
#ifndef KBS_FILENAMES_H
#define KBS_FILENAMES_H

#include "kbs/strings.h"

#include <cstddef>

namespace kbs {

// The component separators, backslash first.
extern const char separators[3];

class FileString : public StringBase<char> {
public:
    enum DisplayFlags : unsigned {
        RelativeToCurrent = 1, // relative to the current directory; "<none>" for an empty name
        NoQuotes = 2,          // never put the name in double quotes
    };

    FileString() = default;
    FileString(const char* name) : StringBase<char>(name) {}
    explicit FileString(const StringBase<char>* name)
        : StringBase<char>(name ? *name : StringBase<char>()) {}
    FileString(const StringBase<char>& name) : StringBase<char>(name) {}
    using StringBase<char>::operator=;

    // True when the name exists and is not a directory.
    bool isFile() const;
    // Replaces the name by its full path; an empty name becomes the current directory. A failing
    // system call leaves the name as it was.
    void makeFull();
    FileString fullPath() const;
    void setToCurrentDirectory();

    // "C:" for a drive-letter name, "\\server" for a UNC name, else empty.
    FileString drive() const;
    // The last component, without its extension unless `keepExtension` is set.
    FileString baseName(bool keepExtension) const;
    // Cuts the name before the last '.' of its last component.
    void removeExtension();
    // Replaces the extension; a leading '.' of `extension` is optional.
    void setExtension(const StringBase<char>* extension);
    // Replaces the last component (a name ending in a separator gets `name` appended); without
    // `replaceExtension` the old extension stays.
    void setFileName(const StringBase<char>* name, bool replaceExtension);

    // The form used in messages: quoted when it holds a space, optionally relative to the current
    // directory, leading components replaced by "\..." while longer than `maxLength` (0: no limit).
    StringBase<char> displayText(std::size_t maxLength, unsigned flags) const;
    // The name abbreviated with "..." to at most `maxLength` characters where possible (0: 260).
    StringBase<char> shortened(std::size_t maxLength) const;
};

} // namespace kbs

#endif
