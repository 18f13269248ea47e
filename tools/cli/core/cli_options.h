// vorlane-cli's command line: pure parsers that say what is wrong with it,
// never print and never touch the station.
#pragma once

#include <string>
#include <vector>

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

struct RecordOptions {
    std::string folder;
    double rate = 0;  // set from record_rate.h's default
    PreviewOptions preview;
};

// "FOLDER [--rate R]" and every option of preview but --open.
std::string ParseRecordOptions(const std::vector<std::string> &args, RecordOptions &options);

// Takes "--report FILE" or "--report=FILE", which every command accepts,
// out of `args` into `reportPath`; returns what is wrong with it, or "".
std::string TakeReportOption(std::vector<std::string> &args, std::string &reportPath);

}  // namespace cli
