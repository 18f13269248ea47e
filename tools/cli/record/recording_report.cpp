#include "recording_report.h"

#include <cstdio>

#include "bmp_folder_store.h"
#include "card_frames.h"
#include "color_modes.h"
#include "win32_guards.h"
#include "windows_error.h"

namespace recording {
namespace {

const char *ModeName(int32_t colorMode) {
    switch (colorMode) {
    case colormode::kGrey8: return "8-bit grey";
    case colormode::kRgb24: return "24-bit colour";
    case colormode::kRgb16: return "16-bit colour";
    default: return "15-bit colour";
    }
}

}  // namespace

DWORD WriteTextFile(const std::string &path, DWORD disposition, const std::string &text) {
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return GetLastError();
    guards::UniqueKernelHandle file(opened);
    DWORD written = 0;
    const DWORD asked = static_cast<DWORD>(text.size());
    if (!WriteFile(file.get(), text.data(), asked, &written, nullptr) || written != asked) {
        const DWORD error = GetLastError();
        return error ? error : ERROR_WRITE_FAULT;
    }
    if (disposition == OPEN_EXISTING && !SetEndOfFile(file.get())) return GetLastError();
    // On the disk before it replaces the claim: never a report of zeros.
    if (!FlushFileBuffers(file.get())) return GetLastError();
    return CloseHandle(file.release()) ? 0 : GetLastError();
}

std::string ReportPath(const std::string &folder) { return folder + "\\" + kReportName; }

std::string ReportText(const Summary &s) {
    const Counts &c = s.counts;
    const bool onePart = s.parts.empty() || s.parts.back().name == s.aviFile;
    const std::string lastPart = onePart ? "" : " to " + s.parts.back().name;
    const std::string files =
        !s.aviFile.empty() ? " (in " + s.aviFile + lastPart + ")"
        : c.kept          ? " (" + PictureFileName(1) + " to " + PictureFileName(c.kept) + ")"
                          : "";
    char text[1024];
    std::snprintf(
        text, sizeof text,
        "pictures kept: %lld%s\r\n"
        "pictures a second: %.1f\r\n"
        "seconds recorded: %.1f\r\n"
        "pictures read from the card: %lld\r\n"
        "left out to keep to %g a second: %lld\r\n"
        "not kept, the disk did not keep up: %lld\r\n"
        "not kept, writing had stopped: %lld\r\n"
        "card reads that failed: %lld\r\n"
        "height: %d (%d x %d)\r\n"
        "colour mode: %d (%s)\r\n",
        static_cast<long long>(c.kept), files.c_str(), c.rate(), s.seconds,
        static_cast<long long>(c.seen), s.rate, static_cast<long long>(c.overRate),
        static_cast<long long>(c.diskBehind), static_cast<long long>(c.notWritten), s.failedReads,
        s.height, s.width, s.height, s.colorMode, ModeName(s.colorMode));
    // A file keeps time: a step with no new picture shows the one before.
    const std::string repeats =
        s.aviFile.empty() ? "" : "steps repeating the picture before: " + std::to_string(c.repeats) + "\r\n";
    char stalled[96];
    std::snprintf(stalled, sizeof stalled, "seconds without a frame from the card: %.1f (in gaps of %g s or more)\r\n",
                  s.stalledSeconds, kStallSeconds);
    return text + repeats + stalled +
           ("frames the card finished: " + s.cardFrames + "\r\nA/D values: " + s.adValues + "\r\nended: " +
            s.ended + "\r\n") +
           PartsText(s.parts, s.gaps);
}

std::string PartsText(const std::vector<FilePart> &parts, const std::vector<std::string> &gaps) {
    std::string text = parts.empty() ? "" : "parts: " + std::to_string(parts.size()) + "\r\n";
    for (size_t i = 0; i < parts.size(); ++i) {
        const FilePart &part = parts[i];
        text += "part " + std::to_string(i + 1) + ": " + part.name + ", steps " + std::to_string(part.steps) + "\r\n";
    }
    for (const std::string &gap : gaps) text += gap + "\r\n";
    return text;
}

std::string AviReportPath(const std::string &aviPath) { return aviPath.substr(0, aviPath.size() - 4) + ".txt"; }

std::string WriteReport(const std::string &folder, const std::string &text) {
    return WriteReportFile(ReportPath(folder), text);
}

std::string WriteReportFile(const std::string &path, const std::string &text) {
    // Whole or not at all: a full disk leaves the line written at the start.
    const std::string draft = path + kPartialSuffix;
    DWORD error = WriteTextFile(draft, CREATE_ALWAYS, text);
    if (!error && !MoveFileExA(draft.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        error = GetLastError();
    if (error) DeleteFileA(draft.c_str());
    // A full disk has no room for a second file, but the claim's own room
    // takes the few lines: they say why the recording stopped.
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) error = WriteTextFile(path, OPEN_EXISTING, text);
    return error ? path + " could not be written (" + cli::WindowsError(error) + ")" : "";
}

}  // namespace recording
