#include "report.h"

#include <windows.h>

#include <cstdio>

#include "win32_guards.h"

namespace cli {
namespace {

bool WriteWholeFile(const std::string &path, const std::string &text) {
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    const guards::UniqueKernelHandle file(opened);
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size());
    return WriteFile(file.get(), text.data(), size, &written, nullptr) && written == size;
}

}  // namespace

std::string FormatReport(const ReportLines &lines) {
    std::string text;
    for (const auto &line : lines) text += line.first + "=" + line.second + "\n";
    return text;
}

void Report::Set(const char *key, const std::string &value) {
    for (auto &line : lines_) {
        if (line.first == key) {
            line.second = value;
            return;
        }
    }
    lines_.emplace_back(key, value);
}

void Report::Set(const char *key, long long value) { Set(key, std::to_string(value)); }

void Report::Set(const char *key, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    Set(key, std::string(text));
}

bool Report::Write() const { return Write(20); }

bool Report::WriteOnce() const { return Write(1); }

bool Report::Write(int attempts) const {
    if (path_.empty()) return true;
    const std::string draft = path_ + ".new";
    if (WriteWholeFile(draft, FormatReport(lines_))) {
        // On Windows a reader that has the file open holds the replacement
        // up for the moment it reads; try again a little later.
        for (int attempt = 1;; ++attempt) {
            if (MoveFileExA(draft.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
            const DWORD error = GetLastError();
            if (attempt >= attempts || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
                break;
            Sleep(50);
        }
    }
    DeleteFileA(draft.c_str());
    return false;
}

}  // namespace cli
