// The live preview as a host sees it: what the card is told, which frames
// are read, and what lands on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "host_fixture.h"

using PreviewTest = HostTest;

namespace {

constexpr int64_t kCaptureBytes = int64_t{VC_MEM_PAGES} * 4096;

struct Geometry {
    int width, height;
    int inLeft, inTop, inWidth, inHeight;
};

// What a requested height leads to: the frame and the input window.
Geometry GeometryFor(int height) {
    switch (height) {
    case 384: return {288, 384, 168, 0, 432, 576};
    case 400: return {300, 400, 234, 88, 300, 400};
    case 480: return {360, 480, 204, 48, 360, 480};
    case 576: return {432, 576, 168, 0, 432, 576};
    case 96: return {72, 96, 168, 0, 432, 576};
    case 240: return {180, 240, 168, 0, 432, 576};
    default: return {};
    }
}

// After the n-th read, the paint has happened once the loop polls twice more.
bool WaitForPaintOfRead(int64_t n) {
    if (!vt::WaitUntil([n] { return vt::CardStats().reads >= n; })) return false;
    const int64_t polls = vt::CardStats().polls;
    return vt::WaitUntil([polls] { return vt::CardStats().polls >= polls + 2; });
}

bool Close(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int ca = static_cast<int>(a >> shift & 0xFF), cb = static_cast<int>(b >> shift & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

std::string Hex(uint32_t rgb) {
    std::ostringstream out;
    out << std::hex << rgb;
    return out.str();
}

}  // namespace

TEST_F(PreviewTest, SetsTheCardUpInOrderForEachHeightAndColourCode) {
    const struct {
        int height, mode;
    } rows[] = {{384, 0}, {400, 1}, {480, 2}, {576, 3}};
    for (const auto [height, mode] : rows) {
        const std::string name = "height " + std::to_string(height) + ", mode " + std::to_string(mode);
        const Geometry g = GeometryFor(height);
        VcReset();
        const uint32_t never[] = {0};
        VcScriptStatus(never, 1);
        ASSERT_EQ(EasyInit(3, 4, height, mode), 1) << name;
        ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().polls > 0; })) << name << "\n" << vt::DescribeLog();
        ASSERT_EQ(FreeCG200(), 1) << name;

        const std::vector<VcLogEntry> log = vt::CardLog();
        const std::string seen = name + "\n" + vt::DescribeLog();
        ASSERT_EQ(log.size(), 7u) << seen;
        const int32_t expected[] = {VC_BEGIN,      VC_SET_INPUT, VC_SET_DISPLAY, VC_SET_COLOR,
                                    VC_STATIC_MEM, VC_SNAP,      VC_END};
        for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].call, expected[i]) << seen;

        const int64_t h = VC_DEFAULT_HANDLE;
        EXPECT_EQ(std::vector<int64_t>(log[1].args, log[1].args + 5),
                  (std::vector<int64_t>{h, g.inLeft, g.inTop, g.inWidth, g.inHeight}))
            << seen;
        EXPECT_EQ(std::vector<int64_t>(log[2].args, log[2].args + 5), (std::vector<int64_t>{h, 0, 0, g.width, g.height}))
            << seen;
        EXPECT_EQ(std::vector<int64_t>(log[3].args, log[3].args + 2), (std::vector<int64_t>{h, mode})) << seen;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NE(log[4].args[i], 0) << seen << "StaticMemAlloc argument " << i;
            for (int j = 0; j < i; ++j)
                EXPECT_NE(log[4].args[i], log[4].args[j]) << seen << "arguments " << j << ", " << i;
        }
        EXPECT_EQ(std::vector<int64_t>(log[5].args, log[5].args + 4),
                  (std::vector<int64_t>{h, VC_SNAP_TARGET, kCaptureBytes, 0}))
            << seen;
        // The set-up is the preview thread's, not the host's.
        for (int i = 1; i <= 5; ++i) {
            EXPECT_EQ(log[i].threadId, log[1].threadId) << seen;
            EXPECT_NE(log[i].threadId, GetCurrentThreadId()) << seen;
        }
    }
}

