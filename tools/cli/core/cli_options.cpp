#include "core/cli_options.h"

#include <cerrno>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ascii_names.h"
#include "frame_geometry.h"
#include "record_rate.h"

namespace cli {

bool ParseInt(const char *text, int &value) {
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseMode(const char *text, int &mode) {
    static const char *const names[] = {"grey", "rgb24", "rgb16", "rgb15"};
    for (int i = 0; i < 4; ++i) {
        if (names::SameIgnoringCase(text, names[i])) {
            mode = i;
            return true;
        }
    }
    return ParseInt(text, mode) && mode >= 0 && mode <= 3;
}

bool ParseSeconds(const char *text, double &seconds) {
    char *end = nullptr;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(seconds) && seconds >= 0 && seconds <= 86400;
}

namespace {

bool IsOption(const std::string &arg) { return arg.rfind("--", 0) == 0; }

// Splits "--name=value"; otherwise the value is the next argument.
bool NameAndValue(const std::vector<std::string> &args, size_t &i, std::string &name,
                  std::string &value) {
    name = args[i];
    const size_t equals = name.find('=');
    if (IsOption(name) && equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
        return true;
    }
    if (i + 1 >= args.size()) return false;
    value = args[++i];
    return true;
}

}  // namespace

std::string ParsePreviewOptions(const std::vector<std::string> &args, PreviewOptions &options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--no-window") {
            options.keysWindow = false;
            continue;
        }
        if (args[i] == "--open") {
            options.open = true;
            continue;
        }
        std::string name, value;
        if (!NameAndValue(args, i, name, value)) return "missing value after " + name;
        const char *v = value.c_str();
        bool good = true;
        if (name == "--x") good = ParseInt(v, options.x);
        else if (name == "--y") good = ParseInt(v, options.y);
        else if (name == "--height") good = ParseInt(v, options.height) && options.height >= geometry::kMinHeight &&
                                           options.height <= geometry::kMaxHeight;
        else if (name == "--mode") good = ParseMode(v, options.mode);
        else if (name == "--seconds") good = ParseSeconds(v, options.seconds);
        else if (name == "--save") options.save = value;
        else if (name == "--grey") options.grey = value;
        else if (name == "--scene") options.scene = value;
        else if (name == "--no-window") return "--no-window takes no value";
        else return "unknown option " + name;
        if (!good || value.empty()) return "bad value '" + value + "' for " + name;
    }
    return "";
}

std::string ParseCheckOptions(const std::vector<std::string> &args, PreviewOptions &options) {
    for (const std::string &arg : args) {
        const std::string name = arg.substr(0, arg.find('='));
        if (IsOption(name) && name != "--open" && name != "--x" && name != "--y")
            return "check takes only --open, --x X and --y Y";
    }
    return ParsePreviewOptions(args, options);
}

bool IsAviName(const std::string &path) {
    return path.size() > 4 && names::SameIgnoringCase(path.c_str() + path.size() - 4, ".avi");
}

std::string ParseRecordOptions(const std::vector<std::string> &args, RecordOptions &options) {
    if (args.empty() || args[0].empty() || IsOption(args[0]))
        return "record takes a folder or a FILE.avi first: record FOLDER|FILE.avi [--rate R]";
    options.destination = args[0];
    // The pictures' names are joined to it with one backslash.
    std::string &folder = options.destination;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    const bool avi = IsAviName(options.destination);
    options.rate = recording::kDefaultRate;
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--continue") {
            if (!avi) return "--continue is for a recording into a FILE.avi";
            options.continuing = true;
            continue;
        }
        const std::string name = args[i].substr(0, args[i].find('='));
        if (name != "--rate" && name != "--codec" && name != "--quality") {
            rest.push_back(args[i]);
            continue;
        }
        std::string optionName, value;
        if (!NameAndValue(args, i, optionName, value)) return "missing value after " + name;
        bool good = !value.empty();
        if (name == "--rate") {
            char *end = nullptr;
            options.rate = std::strtod(value.c_str(), &end);
            good = good && *end == '\0' && options.rate > 0 && options.rate <= recording::kHighestRate;
            // An AVI file states its rate in whole frames a second.
            if (good && avi && options.rate != std::floor(options.rate))
                return "bad value '" + value + "' for --rate: an AVI file's rate is a whole number";
        } else if (name == "--codec") {
            if (value == "mjpeg") options.codec = avi::Codec::kMjpeg;
            else if (value == "raw") options.codec = avi::Codec::kRaw;
            else good = false;
        } else {
            good = ParseInt(value.c_str(), options.quality) && options.quality >= 1 && options.quality <= 100;
        }
        if (!good) return "bad value '" + value + "' for " + name;
        if (!avi && name != "--rate") return name + " is for a recording into a FILE.avi";
    }
    const std::string problem = ParsePreviewOptions(rest, options.preview);
    if (problem.empty() && options.preview.open) return "unknown option --open";
    if (problem.empty() && options.codec == avi::Codec::kRaw && options.quality != kDefaultQuality)
        return "--quality is for Motion JPEG, not --codec raw";
    return problem;
}

bool ParseByteCount(const char *text, uint64_t most, uint64_t &bytes) {
    if (!text || *text < '0' || *text > '9') return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed == 0 || parsed > most) return false;
    bytes = parsed;
    return true;
}

std::string TakeReportOption(std::vector<std::string> &args, std::string &reportPath) {
    size_t i = 0;
    while (i < args.size()) {
        if (args[i] != "--report" && args[i].rfind("--report=", 0) != 0) {
            ++i;
            continue;
        }
        size_t last = i;
        std::string name, value;
        if (!NameAndValue(args, last, name, value)) return "missing value after --report";
        if (value.empty()) return "bad value '' for --report";
        reportPath = value;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(last + 1));
    }
    return "";
}

}  // namespace cli
