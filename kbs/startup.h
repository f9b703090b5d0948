// The module's start-up object: keeps the module handle and name, receives the loader's entry
// notifications through dispatchEntry() and drives automatic initialisation and shutdown.
#ifndef KBS_STARTUP_H
#define KBS_STARTUP_H

#include "kbs/filenames.h"
#include "kbs/strings.h"

#include <windows.h>

#include <memory>

namespace kbs {

struct ModuleRecord {
    HINSTANCE module = nullptr;
    // When set, message lookups search this module before the module itself.
    HINSTANCE languageModule = nullptr;
    StringBase<char> name;
};

class StartUp {
public:
    // The first start-up object constructed becomes startUpInstance(); every one sets the error
    // prefix (at most 11 characters are kept). A null module name is empty.
    StartUp(const char* errorPrefix, const char* moduleName);
    virtual ~StartUp();
    StartUp(const StartUp&) = delete;
    StartUp& operator=(const StartUp&) = delete;

    virtual FileString moduleFileName() const = 0;
    // The two-letter suffix of the user's interface language, or empty text.
    virtual StringBase<char> languageSuffix() const;
    virtual bool onProcessAttach() = 0;
    virtual bool onProcessDetach() = 0;

    ModuleRecord& moduleRecord() { return *record; }
    const ModuleRecord& moduleRecord() const { return *record; }

private:
    std::unique_ptr<ModuleRecord> record;
};

class Module : public StartUp {
public:
    Module(const char* errorPrefix, const char* moduleName);
    ~Module() override;

    FileString moduleFileName() const override;
    // Runs every automatic initialiser (they are idempotent).
    bool onProcessAttach() override;
    // Runs shutdown().
    bool onProcessDetach() override;
    virtual bool onThreadAttach() { return true; }
    virtual bool onThreadDetach() { return true; }
};

StartUp* startUpInstance();
Module* moduleInstance();
// The text put before error numbers in composed messages.
const char* errorPrefix();

// Forwards one loader notification (DLL_PROCESS_ATTACH ... DLL_THREAD_DETACH) to the module.
// At process attach the handle is recorded and the automatic initialisers run before the
// module's own hook; a refused attach is followed by the detach hook.
BOOL dispatchEntry(Module& module, HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept;

// Finishes the automatic initialisers (newest first), then deletes the singletons (newest first).
void shutdown() noexcept;

// The suffix for a Windows language id; empty when the language has none.
StringBase<char> languageSuffixFor(LANGID language);

} // namespace kbs

#endif