TEST_F(PreviewTest, ReadsOneSlotForEachChangeOfStatus) {
    struct Row {
        const char *name;
        std::vector<uint32_t> script;  // the last value is held; empty: none stored
        std::vector<int> slots;
        std::vector<int> afterPoll;  // the poll (from 1) that each read follows
    } rows[] = {
        {"steady changes", {0, 0, 2, 2, 2, 0, 2, 0}, {0, 1, 0, 1}, {3, 6, 7, 8}},
        {"first status 0, held", {0}, {}, {}},
        {"held at 2", {2}, {0}, {1}},
        {"other values ignored", {1, 2, 3, 7, 0, 5, 2, 9}, {0, 1, 0}, {2, 5, 7}},
        {"status never stored", {}, {}, {}},
    };
    for (const Row &row : rows) {
        VcReset();
        VcLogPolls(1);
        if (row.script.empty())
            VcSetStatusMode(VC_STATUS_NONE);
        else
            VcScriptStatus(row.script.data(), static_cast<int32_t>(row.script.size()));
        ASSERT_EQ(EasyInit(0, 0, 480, 1), 1) << row.name;
        const int64_t enough = static_cast<int64_t>(row.script.size()) + 50;
        ASSERT_TRUE(vt::WaitUntil([enough] { return vt::CardStats().polls >= enough; })) << row.name;
        ASSERT_EQ(FreeCG200(), 1) << row.name;

        // Every read goes into the one frame buffer.
        std::vector<int> slots, afterPoll;
        int polls = 0;
        const void *frameBuffer = nullptr;
        for (const VcLogEntry &e : vt::CardLog()) {
            if (e.call == VC_STATUS) ++polls;
            if (e.call != VC_READ) continue;
            slots.push_back(static_cast<int>(e.args[3]));
            afterPoll.push_back(polls);
            EXPECT_EQ(e.args[0], VC_DEFAULT_HANDLE) << row.name;
            EXPECT_EQ(e.args[1], VC_READ_SOURCE) << row.name;
            EXPECT_EQ(e.args[2], kCaptureBytes) << row.name;
            EXPECT_EQ(e.args[5], 1) << row.name;
            if (!frameBuffer) frameBuffer = reinterpret_cast<void *>(e.args[4]);
            EXPECT_EQ(reinterpret_cast<void *>(e.args[4]), frameBuffer) << row.name;
        }
        EXPECT_EQ(slots, row.slots) << row.name;
        EXPECT_EQ(afterPoll, row.afterPoll) << row.name;
        EXPECT_EQ(vt::CardStats().reads, static_cast<int64_t>(row.slots.size())) << row.name;
    }
}

TEST_F(PreviewTest, PaintsTheFrameReadAtTheRequestedPosition) {
    struct Row {
        const char *name;
        int x, y, height, mode;
        int tolerance;
    } rows[] = {
        {"upright, 24-bit", 40, 30, 576, 1, 0},
        {"small, 24-bit", 700, 500, 96, 1, 0},
        {"grey", 600, 60, 240, 0, 0},
        {"16-bit", 500, 400, 384, 2, 8},
        {"15-bit", 800, 100, 400, 3, 8},
    };
    for (const Row &row : rows) {
        const Geometry g = GeometryFor(row.height);
        VcReset();
        // One frame only, so that it stays on the screen while it is read back.
        const uint32_t once[] = {2};
        VcScriptStatus(once, 1);
        vt::FillScreen(row.x - 1, row.y - 1, g.width + 2, g.height + 2);
        const vt::ScreenPixels before = vt::ReadScreen(row.x - 1, row.y - 1, g.width + 2, g.height + 2);
        ASSERT_TRUE(std::all_of(before.rgb.begin(), before.rgb.end(), [](uint32_t p) { return p == vt::kMarkerRgb; }))
            << row.name << ": the screen does not keep what is drawn on it";

        ASSERT_EQ(EasyInit(row.x, row.y, row.height, row.mode), 1) << row.name;
        ASSERT_TRUE(WaitForPaintOfRead(1)) << row.name;
        const vt::ScreenPixels screen = vt::ReadScreen(row.x - 1, row.y - 1, g.width + 2, g.height + 2);
        std::vector<uint8_t> frame(static_cast<size_t>(g.width) * g.height * 3);
        const int32_t got = VcCopyLastFrame(frame.data(), static_cast<int32_t>(frame.size()));
        EXPECT_EQ(FreeCG200(), 1) << row.name;
        ASSERT_EQ(got, g.width * g.height * vt::BytesPerPixel(row.mode)) << row.name;
        frame.resize(static_cast<size_t>(got));

        const std::vector<uint8_t> bgr = vt::FrameAsBgr(frame, row.mode);
        int wrong = 0, grey = 0;
        std::string first;
        uint32_t lowest = 0xFFFFFF, highest = 0;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                // Rows come bottom-up.
                const size_t index = static_cast<size_t>(g.height - 1 - y) * g.width + x;
                const uint32_t expected = uint32_t{bgr[3 * index + 2]} << 16 | bgr[3 * index + 1] << 8 | bgr[3 * index];
                const uint32_t shown = screen.at(x + 1, y + 1);
                lowest = std::min(lowest, shown & 0xFF);
                highest = std::max(highest, shown & 0xFF);
                if ((shown >> 16) == (shown & 0xFF) && ((shown >> 8) & 0xFF) == (shown & 0xFF)) ++grey;
                if (Close(shown, expected, row.tolerance)) continue;
                if (wrong++ == 0)
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") shows " +
                            Hex(shown) + ", frame has " + Hex(expected);
            }
        }
        EXPECT_EQ(wrong, 0) << row.name << ": first at " << first;
        EXPECT_GT(highest - lowest, 100u) << row.name << ": the frame is nearly uniform";
        if (row.mode == 0) { EXPECT_EQ(grey, g.width * g.height) << row.name; }

        // Nothing beyond the frame's edges: the one-pixel ring keeps the marker.
        int ring = 0;
        for (int y = 0; y < g.height + 2; ++y)
            for (int x = 0; x < g.width + 2; ++x)
                ring += (x == 0 || y == 0 || x == g.width + 1 || y == g.height + 1) && screen.at(x, y) == vt::kMarkerRgb;
        EXPECT_EQ(ring, 2 * (g.width + g.height) + 4) << row.name << ": painted beyond the frame";
    }
}
