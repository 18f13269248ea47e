#include "avi_file_mend.h"

#include <windows.h>

#include "volume_room.h"
#include "win32_guards.h"
#include "windows_error.h"

namespace recording {

bool ReadAviFileAt(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return bytes <= MAXDWORD && ReadFile(static_cast<HANDLE>(file), into, static_cast<DWORD>(bytes), &read, &at) &&
           read == bytes;
}

namespace {

// The mend's reads and writes on a Windows file, at offsets; the first
// Windows error kept for the line.
struct MendFile {
    HANDLE file;
    DWORD error = 0;

    // `done`, keeping the first failure's error.
    bool Done(bool done) {
        if (!done && !error) error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        return done;
    }
    static MendFile &Of(void *file) { return *static_cast<MendFile *>(file); }
    static OVERLAPPED At(uint64_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }
    static bool Read(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
        return ReadAviFileAt(Of(file).file, offset, into, bytes);
    }
    // Every piece the mend writes is far below 4 GB.
    static bool WriteAt(void *file, uint64_t offset, const void *bytes, size_t size) {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        SetLastError(0);
        return Of(file).Done(WriteFile(Of(file).file, bytes, static_cast<DWORD>(size), &written, &at) &&
                             written == size);
    }
    static bool SetSize(void *file, uint64_t size) {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(size);
        SetLastError(0);
        return Of(file).Done(SetFilePointerEx(Of(file).file, to, nullptr, FILE_BEGIN) && SetEndOfFile(Of(file).file));
    }
    static bool Flush(void *file) {
        SetLastError(0);
        return Of(file).Done(FlushFileBuffers(Of(file).file));
    }
};

// A file under 1 GB cannot reach a file system's limit: the indexes mend
// adds take at most 24 bytes for each 8-byte chunk.
uint64_t LargestFileFor(const std::string &path, uint64_t size) {
    const uint64_t largest = size < (uint64_t{1} << 30) ? 0 : LimitsOf(path).largestFile;
    return largest ? largest : UINT64_MAX;
}

MendOutcome Refused(const std::string &line) {
    MendOutcome outcome;
    outcome.line = line;
    return outcome;
}

}  // namespace

MendOutcome MendAviFile(const std::string &path) {
    // No sharing: the recorder, or a player, that has it open keeps it.
    guards::UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            return Refused("not mended: another program has it open (is it still being recorded?)");
        return Refused("not mended: it cannot be opened (" + cli::WindowsError(error) + ")");
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return Refused("not mended: its size cannot be read");
    MendFile mendFile{file.get()};
    const avi::MendIo io{&mendFile, MendFile::Read, MendFile::WriteAt, MendFile::SetSize, MendFile::Flush};
    const uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
    MendOutcome outcome = avi::MendFile(io, bytes, LargestFileFor(path, bytes));
    if (outcome.status == MendStatus::kFailed && mendFile.error)
        outcome.line += " (" + cli::WindowsError(mendFile.error) + ")";
    return outcome;
}

}  // namespace recording
