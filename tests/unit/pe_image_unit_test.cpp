// vorlane-cli's reader of DLL files, which it runs on whatever file lies
// where a DLL should: every damaged image gives a reason, never a crash or a
// read past its bytes, and a sound one gives its machine and exports.
#include <gtest/gtest.h>

#include <functional>

#include "pe_builder.h"
#include "core/pe_image.h"
#include "core/virtual_card_mark.h"

namespace {

const std::vector<std::string> kNames = {"EasyInit", "EasyCapture", "HDReset"};

struct Row {
    const char *name;
    bool is64;
    std::function<void(vt::PeImageBytes &)> damage;
    const char *reason;  // "" when the image reads
    size_t exports;      // then how many named exports it has
};

void Cut(vt::PeImageBytes &image, size_t size) { image.bytes.resize(size); }

TEST(PeImage, DamagedImagesGiveAReason) {
    using Image = vt::PeImageBytes;
    const Row rows[] = {
        {"sound 32-bit DLL", false, [](Image &) {}, "", 3},
        {"sound 64-bit DLL", true, [](Image &) {}, "", 3},
        {"empty file", false, [](Image &i) { Cut(i, 0); }, "not a Windows program file", 0},
        {"cut in the DOS header", false, [](Image &i) { Cut(i, 0x3E); }, "not a Windows program file", 0},
        {"e_lfanew past the end", false, [](Image &i) { i.Put32(0x3C, 0x7FFFFFF0); }, "not a Windows program file", 0},
        {"e_lfanew near 4 GB", true, [](Image &i) { i.Put32(0x3C, 0xFFFFFFFE); }, "not a Windows program file", 0},
        {"cut in the file header", false, [](Image &i) { Cut(i, i.fileHeader + 10); }, "headers are cut short", 0},
        {"cut in the optional header", true, [](Image &i) { Cut(i, i.optionalHeader + 100); }, "headers are cut short", 0},
        {"optional header too small", false, [](Image &i) { i.Put16(i.fileHeader + 16, 90); }, "headers are cut short", 0},
        {"unknown optional header", false, [](Image &i) { i.Put16(i.optionalHeader, 0x107); }, "unknown kind", 0},
        {"cut in the section table", false, [](Image &i) { Cut(i, i.sectionTable + 22); }, "section table is cut short", 0},
        {"more sections than the file holds", true, [](Image &i) { i.Put16(i.fileHeader + 2, 90); }, "section table is cut short", 0},
        {"65535 sections", false, [](Image &i) { i.Put16(i.fileHeader + 2, 0xFFFF); }, "section table is damaged", 0},
        {"no exports", false, [](Image &i) { i.Put32(i.exportEntry, 0); }, "", 0},
        {"export directory outside every section", false, [](Image &i) { i.Put32(i.exportEntry, 0x9000); }, "beyond the end", 0},
        {"export directory cut off", true, [](Image &i) { Cut(i, i.exportDirectory + 30); }, "beyond the end", 0},
        {"section data past the end", false, [](Image &i) { i.Put32(i.sectionTable + 20, 0x7FFFFFF0); }, "beyond the end", 0},
        {"names array outside every section", false, [](Image &i) { i.Put32(i.exportDirectory + 32, 0x7000); }, "beyond the end", 0},
        {"name indexes outside every section", true, [](Image &i) { i.Put32(i.exportDirectory + 36, 0xFFFFFFF0); }, "beyond the end", 0},
        {"a name pointer outside every section", false,
         [](Image &i) { i.Put32(i.sectionData + 40 + 4 * 3 + 4, 0x8000); }, "beyond the end", 0},
        {"a name pointer near 4 GB", true,
         [](Image &i) { i.Put32(i.sectionData + 40 + 4 * 3, 0xFFFFFFFF); }, "beyond the end", 0},
        {"last name without its terminator", false,
         [](Image &i) { i.bytes.back() = 'x'; }, "beyond the end", 0},
        {"name longer than any export's", true,
         [](Image &i) { i.bytes.insert(i.bytes.end() - 1, 300, 'x'); i.Put32(i.sectionTable + 16, static_cast<uint32_t>(i.bytes.size() - i.sectionData)); },
         "beyond the end", 0},
        {"huge name count", false, [](Image &i) { i.Put32(i.exportDirectory + 24, 0xFFFFFFFF); }, "damaged", 0},
        {"name count past the arrays", true, [](Image &i) { i.Put32(i.exportDirectory + 24, 40); }, "beyond the end", 0},
        {"ordinal base 0", true, [](Image &i) { i.Put32(i.exportDirectory + 16, 0); }, "", 3},
        {"huge function count", false, [](Image &i) { i.Put32(i.exportDirectory + 20, 0xFFFFFFFF); }, "", 3},
        {"name index past the functions", false, [](Image &i) { i.Put32(i.exportDirectory + 20, 2); }, "", 2},
        {"function array outside every section", true, [](Image &i) { i.Put32(i.exportDirectory + 28, 0x6000); }, "", 0},
    };
    for (const Row &row : rows) {
        vt::PeImageBytes image = vt::MakePeDll(row.is64, kNames, 106);
        row.damage(image);
        pe::Image parsed;
        const std::string reason = pe::Parse(image.bytes.data(), image.bytes.size(), parsed);
        if (*row.reason == '\0') {
            EXPECT_EQ(reason, "") << row.name;
            EXPECT_EQ(parsed.exports.size(), row.exports) << row.name;
            // Found by name whatever its ordinal, as the loader finds it.
            EXPECT_EQ(pe::HasExport(parsed, "EasyInit"), row.exports > 0) << row.name;
        } else {
            EXPECT_NE(reason.find(row.reason), std::string::npos) << row.name << ": " << reason;
        }
    }
}

// A sound image gives its machine and ordinals; a program is told from a
// DLL by its flag alone, and the virtual card from the card maker's driver
// by the control calls only it exports.
TEST(PeImage, SoundImagesGiveMachineOrdinalsAndKind) {
    struct Kind {
        const char *name;
        bool is64;
        std::vector<std::string> exports;
        uint16_t characteristics;  // 0: as made
        bool isDll, isVirtualCard;
    } rows[] = {
        {"32-bit DLL", false, kNames, 0, true, false},
        {"64-bit DLL", true, kNames, 0, true, false},
        {"a driver", false, {"BeginCG400", "EndCG400"}, 0x2102, true, false},
        {"a program", false, {"BeginCG400"}, 0x0102, false, false},
        {"the virtual card", false, {"BeginCG400", "VcGetStats", "VcReset"}, 0x2102, true, true},
    };
    for (const Kind &row : rows) {
        vt::PeImageBytes image = vt::MakePeDll(row.is64, row.exports, 106);
        if (row.characteristics != 0) image.Put16(image.fileHeader + 18, row.characteristics);
        pe::Image parsed;
        ASSERT_EQ(pe::Parse(image.bytes.data(), image.bytes.size(), parsed), "") << row.name;
        EXPECT_EQ(parsed.machine, row.is64 ? pe::kMachineAmd64 : pe::kMachineI386) << row.name;
        EXPECT_EQ(pe::Bitness(parsed.machine), row.is64 ? "64-bit" : "32-bit") << row.name;
        EXPECT_EQ(parsed.isDll, row.isDll) << row.name;
        EXPECT_EQ(cli::IsVirtualCard(parsed), row.isVirtualCard) << row.name;
        // Ordinals count from the base in the order made; a name's prefix is no name.
        EXPECT_EQ(pe::OrdinalOf(parsed, row.exports[0].c_str()), 106u) << row.name;
        EXPECT_EQ(pe::OrdinalOf(parsed, row.exports.back().c_str()), 105u + row.exports.size()) << row.name;
        EXPECT_EQ(pe::OrdinalOf(parsed, row.exports[0].substr(0, row.exports[0].size() - 1).c_str()), 0u) << row.name;
    }
}

}  // namespace
