#include "kbs/files.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace kbs {

namespace {

constexpr std::int32_t fileNotFound = 1001;
constexpr std::int32_t cannotOpen = 1003;
constexpr std::int32_t cannotCreate = 1004;
constexpr std::int32_t cannotRead = 1009;
constexpr std::int32_t cannotWrite = 1010;
constexpr std::int32_t badName = 1016;

struct ErrorMessage {
    DWORD error;
    std::int32_t id;
};

// Searched in order, this one first.
constexpr ErrorMessage fileErrors[] = {
    {ERROR_FILE_NOT_FOUND, 1001},      {ERROR_PATH_NOT_FOUND, 1002},
    {ERROR_TOO_MANY_OPEN_FILES, 1012}, {ERROR_ACCESS_DENIED, 1013},
    {ERROR_NOT_ENOUGH_MEMORY, 1014},   {ERROR_SHARING_VIOLATION, 1022},
    {ERROR_LOCK_VIOLATION, 1022},      {ERROR_FILE_READ_ONLY, 1010},
    {ERROR_ALREADY_EXISTS, 1029},
};

// Their messages name the drive.
constexpr ErrorMessage driveErrors[] = {
    {ERROR_INVALID_DRIVE, 1015}, {ERROR_WRITE_PROTECT, 1017},
    {ERROR_BAD_UNIT, 1015},      {ERROR_NOT_READY, 1018},
    {ERROR_CRC, 1009},           {ERROR_SEEK, 1019},
    {ERROR_NOT_DOS_DISK, 1020},  {ERROR_SECTOR_NOT_FOUND, 1019},
    {ERROR_WRITE_FAULT, 1010},   {ERROR_READ_FAULT, 1009},
    {ERROR_GEN_FAILURE, 1015},   {ERROR_WRONG_DISK, 1021},
};

template <std::size_t N> const ErrorMessage* find(const ErrorMessage (&table)[N], DWORD error) {
    const auto* found = std::find_if(
        table, table + N, [error](const ErrorMessage& row) { return row.error == error; });
    return found == table + N ? nullptr : found;
}

FileException failure(std::int32_t id, const FileString& name) {
    FileException exception(id, emptyString(), emptyString(), emptyString(), emptyString());
    exception.setFileName(name);
    return exception;
}

DWORD accessFor(std::uint32_t mode) {
    DWORD access = 0;
    if (mode & (FileRead | FileShareRead))
        access |= GENERIC_READ;
    if (mode & (FileWrite | FileShareWrite))
        access |= GENERIC_WRITE;
    return access;
}

DWORD shareModeFor(std::uint32_t mode) {
    if (mode & FileShareWrite)
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    return mode & FileShareRead ? FILE_SHARE_READ : 0;
}

DWORD dispositionFor(std::uint32_t mode) {
    if (!(mode & (FileWrite | FileCreate | FileShareWrite)))
        return OPEN_EXISTING;
    return mode & FileTruncate ? TRUNCATE_EXISTING : OPEN_ALWAYS;
}

DWORD attributesFor(std::uint32_t mode) {
    DWORD attributes = 0;
    if (mode & FileHidden)
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (mode & FileSystem)
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    if (mode & FileWriteThrough)
        attributes |= FILE_FLAG_WRITE_THROUGH;
    return attributes;
}

FILETIME fileTimeOf(TimeStamp stamp) {
    const std::uint64_t ticks = fileTimeFromTimeStamp(stamp);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

TimeStamp timeStampOf(const FILETIME& time) {
    return timeStampFromFileTime(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
}

} // namespace

FileException::FileException(std::int32_t id, const StringBase<char>& p1,
                             const StringBase<char>& p2, const StringBase<char>& p3,
                             const StringBase<char>& location)
    : Exception(id, p1, p2, p3, location) {}

const char* FileException::buildText() const {
    return composeText(errorId(), file.displayText(0, FileString::RelativeToCurrent), parameter1(),
                       parameter2());
}

FileImplWin::~FileImplWin() {
    close();
}

void FileImplWin::close() noexcept {
    if (isOpen())
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void FileImplWin::open(const char* fileName, std::uint32_t mode) {
    close();
    name = fileName;
    name.makeFull();
    // Truncating needs one of the creating bits; the system is not asked to open a file so.
    if ((mode & FileTruncate) && !(mode & (FileWrite | FileCreate | FileShareWrite))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        raiseLastError(cannotOpen);
    }
    handle = CreateFileA(name.c_str(), accessFor(mode), shareModeFor(mode), nullptr,
                         dispositionFor(mode), attributesFor(mode), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(cannotOpen);
    if (mode & FileAppend)
        seekEnd();
}

void FileImplWin::create(const char* fileName, std::uint32_t mode, std::uint32_t) {
    close();
    if (fileName && *fileName)
        name = fileName;
    name.makeFull();
    const DWORD access = accessFor(mode);
    const DWORD shareMode = shareModeFor(mode);
    const DWORD attributes = attributesFor(mode);
    handle = CreateFileA(name.c_str(), access, shareMode, nullptr, CREATE_NEW, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        handle = CreateFileA(name.c_str(), access | GENERIC_WRITE, shareMode, nullptr,
                             TRUNCATE_EXISTING, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(cannotCreate);
}

std::uint32_t FileImplWin::read(void* buffer, std::uint32_t count) {
    DWORD got = 0;
    if (!ReadFile(handle, buffer, count, &got, nullptr))
        raiseLastError(cannotRead);
    return got;
}

void FileImplWin::write(const void* buffer, std::uint32_t count) {
    DWORD written = 0;
    if (!WriteFile(handle, buffer, count, &written, nullptr))
        raiseLastError(cannotWrite);
}

std::uint32_t FileImplWin::size() {
    const DWORD size = GetFileSize(handle, nullptr);
    if (size == INVALID_FILE_SIZE)
        raiseLastError(cannotRead);
    return size;
}

std::uint32_t FileImplWin::position() {
    return SetFilePointer(handle, 0, nullptr, FILE_CURRENT);
}

void FileImplWin::seek(std::int32_t position) {
    if (SetFilePointer(handle, position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        raiseLastError(cannotRead);
}

std::uint32_t FileImplWin::seekEnd() {
    const DWORD position = SetFilePointer(handle, 0, nullptr, FILE_END);
    if (position == INVALID_SET_FILE_POINTER)
        raiseLastError(cannotRead);
    return position;
}

void FileImplWin::flush() {
    FlushFileBuffers(handle);
}

void FileImplWin::truncate() {
    SetEndOfFile(handle);
}

void FileImplWin::getTimes(TimeStamp* creation, TimeStamp* lastAccess, TimeStamp* lastWrite) {
    FILETIME times[3];
    if (!GetFileTime(handle, &times[0], &times[1], &times[2]))
        raiseLastError(cannotRead);
    if (creation)
        *creation = timeStampOf(times[0]);
    if (lastAccess)
        *lastAccess = timeStampOf(times[1]);
    if (lastWrite)
        *lastWrite = timeStampOf(times[2]);
}

void FileImplWin::setTimes(const TimeStamp* creation, const TimeStamp* lastAccess,
                           const TimeStamp* lastWrite) {
    FILETIME times[3];
    const FILETIME* given[3] = {};
    const TimeStamp* stamps[3] = {creation, lastAccess, lastWrite};
    for (int i = 0; i < 3; ++i) {
        if (stamps[i]) {
            times[i] = fileTimeOf(*stamps[i]);
            given[i] = &times[i];
        }
    }
    if (!SetFileTime(handle, given[0], given[1], given[2]))
        raiseLastError(cannotRead);
}

void FileImplWin::raiseLastError(std::int32_t defaultId) {
    const DWORD code = GetLastError();
    StringBase<char> argument = name.displayText(0, FileString::RelativeToCurrent);
    std::int32_t id = defaultId;
    if (const ErrorMessage* row = find(fileErrors, code)) {
        id = row->id;
    } else if (const ErrorMessage* driveRow = find(driveErrors, code)) {
        id = driveRow->id;
        argument = name.drive();
    }
    FileException exception(id, argument, emptyString(), emptyString(), emptyString());
    exception.setSystemError(code);
    exception.setFileName(name);
    throw exception;
}

void File::close() {
    if (impl && impl->isOpen())
        impl.reset();
}

void File::write(const void* buffer, std::uint32_t count) {
    try {
        impl->write(buffer, count);
    } catch (const FileException& exception) {
        FileException renamed(exception);
        renamed.setFileName(fileName);
        throw renamed;
    }
}

void File::rewind() {
    impl->seek(0);
}

std::uint32_t File::seekEnd() {
    return impl->seekEnd();
}

void File::setName(const char* name) {
    fileName = name;
}

const FileString& File::name() const {
    if (fileName.empty())
        throw failure(badName, FileString());
    return fileName;
}

bool File::wipe() {
    try {
        open(FileRead | FileWrite);
    } catch (const FileException& exception) {
        if (exception.systemError() == ERROR_FILE_NOT_FOUND)
            return false;
        throw;
    }
    writeZeros(impl->size());
    rewind();
    impl->truncate();
    impl.reset();
    return true;
}

void File::open(std::uint32_t mode) {
    impl = std::make_unique<FileImplWin>();
    if ((mode & FileMustExist) && !fileName.isFile())
        throw failure(fileNotFound, fileName);
    if (fileName.empty())
        throw failure(cannotOpen, FileString());
    try {
        impl->open(fileName.c_str(), mode);
    } catch (const Exception&) {
        throw;
    } catch (const std::exception&) {
        throw failure(cannotOpen, fileName);
    }
}

std::uint32_t File::read(void* buffer, std::uint32_t count, bool exact) {
    if (!impl)
        throw failure(cannotRead, fileName);
    std::uint32_t got = 0;
    try {
        got = impl->read(buffer, count);
    } catch (const FileException& exception) {
        FileException renamed(exception);
        renamed.setFileName(fileName);
        throw renamed;
    }
    if (exact && got != count)
        throw failure(cannotRead, fileName);
    return got;
}

std::uint32_t File::size() {
    return impl->size();
}

void File::flush() {
    impl->flush();
}

void File::writeZeros(std::uint32_t count) {
    if (count == 0)
        return;
    const std::uint32_t blockSize = std::min<std::uint32_t>(count, 0xF000);
    const std::vector<unsigned char> zeros(blockSize);
    for (std::uint32_t left = count; left > 0;) {
        const std::uint32_t part = std::min(left, blockSize);
        write(zeros.data(), part);
        left -= part;
    }
}

void Crc32::add(const void* data, std::uint32_t count) {
    // zlib takes and gives the complemented register.
    value = ~static_cast<std::uint32_t>(
        crc32(~value, static_cast<const Bytef*>(data), static_cast<uInt>(count)));
}

} // namespace kbs
