#include "recording_continuation.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "avi_file_mend.h"
#include "avi_reader.h"
#include "file_places.h"
#include "recording_parts.h"
#include "recording_report.h"
#include "win32_guards.h"
#include "windows_error.h"

namespace recording {
namespace {

constexpr char kGapLine[] = "gap: ";

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

guards::UniqueKernelHandle OpenForReading(const std::string &path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return guards::UniqueKernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// "" and the part's frame list, or why it cannot be read.
std::string ReadPart(const std::string &path, avi::Movie &movie) {
    const guards::UniqueKernelHandle file = OpenForReading(path);
    if (!file) return cli::NameOf(path) + " cannot be opened (" + cli::WindowsError(GetLastError()) + ")";
    LARGE_INTEGER size;
    char why[256] = "its size cannot be read";
    if (!GetFileSizeEx(file.get(), &size) ||
        !avi::ReadMovie(ReadAviFileAt, file.get(), static_cast<uint64_t>(size.QuadPart), movie, why, sizeof why))
        return cli::NameOf(path) + " cannot be read: " + why;
    return "";
}

bool SameFrames(const avi::Movie &movie, const avi::WriterSettings &frames) {
    return movie.codec == frames.codec && movie.info.biWidth == frames.width &&
           movie.info.biHeight == frames.height && movie.info.biBitCount == frames.bits &&
           movie.rate == frames.rate && movie.scale == 1;
}

std::string Stamp(const SYSTEMTIME &t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// When the file was last written, in local time: when the cut came.
std::string LastWritten(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME time;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
        return "an unknown time";
    return Stamp(time);
}

std::string TextOf(const std::string &path) {
    const guards::UniqueKernelHandle file = OpenForReading(path);
    std::string text;
    char block[4096];
    DWORD read = 0;
    // The figures take a few hundred bytes; a megabyte is no FILE.txt of ours.
    while (file && text.size() < (1u << 20) && ReadFile(file.get(), block, sizeof block, &read, nullptr) && read > 0)
        text.append(block, read);
    return text;
}

}  // namespace

std::string PrepareContinuation(const std::string &path, const avi::WriterSettings &frames, Continuation &out) {
    out = Continuation{};
    if (!Exists(path)) return path + " does not exist: there is no recording to go on with";
    int last = 1;
    while (last < parts::kMostParts && Exists(parts::PartPath(path, last + 1))) ++last;
    if (last == parts::kMostParts) return path + " has as many parts as their names allow";
    const std::string lastPath = parts::PartPath(path, last);
    const std::string cutAt = LastWritten(lastPath);
    // A part still being written is refused here, untouched.
    const MendOutcome mended = MendAviFile(lastPath);
    if (mended.status == MendStatus::kRefused)
        return cli::NameOf(lastPath) + ": " + mended.line + "; the recording does not go on";
    out.mended = cli::NameOf(lastPath) + ": " + mended.line;
    for (int number = 1; number <= last; ++number) {
        avi::Movie movie;
        const std::string problem = ReadPart(parts::PartPath(path, number), movie);
        if (!problem.empty()) return problem + "; the recording does not go on";
        if (number == 1 && !SameFrames(movie, frames))
            return cli::NameOf(path) + " holds frames of another size, kind or rate: go on with its --height, --mode, "
                                  "--codec and --rate";
        out.parts.push_back(FilePart{cli::NameOf(parts::PartPath(path, number)), static_cast<int64_t>(movie.steps)});
    }
    out.report = TextOf(AviReportPath(path));
    for (size_t start = 0, end; start < out.report.size(); start = end + 2) {
        end = out.report.find("\r\n", start);
        if (end == std::string::npos) end = out.report.size();
        if (out.report.compare(start, sizeof kGapLine - 1, kGapLine) == 0)
            out.gaps.push_back(out.report.substr(start, end - start));
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    out.nextPart = parts::PartPath(path, last + 1);
    out.gaps.push_back(kGapLine + std::string("cut at ") + cutAt + " (" + cli::NameOf(lastPath) +
                       " last written), went on at " + Stamp(now) + " in " + cli::NameOf(out.nextPart));
    return "";
}

void ReleaseContinuation(const std::string &path, const Continuation &continuation) {
    DeleteFileA(continuation.nextPart.c_str());
    if (!continuation.report.empty()) WriteReportFile(AviReportPath(path), continuation.report);
}

}  // namespace recording
