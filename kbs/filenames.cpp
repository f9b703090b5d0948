#include "kbs/filenames.h"

namespace kbs {

const char separators[3] = "\\/";

namespace {

using Text = StringBase<char>;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool hasDriveLetter(const Text& name) {
    return name.size() >= 2 && name[1] == ':';
}

char upperLetter(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char driveLetterOf(const Text& name) {
    return hasDriveLetter(name) ? upperLetter(name[0]) : 0;
}

// Start of the text after the last separator.
Text::size_type lastComponent(const Text& name) {
    const Text::size_type separator = name.find_last_of(separators);
    return separator == Text::npos ? 0 : separator + 1;
}

// Position of the last '.' of the last component, or npos.
Text::size_type extensionDot(const Text& name) {
    const Text::size_type dot = name.rfind('.');
    return dot != Text::npos && dot >= lastComponent(name) ? dot : Text::npos;
}

Text currentDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? Text(buffer, length) : Text();
}

// Windows keeps a current directory per drive; the full path of the bare drive names it without
// changing the process's current directory.
Text driveDirectory(char letter) {
    const char drive[] = {letter, ':', 0};
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(drive, sizeof buffer, buffer, nullptr);
    return length > 0 && length < sizeof buffer ? Text(buffer, length) : Text();
}

// `rest` (a name without its drive prefix) relative to `reference` when it lies within it.
Text relativeTo(const Text& rest, const Text& reference, bool onCurrentDrive) {
    const Text base = hasDriveLetter(reference) ? reference.substr(2) : reference;
    if (base.empty() || rest.size() < base.size() ||
        Text::compareNoCase(rest.substr(0, base.size()), base) != 0)
        return rest;
    if (rest.size() == base.size())
        return ".";
    if (isSeparator(rest[base.size()]))
        return rest.substr(base.size() + 1);
    if (base.size() == 1 && isSeparator(base[0]) && onCurrentDrive)
        return rest.substr(1);
    return rest;
}

} // namespace

bool FileString::isFile() const {
    const DWORD attributes = GetFileAttributesA(c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FileString::makeFull() {
    if (empty()) {
        setToCurrentDirectory();
        return;
    }
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(c_str(), sizeof buffer, buffer, nullptr);
    if (length > 0 && length < sizeof buffer)
        assign(buffer, length);
}

FileString FileString::fullPath() const {
    FileString full(*this);
    full.makeFull();
    return full;
}

void FileString::setToCurrentDirectory() {
    const Text current = currentDirectory();
    if (!current.empty())
        *this = current;
}

FileString FileString::drive() const {
    if (size() < 2)
        return FileString();
    if ((*this)[1] == ':')
        return FileString(substr(0, 2));
    if ((*this)[0] == '\\' && (*this)[1] == '\\') {
        const size_type end = find('\\', 2);
        if (end != npos)
            return FileString(substr(0, end));
    }
    return FileString();
}

FileString FileString::baseName(bool keepExtension) const {
    FileString name(substr(lastComponent(*this)));
    if (!keepExtension)
        name.removeExtension();
    return name;
}

void FileString::removeExtension() {
    const size_type dot = extensionDot(*this);
    if (dot != npos)
        erase(dot);
}

void FileString::setExtension(const StringBase<char>* extension) {
    removeExtension();
    if (!extension || extension->empty() || (*extension)[0] != '.')
        push_back('.');
    if (extension)
        append(*extension);
}

void FileString::setFileName(const StringBase<char>* name, bool replaceExtension) {
    const Text replacement = name ? *name : Text();
    const size_type start = lastComponent(*this);
    if (start > 0 && start == size()) {
        append(replacement);
        return;
    }
    const size_type dot = extensionDot(*this);
    const size_type end = !replaceExtension && dot != npos ? dot : size();
    replace(start, end - start, replacement);
}

StringBase<char> FileString::displayText(std::size_t maxLength, unsigned flags) const {
    const bool relative = (flags & RelativeToCurrent) != 0;
    if (empty())
        return relative ? "<none>" : "";
    const bool quoted = !(flags & NoQuotes) && find(' ') != npos;
    const char letter = driveLetterOf(*this);
    Text rest = letter ? substr(2) : Text(*this);

    char currentLetter = 0;
    if (relative) {
        const Text current = currentDirectory();
        currentLetter = driveLetterOf(current);
        // A name from the root of the current drive or a server cannot lie below the current
        // directory, unless the system's own paths begin with '/' too.
        const bool rooted = compare(0, 2, "\\\\") == 0 ||
                            ((*this)[0] == '/' && (current.empty() || current[0] != '/'));
        if (!rooted) {
            const Text reference =
                letter && letter != currentLetter ? driveDirectory(letter) : current;
            rest = relativeTo(rest, reference, letter && letter == currentLetter);
        }
    }

    Text mark;
    if (maxLength > 0) {
        while (rest.size() > maxLength) {
            const size_type next = rest.find_first_of(separators, 1);
            if (next == npos)
                break;
            if (mark.empty())
                mark = Text(1, rest[next]) + "...";
            rest.erase(0, next);
        }
    }

    Text result;
    if (quoted)
        result += '"';
    if (letter && (!relative || letter != currentLetter))
        result += Text(1, letter) + ':';
    result += mark;
    result += rest;
    if (quoted)
        result += '"';
    return result;
}

StringBase<char> FileString::shortened(std::size_t maxLength) const {
    if (empty())
        return "<none>";
    const std::size_t limit = maxLength > 0 ? maxLength : MAX_PATH;
    Text prefix;
    Text text = *this;
    if (hasDriveLetter(*this)) {
        const Text current = currentDirectory();
        if (current.empty() || current[0] != (*this)[0])
            prefix = substr(0, 2);
        text = substr(2);
    }
    // The first character stays; from the second pass on the search skips the "..." just written.
    for (size_type from = 1; text.size() > limit; from = 5) {
        const size_type next = text.find_first_of(separators, from);
        if (next == npos)
            break;
        text.replace(1, next - 1, "...");
    }
    return prefix + text;
}

} // namespace kbs
