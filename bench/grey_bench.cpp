// Color2Gray's throughput in source megabytes a second, beside copying the
// same file with CopyFileA in the same process: on a 432 x 576 frame as
// EasyCapture saves it and on an 8000 x 6000 picture. Runs alternate between
// the two so that both see the same machine; each figure is the median.
// scripts/bench-grey.sh measures ImageMagick on the same pictures.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "bmp_headers.h"
#include "vorlane.h"

namespace {

using bench::Median;
using bench::Seconds;

// The same picture bench-grey.sh makes: byte c of pixel (x, y) is
// (x * 7 + y * 13 + c * 50) mod 256, rows bottom-up, no padding.
bool WritePicture(const std::string &path, int width, int height) {
    const DWORD rowBytes = static_cast<DWORD>(width) * 3;
    const DWORD pixelBytes = rowBytes * static_cast<DWORD>(height);
    const bmp::FileHeaderFields file = bmp::FileHeader(bmp::kHeadersBytes, pixelBytes);
    const bmp::InfoHeaderFields info = bmp::InfoHeader(width, height, 24);
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) && written == sizeof file &&
              WriteFile(out, &info, sizeof info, &written, nullptr) && written == sizeof info;
    std::vector<BYTE> row(rowBytes);
    for (int y = 0; ok && y < height; ++y) {
        for (DWORD i = 0; i < rowBytes; ++i)
            row[i] = static_cast<BYTE>((i / 3) * 7 + static_cast<DWORD>(y) * 13 + (i % 3) * 50);
        ok = WriteFile(out, row.data(), rowBytes, &written, nullptr) && written == rowBytes;
    }
    CloseHandle(out);
    return ok;
}

void Report(const std::string &name, double value, const char *unit, const std::string &note) {
    std::printf("BENCH %s | %.1f | %s | %s\n", name.c_str(), value, unit, note.c_str());
    std::fflush(stdout);
}

bool Measure(const char *label, int width, int height, int runs) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string source = std::string(folder) + "vorlane-grey-bench.bmp";
    const std::string grey = std::string(folder) + "vorlane-grey-bench-grey.bmp";
    const std::string copy = std::string(folder) + "vorlane-grey-bench-copy.bmp";
    if (!WritePicture(source, width, height)) {
        std::fprintf(stderr, "grey_bench: cannot write %s\n", source.c_str());
        return false;
    }
    const double megabytes = (54.0 + 3.0 * width * height) / 1e6;
    std::vector<double> greyTimes, copyTimes, ratios;
    bool ok = true;
    for (int run = 0; ok && run < runs; ++run) {
        double begin = Seconds();
        ok = Color2Gray(source.c_str(), grey.c_str()) == 1;
        const double greySeconds = Seconds() - begin;
        begin = Seconds();
        ok = ok && CopyFileA(source.c_str(), copy.c_str(), FALSE);
        const double copySeconds = Seconds() - begin;
        greyTimes.push_back(greySeconds);
        copyTimes.push_back(copySeconds);
        ratios.push_back(greySeconds / copySeconds);
    }
    DeleteFileA(source.c_str());
    DeleteFileA(grey.c_str());
    DeleteFileA(copy.c_str());
    if (!ok) {
        std::fprintf(stderr, "grey_bench: a conversion or copy failed at %s\n", label);
        return false;
    }
    const std::string runsNote = "median of " + std::to_string(runs) + " runs";
    Report(std::string("Color2Gray ") + label, megabytes / Median(greyTimes), "MB/s",
           "source megabytes a second, " + runsNote);
    Report(std::string("CopyFileA ") + label, megabytes / Median(copyTimes), "MB/s",
           "the same file copied, " + runsNote);
    Report(std::string("Color2Gray / CopyFileA time ") + label, Median(ratios), "x",
           "goal: at most 2; median of paired runs");
    return true;
}

}  // namespace

int main() {
    bool ok = Measure("432x576", 432, 576, 41);
    ok = Measure("8000x6000", 8000, 6000, 7) && ok;
    return ok ? 0 : 1;
}
