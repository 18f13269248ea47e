// vorlane-cli's command line: pure parsers that say what is wrong with it,
// never print and never touch the station.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi_layout.h"

namespace cli {

// Whole decimal numbers within int, nothing before or after.
bool ParseInt(const char *text, int &value);
// 0 to 3, or the names grey, rgb24, rgb16 and rgb15 in any case.
bool ParseMode(const char *text, int &mode);
// A finite number from 0 to a day.
bool ParseSeconds(const char *text, double &seconds);

struct PreviewOptions {
    int x = 100;
    int y = 100;
    int height = 480;
    int mode = 1;
    double seconds = 5;
    std::string save;
    std::string grey;
    std::string scene;
    bool keysWindow = true;
    bool open = false;  // check only
};

// Fills `options` from "--name value" and "--name=value" and returns "", or
// returns what is wrong with the first argument that is not understood.
std::string ParsePreviewOptions(const std::vector<std::string> &args, PreviewOptions &options);

// The same for check, which takes only --open, --x and --y.
std::string ParseCheckOptions(const std::vector<std::string> &args, PreviewOptions &options);

// A recording into a name ending in .avi (any case) is one AVI file; any
// other name is a folder of numbered BMP files.
bool IsAviName(const std::string &path);

constexpr int kDefaultQuality = 90;

struct RecordOptions {
    std::string destination;  // the folder, or the .avi file
    double rate = 0;  // set from record_rate.h's default
    avi::Codec codec = avi::Codec::kMjpeg;  // .avi only
    int quality = kDefaultQuality;          // 1..100, Motion JPEG only
    bool continuing = false;                // .avi only: a cut recording goes on
    PreviewOptions preview;
};

// "FOLDER|FILE.avi [--rate R] [--codec mjpeg|raw] [--quality 1..100]
// [--continue]" and every option of preview but --open. An AVI file's rate
// is a whole number.
std::string ParseRecordOptions(const std::vector<std::string> &args, RecordOptions &options);

// A size a test may force through the environment (decimal bytes, 1 to
// `most`), such as the AVI segment size: false for anything else, which
// leaves the default.
bool ParseByteCount(const char *text, uint64_t most, uint64_t &bytes);

// Takes "--report FILE" or "--report=FILE", which every command accepts,
// out of `args` into `reportPath`; returns what is wrong with it, or "".
std::string TakeReportOption(std::vector<std::string> &args, std::string &reportPath);

}  // namespace cli
