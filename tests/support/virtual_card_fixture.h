// The virtual card's tests' fixture and steps: a fresh card for each test,
// pictures written for it to play, and the driver's calls as the preview
// makes them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "card_library.h"
#include "test_support.h"
#include "vcard_control.h"

namespace vt {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r, g, b;
};

inline std::string Text(Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

class VirtualCardTest : public ::testing::Test {
protected:
    void SetUp() override { VcReset(); }
    void TearDown() override {
        for (int call = VC_BEGIN; call < VC_CALL_COUNT; ++call) VcReleaseCall(call);
        VcReset();
    }

    // Writes a 24-bit BMP whose pixel (x, y from the top) is pixel(x, y),
    // under this test's own folder; `edit` may spoil the bytes first.
    std::string WriteBmp(const std::string &name, int width, int height, bool topDown,
                         const std::function<Rgb(int, int)> &pixel,
                         const std::function<void(Bytes &)> &edit = nullptr) {
        const int stride = (width * 3 + 3) & ~3;
        const int imageBytes = stride * height;
        // Padding gets a loud value: it must never show in the picture.
        Bytes pixels(static_cast<size_t>(imageBytes), 0x77);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x) {
                const Rgb c = pixel(x, topDown ? row : height - 1 - row);
                uint8_t *at = &pixels[static_cast<size_t>(row * stride + x * 3)];
                at[0] = c.b, at[1] = c.g, at[2] = c.r;
            }
        Bytes bytes = MakeBmp24(width, topDown ? -height : height, pixels);
        EditBmpHeaders(bytes, [imageBytes](BmpHeaders &h) { h.info.biSizeImage = static_cast<DWORD>(imageBytes); });
        if (edit) edit(bytes);
        const std::string path = folder_ + "\\" + name;
        WriteBytes(path, bytes);
        return path;
    }
    std::string WriteFlat(const std::string &name, int width, int height, Rgb colour) {
        return WriteBmp(name, width, height, false, [colour](int, int) { return colour; });
    }
    // An empty folder for footage, under this test's own folder.
    std::string Subfolder(const std::string &name) {
        const std::string path = folder_ + "\\" + name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }

    const std::string folder_ = NewTempFolder("vc");
};

inline int OpenCard() {
    return BeginCG400(card::kCardNumber);
}

// Sets the card up as the preview does and reads one frame.
inline Bytes ReadFrame(int left, int top, int inW, int inH, int outW, int outH, int code) {
    int h = OpenCard();
    CG400SetInpVideoWindow(h, left, top, inW, inH);
    CG400SetDispWindow(h, 0, 0, outW, outH);
    CG400SetColorSpace(h, static_cast<unsigned char>(code));
    Bytes frame(static_cast<size_t>(outW) * static_cast<size_t>(outH) * 3, 0xEE);
    CG400ReadFromMem(h, VC_READ_SOURCE, VC_MEM_PAGES * card::kMemPageBytes, 0, frame.data(), 1);
    return frame;
}

// The 24-bit frame's pixel (x, y from the top) as R, G, B; frames come bottom-up.
inline Rgb FramePixel(const Bytes &frame, int width, int height, int x, int y) {
    const size_t at = (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return at + 2 < frame.size() ? Rgb{frame[at + 2], frame[at + 1], frame[at]} : Rgb{1, 2, 3};
}

inline std::vector<uint32_t> Poll(int times) {
    std::vector<uint32_t> seen;
    for (int i = 0; i < times; ++i) {
        uint32_t status = 0x12345678;
        CG400GetSnappingStatus(VC_DEFAULT_HANDLE, &status);
        seen.push_back(status);
    }
    return seen;
}

inline double MsNow() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Plays a folder of footage; its reason, when asked for.
inline int32_t PlayFolder(const std::string &folder, std::string *why = nullptr) {
    char reason[512] = "untouched";
    const int32_t result = VcPlayFolder(folder.c_str(), reason, sizeof reason);
    if (why != nullptr) *why = reason;
    return result;
}

}  // namespace vt
