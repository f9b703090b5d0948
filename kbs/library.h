// The holder of one dynamically loaded module.
#ifndef KBS_LIBRARY_H
#define KBS_LIBRARY_H

#include "kbs/filenames.h"
#include "kbs/strings.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace kbs {

// Frees the module it loaded itself when unloaded or destroyed; a borrowed module, one that
// someone else loaded, is never freed.
class Library {
public:
    Library();
    Library(const FileString& path, HMODULE borrowedModule);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Frees the module it loaded, if any, then loads `path`, its extension replaced by "dll" when
    // `forceDllExtension` is set. False when the system could not load it (see GetLastError).
    bool load(const FileString& path, bool forceDllExtension);
    void unload();
    bool isLoaded() const;
    // The module's export, or null when it has none of that name or ordinal or nothing is loaded.
    FARPROC symbol(const StringBase<char>& name) const;
    FARPROC symbol(std::uint16_t ordinal) const;
    // As last given to load() or the constructor, after any change of extension.
    const FileString& path() const { return filePath; }

private:
    struct Record {
        HMODULE module = nullptr;
        bool borrowed = false;
    };

    FARPROC lookUp(LPCSTR name) const;

    std::unique_ptr<Record> record;
    FileString filePath;
};

} // namespace kbs

#endif
