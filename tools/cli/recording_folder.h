// The folder a recording goes to: checked and claimed before the card
// opens, so that nothing in it is ever overwritten, and its recording.txt,
// which says what the pictures beside it are.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "recorder.h"

namespace recording {

constexpr char kReportName[] = "recording.txt";

// Creates the folder (and the folders above it that are missing), or checks
// that an existing one holds no BMP file and no recording.txt; then claims it
// by creating its recording.txt. Returns "" when the recording may start,
// else one line that says why not.
std::string PrepareFolder(const std::string &folder);

// True when `file` would lie in `folder` or below it, however either is
// spelled: relative or full, either slash, 8.3 names, or another drive
// letter or share that leads to the same folder. The folder need not exist.
bool LiesWithin(const std::string &file, const std::string &folder);

// Gives up the claim when the recording never started: removes recording.txt.
void ReleaseFolder(const std::string &folder);

// The same for FILE.avi: neither it nor FILE.txt may exist; FILE.txt is
// created as the claim. "" or one line that says why not.
std::string PrepareAviFile(const std::string &path);
// Removes FILE.txt and FILE.avi when the recording never started.
void ReleaseAviFile(const std::string &path);

struct Summary {
    Counts counts;
    std::string aviFile;   // the file's name when recording into one, else a folder
    double seconds = 0;    // how long the card was read
    long long failedReads = 0;  // reads the driver refused
    std::string cardFrames;  // the frames the card finished meanwhile, or why not known
    double rate = kDefaultRate;
    int32_t width = 0;
    int32_t height = 0;
    int32_t colorMode = 1;
    std::string adValues;  // "128 128 128", or why they are not known
    std::string ended;     // why the recording ended
};

// What recording.txt holds, one "name: value" line each.
std::string ReportText(const Summary &summary);

// Replaces recording.txt in one step. Returns "" or why it could not.
std::string WriteReport(const std::string &folder, const std::string &text);
// The same for the text file beside an AVI recording.
std::string WriteReportFile(const std::string &path, const std::string &text);
// That file: FILE.avi's figures go to FILE.txt.
std::string AviReportPath(const std::string &aviPath);

}  // namespace recording
