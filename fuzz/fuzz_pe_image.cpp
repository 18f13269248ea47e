// The reader behind vorlane-cli check, on any bytes: it gives a reason or an
// image, and every export name it gives lies in the file, terminated there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_checks.h"
#include "core/pe_image.h"

namespace {

using fuzzcheck::Expect;

bool InFile(const uint8_t *data, size_t size, const std::string &name) {
    const size_t length = name.size() + 1;  // with its terminator
    for (size_t at = 0; at + length <= size; ++at)
        if (std::memcmp(data + at, name.c_str(), length) == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A copy of exactly `size` bytes, so that the address sanitizer sees any
    // read past the end.
    uint8_t *bytes = static_cast<uint8_t *>(std::malloc(size == 0 ? 1 : size));
    if (size > 0) std::memcpy(bytes, data, size);
    pe::Image image;
    const std::string why = pe::Parse(bytes, size, image);
    if (!why.empty()) {
        Expect(why.find('\n') == std::string::npos, "a reason of more than one line");
    } else {
        Expect(size >= 64, "an image read from fewer bytes than a DOS header");
        const std::string bits = pe::Bitness(image.machine);
        Expect(!bits.empty(), "no bitness");
    }
    for (const pe::Export &entry : image.exports) {
        Expect(entry.name.size() < 256, "an export name longer than 255 bytes");
        Expect(entry.name.find('\0') == std::string::npos, "an export name holding a NUL");
        Expect(InFile(bytes, size, entry.name), "an export name that is not in the file");
        Expect(pe::HasExport(image, entry.name.c_str()), "a name given that the image is said not to export");
    }
    std::free(bytes);
    return 0;
}
