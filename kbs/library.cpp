#include "kbs/library.h"

namespace kbs {

Library::Library() : record(std::make_unique<Record>()) {}

Library::Library(const FileString& path, HMODULE borrowedModule)
    : record(std::make_unique<Record>(Record{borrowedModule, true})), filePath(path) {}

Library::~Library() {
    unload();
}

bool Library::load(const FileString& path, bool forceDllExtension) {
    unload();
    filePath = path;
    if (forceDllExtension) {
        const StringBase<char> dll("dll");
        filePath.setExtension(&dll);
    }
    record->module = LoadLibraryA(filePath.c_str());
    record->borrowed = false;
    return record->module != nullptr;
}

void Library::unload() {
    // A borrowed module stays with its holder: it is neither freed nor forgotten.
    if (record->module && !record->borrowed) {
        FreeLibrary(record->module);
        record->module = nullptr;
    }
}

bool Library::isLoaded() const {
    return record->module != nullptr;
}

FARPROC Library::symbol(const StringBase<char>& name) const {
    return lookUp(name.c_str());
}

FARPROC Library::symbol(std::uint16_t ordinal) const {
    return lookUp(MAKEINTRESOURCEA(ordinal));
}

// GetProcAddress would search the main program for a null module.
FARPROC Library::lookUp(LPCSTR name) const {
    return record->module ? GetProcAddress(record->module, name) : nullptr;
}

} // namespace kbs
