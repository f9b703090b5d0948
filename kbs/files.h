// Files: kbs::File is what callers hold; it owns a FileImpl while the file is open. FileImplWin
// works over a Windows file handle. Every failure is a FileException carrying the file name and
// the system's error code. Sizes and positions are 32-bit.
#ifndef KBS_FILES_H
#define KBS_FILES_H

#include "kbs/datetime.h"
#include "kbs/exceptions.h"
#include "kbs/filenames.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace kbs {

// Open mode bits.
constexpr std::uint32_t FileRead = 0x0001;
// Creates a missing file.
constexpr std::uint32_t FileWrite = 0x0002;
// Cuts an existing file to length 0; needs one of the creating bits.
constexpr std::uint32_t FileTruncate = 0x0004;
// Positions at the end after opening.
constexpr std::uint32_t FileAppend = 0x0008;
// Attributes of a newly made file.
constexpr std::uint32_t FileHidden = 0x0040;
constexpr std::uint32_t FileSystem = 0x0080;
// Creates a missing file even without write access.
constexpr std::uint32_t FileCreate = 0x0200;
// Reads, and lets others read.
constexpr std::uint32_t FileShareRead = 0x0400;
// Writes, lets others read and write, and creates a missing file.
constexpr std::uint32_t FileShareWrite = 0x0800;
// File::open first checks that the name is an existing file.
constexpr std::uint32_t FileMustExist = 0x2000;
constexpr std::uint32_t FileWriteThrough = 0x8000;

class FileException : public Exception {
public:
    // No file name, system error 0.
    FileException(std::int32_t id, const StringBase<char>& p1, const StringBase<char>& p2,
                  const StringBase<char>& p3, const StringBase<char>& location);

    const FileString& fileName() const noexcept { return file; }
    void setFileName(const FileString& name) { file = name; }
    // The Windows error code behind the failure; 0 when it did not come from the system.
    std::uint32_t systemError() const noexcept { return error; }
    void setSystemError(std::uint32_t code) noexcept { error = code; }

    // %1 is always the display form of the file name ("<none>" without one); the exception's own
    // first and second parameters become %2 and %3.
    const char* buildText() const override;

private:
    FileString file;
    std::uint32_t error = 0;
};

class FileImpl {
public:
    FileImpl() = default;
    virtual ~FileImpl() = default;
    FileImpl(const FileImpl&) = delete;
    FileImpl& operator=(const FileImpl&) = delete;

    virtual void open(const char* name, std::uint32_t mode) = 0;
    virtual std::uint32_t read(void* buffer, std::uint32_t count) = 0;
    virtual void write(const void* buffer, std::uint32_t count) = 0;
    // A null or empty name keeps the one stored; `reserved` is not used.
    virtual void create(const char* name, std::uint32_t mode, std::uint32_t reserved) = 0;
    virtual std::uint32_t size() = 0;
    virtual std::uint32_t position() = 0;
    virtual bool isOpen() const = 0;
    virtual void seek(std::int32_t position) = 0;
    // Answers the new position, which is the size.
    virtual std::uint32_t seekEnd() = 0;
    virtual void flush() = 0;
    // Ends the file at the current position.
    virtual void truncate() = 0;
    // Null pointers are skipped.
    virtual void getTimes(TimeStamp* creation, TimeStamp* lastAccess, TimeStamp* lastWrite) = 0;
    virtual void setTimes(const TimeStamp* creation, const TimeStamp* lastAccess,
                          const TimeStamp* lastWrite) = 0;
    // Throws the FileException for the thread's last error; `defaultId` for codes of no table.
    [[noreturn]] virtual void raiseLastError(std::int32_t defaultId) = 0;

protected:
    // The full path of the open file.
    FileString name;
};

class FileImplWin : public FileImpl {
public:
    FileImplWin() = default;
    // Closes the handle; a failure to close is not reported, as it may come while another
    // exception unwinds.
    ~FileImplWin() override;

    void open(const char* name, std::uint32_t mode) override;
    std::uint32_t read(void* buffer, std::uint32_t count) override;
    // A short write is not detected.
    void write(const void* buffer, std::uint32_t count) override;
    void create(const char* name, std::uint32_t mode, std::uint32_t reserved) override;
    std::uint32_t size() override;
    std::uint32_t position() override;
    bool isOpen() const override { return handle != INVALID_HANDLE_VALUE; }
    void seek(std::int32_t position) override;
    std::uint32_t seekEnd() override;
    void flush() override;
    void truncate() override;
    void getTimes(TimeStamp* creation, TimeStamp* lastAccess, TimeStamp* lastWrite) override;
    void setTimes(const TimeStamp* creation, const TimeStamp* lastAccess,
                  const TimeStamp* lastWrite) override;
    [[noreturn]] void raiseLastError(std::int32_t defaultId) override;

private:
    void close() noexcept;

    HANDLE handle = INVALID_HANDLE_VALUE;
};

// Failures carry the name the caller set, not the full path. The operations that reach the
// implementation need an open file; only read checks for one.
class File {
public:
    File() = default;
    virtual ~File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    virtual void close();
    virtual void write(const void* buffer, std::uint32_t count);
    virtual void rewind();
    virtual std::uint32_t seekEnd();
    // Null is empty.
    virtual void setName(const char* name);
    // Throws 1016 when there is none.
    virtual const FileString& name() const;
    // Overwrites the file with zeros and cuts it to length 0; false when it does not exist. As
    // the file is opened for writing, a missing file in an existing folder is created.
    virtual bool wipe();

    // A failed open leaves a closed implementation, which the next open replaces.
    void open(std::uint32_t mode);
    // With `exact`, fewer bytes than asked for is a failure (1009).
    std::uint32_t read(void* buffer, std::uint32_t count, bool exact);
    std::uint32_t size();
    void flush();
    // Writes in blocks of at most 61440 bytes through write().
    void writeZeros(std::uint32_t count);

private:
    FileString fileName;
    std::unique_ptr<FileImpl> impl;
};

// The CRC-32 of zlib and gzip (reflected polynomial 0xEDB88320).
class Crc32 {
public:
    void start() { value = 0xFFFFFFFF; }
    void add(const void* data, std::uint32_t count);
    std::uint32_t result() const { return ~value; }

private:
    std::uint32_t value = 0xFFFFFFFF;
};

} // namespace kbs

#endif
