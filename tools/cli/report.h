// The figures of a run as key=value lines in a file the caller names with
// --report, so that scripts read numbers, not the console's wording.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cli {

// The keys, each written by one place in vorlane-cli. Scripts rely on them.
namespace report_key {
constexpr const char *kCommand = "command";            // preview, check, grey, reset
constexpr const char *kRunning = "running";            // 1 while the preview runs, then 0
constexpr const char *kSeconds = "seconds";            // how long the card was watched
constexpr const char *kFramesPainted = "frames_painted";
constexpr const char *kFramesPerSecond = "frames_per_second";
constexpr const char *kCardReads = "card_reads";       // virtual card only: frames it delivered
constexpr const char *kCardAd[3] = {"card_ad1", "card_ad2", "card_ad4"};  // virtual card only
constexpr const char *kCardOpens = "card_opens";       // check --open: 1 or 0
constexpr const char *kFrameSaved = "frame_saved";     // the 24-bit file given with --save
constexpr const char *kGreySaved = "grey_saved";       // the grey file written
constexpr const char *kPicturesKept = "pictures_kept";  // record: files written in full
constexpr const char *kPicturesDropped = "pictures_dropped";  // record: the disk behind or stopped
constexpr const char *kParts = "parts";                // record into FILE.avi: the files written
constexpr const char *kExitStatus = "exit_status";     // written last, at the very end
}  // namespace report_key

using ReportLines = std::vector<std::pair<std::string, std::string>>;

// "key=value\n" for each line, in the order the keys were first set.
std::string FormatReport(const ReportLines &lines);

class Report {
public:
    Report() = default;
    explicit Report(std::string path) : path_(std::move(path)) {}

    // Replaces the key's value, or adds the key after the others.
    void Set(const char *key, const std::string &value);
    void Set(const char *key, long long value);
    // With one decimal, as the console shows it.
    void Set(const char *key, double value);

    // Replaces the file in one step, so that a reader polling it never sees
    // half a report. True when written, or when no report was asked for.
    // A reader holding the file is waited for a little.
    bool Write() const;
    // One try that never waits, for the watch loop: the next one comes soon.
    bool WriteOnce() const;
    const std::string &path() const { return path_; }

private:
    bool Write(int attempts) const;
    std::string path_;
    ReportLines lines_;
};

}  // namespace cli
