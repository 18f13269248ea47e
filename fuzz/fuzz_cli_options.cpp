// vorlane-cli's option parsers on an argument vector made from the input:
// the first byte picks the parser, the rest splits at NUL bytes. What a
// parser accepts lies in its ranges, and reads back the same when written
// out again in the long form.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "core/cli_options.h"
#include "record_rate.h"

namespace {

using fuzzcheck::Expect;

using Words = std::vector<std::string>;

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The options as a command line that gives them again.
Words Written(const cli::PreviewOptions &o) {
    Words words = {"--x", std::to_string(o.x), "--y", std::to_string(o.y),
                   "--height", std::to_string(o.height), "--mode", std::to_string(o.mode),
                   "--seconds", Number(o.seconds)};
    if (!o.save.empty()) words.insert(words.end(), {"--save", o.save});
    if (!o.grey.empty()) words.insert(words.end(), {"--grey", o.grey});
    if (!o.scene.empty()) words.insert(words.end(), {"--scene", o.scene});
    if (!o.keysWindow) words.push_back("--no-window");
    if (o.open) words.push_back("--open");
    return words;
}

bool Same(const cli::PreviewOptions &a, const cli::PreviewOptions &b) {
    return a.x == b.x && a.y == b.y && a.height == b.height && a.mode == b.mode &&
           a.seconds == b.seconds && a.save == b.save && a.grey == b.grey && a.scene == b.scene &&
           a.keysWindow == b.keysWindow && a.open == b.open;
}

void CheckPreview(const cli::PreviewOptions &o) {
    Expect(o.mode >= 0 && o.mode <= 3, "a mode outside 0 to 3 accepted");
    Expect(std::isfinite(o.seconds) && o.seconds >= 0 && o.seconds <= 86400,
           "seconds outside 0 to a day accepted");
    cli::PreviewOptions again;
    Expect(cli::ParsePreviewOptions(Written(o), again).empty(), "accepted options refused when written out");
    Expect(Same(o, again), "accepted options read back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Words args;
    std::string word;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (size > 1) args.push_back(word);

    switch (data[0] % 4) {
    case 0: {
        cli::PreviewOptions options;
        if (cli::ParsePreviewOptions(args, options).empty()) CheckPreview(options);
        break;
    }
    case 1: {
        cli::PreviewOptions options;
        if (!cli::ParseCheckOptions(args, options).empty()) break;
        cli::PreviewOptions only;  // the defaults, with what check takes
        only.x = options.x, only.y = options.y, only.open = options.open;
        Expect(Same(options, only), "check accepted an option it does not take");
        CheckPreview(options);
        break;
    }
    case 2: {
        cli::RecordOptions options;
        if (!cli::ParseRecordOptions(args, options).empty()) break;
        Expect(!options.destination.empty() && options.destination.rfind("--", 0) != 0, "record accepted no folder");
        Expect(options.quality >= 1 && options.quality <= 100, "a quality out of range accepted");
        Expect(cli::IsAviName(options.destination) ||
                   (options.codec == avi::Codec::kMjpeg && options.quality == cli::kDefaultQuality &&
                    !options.continuing),
               "a folder recording accepted --codec, --quality or --continue");
        Expect(!cli::IsAviName(options.destination) ||
                   options.rate == static_cast<double>(static_cast<int>(options.rate)),
               "an AVI recording accepted a rate that is not whole");
        Expect(options.rate > 0 && options.rate <= recording::kHighestRate, "a rate out of range accepted");
        Expect(!options.preview.open, "record accepted --open");
        CheckPreview(options.preview);
        break;
    }
    default: {
        std::string report;
        Words rest = args;
        if (!cli::TakeReportOption(rest, report).empty()) break;
        Expect(rest.size() <= args.size(), "taking --report added arguments");
        Expect(rest.size() == args.size() || !report.empty(), "--report taken without its file");
        for (const std::string &arg : rest)
            Expect(arg != "--report" && arg.rfind("--report=", 0) != 0, "a --report left behind");
        break;
    }
    }
    return 0;
}
