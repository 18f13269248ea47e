// vorlane-cli's command line: what each option takes, and the first
// problem named for what it does not.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <string>
#include <vector>

#include "avi_writer.h"
#include "core/cli_options.h"
#ifdef _WIN32
#include "report.h"
#include "test_support.h"
#endif

namespace {

using cli::PreviewOptions;

using Words = std::vector<std::string>;

// A row's name in a failure: its words joined by spaces.
std::string Joined(const Words &words) {
    std::string line;
    for (const std::string &word : words) line += (line.empty() ? "" : " ") + word;
    return line;
}

TEST(CliOptions, NumbersAndModes) {
    struct Row {
        const char *text;
        bool intGood, modeGood, secondsGood;
        int intValue, mode;
        double seconds;
    } rows[] = {
        {"0", true, true, true, 0, 0, 0},
        {"3", true, true, true, 3, 3, 3},
        {"4", true, false, true, 4, 0, 4},
        {"-1", true, false, false, -1, 0, 0},
        {"rgb16", false, true, false, 0, 2, 0},
        {"GREY", false, true, false, 0, 0, 0},
        {"1x", false, false, false, 0, 0, 0},
        {" 1", true, true, true, 1, 1, 1},
        {"", false, false, false, 0, 0, 0},
        {"0.5", false, false, true, 0, 0, 0.5},
        {"inf", false, false, false, 0, 0, 0},
        {"nan", false, false, false, 0, 0, 0},
    };
    for (const Row &row : rows) {
        const std::string name = "'" + std::string(row.text) + "'";
        int value = 0, mode = 0;
        double seconds = 0;
        EXPECT_EQ(cli::ParseInt(row.text, value), row.intGood) << name;
        EXPECT_EQ(cli::ParseMode(row.text, mode), row.modeGood) << name;
        EXPECT_EQ(cli::ParseSeconds(row.text, seconds), row.secondsGood) << name;
        // What a refused text leaves is nobody's business.
        EXPECT_EQ(row.intGood ? value : 0, row.intValue) << name;
        EXPECT_EQ(row.modeGood ? mode : 0, row.mode) << name;
        EXPECT_EQ(row.secondsGood ? seconds : 0, row.seconds) << name;
    }
}

TEST(CliOptions, PreviewAndCheckCommandLines) {
    struct Row {
        bool check;
        Words args;
        const char *problem;  // "" when understood
    } rows[] = {
        {false, {}, ""},
        {false, {"--save", "f.bmp", "--grey=g.bmp", "--scene", "s.bmp", "--no-window"}, ""},
        {false, {"--height"}, "missing value after --height"},
        {false, {"--save="}, "bad value '' for --save"},
        {false, {"--colour", "1"}, "unknown option --colour"},
        {false, {"--no-window=yes"}, "--no-window takes no value"},
        {false, {"extra"}, "missing value after extra"},
        {true, {"--open", "--x", "40", "--y=40"}, ""},
        {true, {"--seconds", "1"}, "check takes only --open, --x X and --y Y"},
        {true, {"--open", "--save=f.bmp"}, "check takes only --open, --x X and --y Y"},
        {true, {"--x", "1x"}, "bad value '1x' for --x"},
    };
    for (const Row &row : rows) {
        PreviewOptions options;
        const std::string problem = row.check ? cli::ParseCheckOptions(row.args, options)
                                              : cli::ParsePreviewOptions(row.args, options);
        EXPECT_EQ(problem, row.problem) << Joined(row.args);
    }
    PreviewOptions options;
    ASSERT_EQ(cli::ParsePreviewOptions({"--x", "10", "--y=-20", "--height", "96", "--mode", "rgb15",
                                        "--seconds", "0.5", "--save", "f.bmp", "--grey=g.bmp",
                                        "--no-window"},
                                       options),
              "");
    EXPECT_EQ(options.x, 10);
    EXPECT_EQ(options.y, -20);
    EXPECT_EQ(options.height, 96);
    EXPECT_EQ(options.mode, 3);
    EXPECT_EQ(options.seconds, 0.5);
    EXPECT_EQ(options.save, "f.bmp");
    EXPECT_EQ(options.grey, "g.bmp");
    EXPECT_FALSE(options.keysWindow);
}

TEST(CliOptions, RecordCommandLines) {
    struct Row {
        Words args;
        const char *problem;  // "" when understood
        const char *destination;
        double rate;
        avi::Codec codec = avi::Codec::kMjpeg;
        int quality = cli::kDefaultQuality;
    } rows[] = {
        {{"rec"}, "", "rec", 25},
        {{"rec\\", "--rate", "5", "--height", "576", "--no-window"}, "", "rec", 5},
        {{"D:\\", "--rate=0.5"}, "", "D:\\", 0.5},
        {{"rec.AVI"}, "", "rec.AVI", 25},
        {{"r.avi", "--codec", "raw", "--rate", "50"}, "", "r.avi", 50, avi::Codec::kRaw},
        {{"r.avi", "--codec=mjpeg", "--quality", "1"}, "", "r.avi", 25, avi::Codec::kMjpeg, 1},
        {{"r.avi", "--quality=100"}, "", "r.avi", 25, avi::Codec::kMjpeg, 100},
        {{"r.avi", "--quality", "0"}, "bad value '0' for --quality", "r.avi", 0},
        {{"r.avi", "--quality", "101"}, "bad value '101' for --quality", "r.avi", 0},
        {{"r.avi", "--codec", "MJPG"}, "bad value 'MJPG' for --codec", "r.avi", 0},
        {{"r.avi", "--codec"}, "missing value after --codec", "r.avi", 0},
        {{"r.avi", "--rate", "12.5"}, "bad value '12.5' for --rate: an AVI file's rate is a whole number", "r.avi", 0},
        {{"r.avi", "--codec", "raw", "--quality", "50"}, "--quality is for Motion JPEG, not --codec raw", "r.avi", 0},
        {{"rec", "--codec", "raw"}, "--codec is for a recording into a FILE.avi", "rec", 0},
        {{"rec", "--quality", "50"}, "--quality is for a recording into a FILE.avi", "rec", 0},
        {{"rec", "--continue"}, "--continue is for a recording into a FILE.avi", "rec", 0},
        {{".avi"}, "", ".avi", 25},  // a folder named .avi: nothing before the dot
        {{}, "record takes a folder or a FILE.avi first: record FOLDER|FILE.avi [--rate R]", "", 0},
        {{"", "--rate", "5"}, "record takes a folder or a FILE.avi first: record FOLDER|FILE.avi [--rate R]", "", 0},
        {{"--rate", "5"}, "record takes a folder or a FILE.avi first: record FOLDER|FILE.avi [--rate R]", "", 0},
        {{"rec", "--rate"}, "missing value after --rate", "rec", 0},
        {{"rec", "--rate", "5x"}, "bad value '5x' for --rate", "rec", 0},
        {{"rec", "--rate", "nan"}, "bad value 'nan' for --rate", "rec", 0},
        {{"rec", "--open"}, "unknown option --open", "rec", 0},
        {{"rec", "--mode", "4"}, "bad value '4' for --mode", "rec", 0},
    };
    for (const Row &row : rows) {
        cli::RecordOptions options;
        EXPECT_EQ(cli::ParseRecordOptions(row.args, options), row.problem) << Joined(row.args);
        EXPECT_EQ(options.destination, row.destination) << Joined(row.args);
        if (!*row.problem) {
            EXPECT_EQ(options.rate, row.rate) << Joined(row.args);
            EXPECT_EQ(options.codec, row.codec) << Joined(row.args);
            EXPECT_EQ(options.quality, row.quality) << Joined(row.args);
        }
    }
}

TEST(CliOptions, SegmentBytesFromTheEnvironment) {
    const struct {
        const char *text;
        bool taken;
        uint64_t bytes;
    } rows[] = {
        {"65536", true, 65536},       {"1", true, 1},          {"2147483648", true, uint64_t{1} << 31},
        {"2147483649", false, 0},     {"0", false, 0},         {"", false, 0},
        {"-5", false, 0},             {" 5", false, 0},        {"5k", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const auto &row : rows) {
        uint64_t bytes = 0;
        EXPECT_EQ(cli::ParseByteCount(row.text, avi::kLargestSegmentBytes, bytes), row.taken) << "'" << row.text << "'";
        EXPECT_EQ(bytes, row.bytes) << "'" << row.text << "'";
    }
    uint64_t untouched = 7;
    EXPECT_FALSE(cli::ParseByteCount(nullptr, avi::kLargestSegmentBytes, untouched));
    EXPECT_EQ(untouched, 7u);
}

// Every number option at the lowest and highest value it takes, and one
// past each, through the command line as a user types it: the parsers'
// edges are tried here.
TEST(CliOptions, EveryNumberOptionAtBothEdges) {
    struct Row {
        const char *option;  // after "record rec"
        const char *lowest, *belowLowest, *highest, *aboveHighest;
    } rows[] = {
        {"--rate", "0.001", "0", "1000", "1000.001"},
        {"--seconds", "0", "-0.001", "86400", "86400.001"},
        {"--height", "80", "79", "576", "577"},
        {"--mode", "0", "-1", "3", "4"},
        {"--x", "-2147483648", "-2147483649", "2147483647", "2147483648"},
        {"--y", "-2147483648", "-2147483649", "2147483647", "2147483648"},
    };
    for (const Row &row : rows) {
        const struct {
            const char *value;
            bool good;
        } tries[] = {{row.lowest, true}, {row.belowLowest, false}, {row.highest, true}, {row.aboveHighest, false}};
        for (const auto &attempt : tries) {
            const Words args{"rec", row.option, attempt.value};
            cli::RecordOptions options;
            const std::string bad = std::string("bad value '") + attempt.value + "' for " + row.option;
            EXPECT_EQ(cli::ParseRecordOptions(args, options), attempt.good ? "" : bad)
                << row.option << " " << attempt.value;
        }
    }
}

TEST(CliOptions, ReportOptionIsTakenOutOfAnyCommand) {
    struct Row {
        Words args;
        Words left;  // the arguments the command then sees
        const char *path;
        const char *problem;
    } rows[] = {
        {{"a.bmp", "b.bmp"}, {"a.bmp", "b.bmp"}, "", ""},
        {{"--report", "r.txt", "a.bmp", "b.bmp"}, {"a.bmp", "b.bmp"}, "r.txt", ""},
        {{"a.bmp", "--report=r.txt", "b.bmp"}, {"a.bmp", "b.bmp"}, "r.txt", ""},
        {{"--seconds", "1", "--report", "r1", "--report", "r2"}, {"--seconds", "1"}, "r2", ""},
        {{"--report"}, {}, "", "missing value after --report"},
        {{"--report="}, {}, "", "bad value '' for --report"},
        {{"--reports", "x"}, {"--reports", "x"}, "", ""},
    };
    for (const Row &row : rows) {
        Words args = row.args;
        std::string path;
        EXPECT_EQ(cli::TakeReportOption(args, path), row.problem) << Joined(row.args);
        if (*row.problem != '\0') continue;
        EXPECT_EQ(args, row.left) << Joined(row.args);
        EXPECT_EQ(path, row.path) << Joined(row.args);
    }
}

// The file is replaced whole at each write: the last value of each key, in
// the order the keys came, and no draft left beside it.
#ifdef _WIN32
TEST(CliOptions, ReportFileHoldsTheLastWrite) {
    const std::string path = vt::TempPath("vorlane-cli-report-test.txt");
    cli::Report report(path);
    report.Set(cli::report_key::kCommand, std::string("preview"));
    report.Set(cli::report_key::kFramesPainted, 3LL);
    ASSERT_TRUE(report.Write());
    report.Set(cli::report_key::kFramesPerSecond, 24.96);
    report.Set(cli::report_key::kFramesPainted, 125LL);
    ASSERT_TRUE(report.Write());
    const std::vector<uint8_t> text = vt::ReadFileBytes(path);
    EXPECT_EQ(std::string(text.begin(), text.end()), "command=preview\nframes_painted=125\nframes_per_second=25.0\n");
    EXPECT_FALSE(vt::FileExists(path + ".new"));
    DeleteFileA(path.c_str());

    EXPECT_FALSE(cli::Report(vt::TempPath("no-such-folder\\r.txt")).Write());
    EXPECT_TRUE(cli::Report().Write());  // none asked for
}
#endif

}  // namespace
