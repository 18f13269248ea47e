// Writes the PE reader's seeds into the folder given: the DLL images the
// unit tests build, sound, for both machines and a few export lists.
#include <cstdio>
#include <string>
#include <vector>

#include "pe_builder.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pe_seeds FOLDER\n");
        return 2;
    }
    const std::vector<std::vector<std::string>> lists = {
        {},
        {"EasyInit", "EasyCapture", "HDReset"},
        {"FreeCG200", "EasyInit", "EasyCapture", "Color2Gray", "HDReset"},
        {"BeginCG400", "EndCG400", "CG400SetADParam", "StaticMemAlloc"}};
    int n = 0;
    for (bool is64 : {false, true})
        for (const std::vector<std::string> &names : lists) {
            const vt::PeImageBytes image = vt::MakePeDll(is64, names, 102);
            const std::string path = std::string(argv[1]) + "/dll" + std::to_string(n++);
            FILE *file = std::fopen(path.c_str(), "wb");
            if (!file || std::fwrite(image.bytes.data(), 1, image.bytes.size(), file) != image.bytes.size() ||
                std::fclose(file) != 0) {
                std::fprintf(stderr, "pe_seeds: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    return 0;
}
