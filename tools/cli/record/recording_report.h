// The figures' file beside a recording: recording.txt in a folder, FILE.txt
// beside FILE.avi, one "name: value" line each.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "recorder.h"

namespace recording {

constexpr char kReportName[] = "recording.txt";
// What the figures' file says while the recording runs: its claim.
constexpr char kUnderWay[] = "recording under way\r\n";

struct Summary {
    Counts counts;
    std::string aviFile;   // the file's name when recording into one, else a folder
    double seconds = 0;    // how long the card was read
    long long failedReads = 0;  // reads the driver refused
    double stalledSeconds = 0;  // in stalls: no frame from the card for a while
    std::string cardFrames;  // the frames the card finished meanwhile, or why not known
    double rate = kDefaultRate;
    int32_t width = 0;
    int32_t height = 0;
    int32_t colorMode = 1;
    std::string adValues;  // "128 128 128", or why they are not known
    std::string ended;     // why the recording ended
    std::vector<FilePart> parts;  // the files of a recording into FILE.avi
    std::vector<std::string> gaps;  // and the notes of its cuts (--continue)
};

// Writes `text` to a file that `disposition` opens, through to the disk;
// 0 or the Windows error. The claims write their first line with it.
DWORD WriteTextFile(const std::string &path, DWORD disposition, const std::string &text);
// A folder's recording.txt.
std::string ReportPath(const std::string &folder);

// What recording.txt holds, one "name: value" line each.
std::string ReportText(const Summary &summary);
// The lines that list a recording's files and the steps in each, and the
// gaps between them.
std::string PartsText(const std::vector<FilePart> &parts, const std::vector<std::string> &gaps);

// Replaces recording.txt in one step. Returns "" or why it could not.
std::string WriteReport(const std::string &folder, const std::string &text);
// The same for the text file beside an AVI recording.
std::string WriteReportFile(const std::string &path, const std::string &text);
// That file: FILE.avi's figures go to FILE.txt.
std::string AviReportPath(const std::string &aviPath);

}  // namespace recording
