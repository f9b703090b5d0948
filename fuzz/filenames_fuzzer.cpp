// File name operations driven by a small program. Input lines: the program, the file name, and the
// argument of the operations that take a text. Program: operations, each a letter followed by its
// modifiers:
//   v drive  b baseName  B baseName keeping the extension  r removeExtension
//   e setExtension  E setExtension(null)  f setFileName  F setFileName replacing the extension
//   g setFileName(null)  d displayText  s shortened  u makeFull  i isFile  c setToCurrentDirectory
//   digits: the length limit of d and s  " NoQuotes  ~ RelativeToCurrent
#include "check.h"
#include "program.h"

#include "kbs/filenames.h"

#include <cstring>
#include <string>

namespace {

using kbs::FileString;
using Text = kbs::StringBase<char>;

bool startsWith(const Text& text, const Text& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const Text& text, const Text& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Where the last component starts.
std::size_t lastComponent(const Text& name) {
    const std::size_t separator = name.find_last_of("\\/");
    return separator == Text::npos ? 0 : separator + 1;
}

void run(FileString& name, const Operation& operation, const Text& argument) {
    const FileString old = name;
    const std::size_t limit = modifierNumber(operation.modifiers);
    const unsigned flags =
        (operation.modifiers.find('"') != std::string::npos ? FileString::NoQuotes : 0) |
        (operation.modifiers.find('~') != std::string::npos ? FileString::RelativeToCurrent : 0);
    switch (operation.code) {
    case 'v':
        FUZZ_CHECK(startsWith(name, name.drive()));
        break;
    case 'b':
    case 'B': {
        const FileString base = name.baseName(operation.code == 'B');
        const FileString whole = name.baseName(true);
        FUZZ_CHECK(endsWith(name, whole) && whole.find_first_of("\\/") == Text::npos);
        FUZZ_CHECK(startsWith(whole, base));
        break;
    }
    case 'r':
        name.removeExtension();
        FUZZ_CHECK(startsWith(old, name) && name.size() >= lastComponent(old));
        FUZZ_CHECK(name == old || old[name.size()] == '.');
        break;
    case 'e': {
        name.setExtension(&argument);
        FileString stripped = old;
        stripped.removeExtension();
        const bool dotted = !argument.empty() && argument[0] == '.';
        FUZZ_CHECK(name == stripped + (dotted ? "" : ".") + argument);
        break;
    }
    case 'E':
        name.setExtension(nullptr);
        FUZZ_CHECK(!name.empty() && name.back() == '.');
        break;
    case 'f':
    case 'F':
    case 'g':
        name.setFileName(operation.code == 'g' ? nullptr : &argument, operation.code != 'f');
        FUZZ_CHECK(startsWith(name, old.substr(0, lastComponent(old))));
        break;
    case 'd': {
        const Text shown = name.displayText(limit, flags);
        // Unquoted, unlimited and absolute, the name shows as it is but for an upper-case drive.
        if (!name.empty() && flags == FileString::NoQuotes && limit == 0) {
            Text expected = name;
            if (expected.size() >= 2 && expected[1] == ':' && expected[0] >= 'a' &&
                expected[0] <= 'z')
                expected[0] = static_cast<char>(expected[0] - 'a' + 'A');
            FUZZ_CHECK(shown == expected);
        }
        break;
    }
    case 's':
        // A bare drive prefix of the current directory's drive is dropped, leaving nothing.
        if (name.size() != 2 || name[1] != ':')
            FUZZ_CHECK(!name.shortened(limit).empty());
        break;
    case 'u':
        name.makeFull();
        break;
    case 'i':
        name.isFile();
        break;
    default:
        name.setToCurrentDirectory();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = inputLines(data, size, 3);
    FileString name(lines[1]);
    const Text argument(lines[2]);
    Operation operation;
    for (std::size_t at = 0; nextOperation(lines[0], at, "vbBreEfFgdsuic", operation);)
        run(name, operation, argument);
    return 0;
}
