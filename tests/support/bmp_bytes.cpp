#include "bmp_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vt {

BmpHeaders ReadBmpHeaders(const std::vector<uint8_t> &bytes) {
    uint8_t raw[bmp::kHeadersBytes] = {};
    std::memcpy(raw, bytes.data(), std::min<size_t>(bytes.size(), sizeof raw));
    BmpHeaders headers;
    std::memcpy(&headers.file, raw, bmp::kFileHeaderBytes);
    std::memcpy(&headers.info, raw + bmp::kFileHeaderBytes, bmp::kInfoHeaderBytes);
    return headers;
}

void WriteBmpHeaders(std::vector<uint8_t> &bytes, const BmpHeaders &headers) {
    uint8_t raw[bmp::kHeadersBytes];
    std::memcpy(raw, &headers.file, bmp::kFileHeaderBytes);
    std::memcpy(raw + bmp::kFileHeaderBytes, &headers.info, bmp::kInfoHeaderBytes);
    std::memcpy(bytes.data(), raw, std::min<size_t>(bytes.size(), sizeof raw));
}

void EditBmpHeaders(std::vector<uint8_t> &bytes, const std::function<void(BmpHeaders &)> &change) {
    BmpHeaders headers = ReadBmpHeaders(bytes);
    change(headers);
    WriteBmpHeaders(bytes, headers);
}

std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t> &pixels) {
    std::vector<uint8_t> bytes(bmp::kHeadersBytes + pixels.size());
    WriteBmpHeaders(bytes, {bmp::FileHeader(bmp::kHeadersBytes, static_cast<uint32_t>(pixels.size())),
                            bmp::InfoHeader(width, height, 24)});
    if (!pixels.empty()) std::memcpy(bytes.data() + bmp::kHeadersBytes, pixels.data(), pixels.size());
    return bytes;
}

std::vector<uint8_t> FrameAsBgr(const std::vector<uint8_t> &frame, int mode) {
    if (mode == 1) return frame;
    std::vector<uint8_t> out;
    if (mode == 0) {
        for (uint8_t grey : frame) out.insert(out.end(), {grey, grey, grey});
        return out;
    }
    const auto widen = [](unsigned c) { return static_cast<uint8_t>(c * 8 + c / 4); };
    for (size_t i = 0; i + 1 < frame.size(); i += 2) {
        const unsigned word = frame[i] + 256u * frame[i + 1];
        out.insert(out.end(), {widen(word % 32), widen(word / 32 % 32), widen(word / 1024 % 32)});
    }
    return out;
}

void ExpectGreyOf(const std::vector<uint8_t> &source, const std::vector<uint8_t> &grey, const std::string &name) {
    const BmpHeaders from = ReadBmpHeaders(source);
    const BmpHeaders to = ReadBmpHeaders(grey);
    const size_t count = (from.file.bfSize - bmp::kHeadersBytes) / 3;
    ASSERT_EQ(grey.size(), bmp::kGreyPixelOffset + count) << name;
    EXPECT_EQ(to.file.bfType, from.file.bfType) << name << ": bfType";
    EXPECT_EQ(to.file.bfSize, bmp::kGreyPixelOffset + count) << name << ": bfSize";
    EXPECT_EQ(to.file.bfReserved1, from.file.bfReserved1) << name << ": bfReserved1";
    EXPECT_EQ(to.file.bfReserved2, from.file.bfReserved2) << name << ": bfReserved2";
    EXPECT_EQ(to.file.bfOffBits, bmp::kGreyPixelOffset) << name << ": bfOffBits";
    EXPECT_EQ(to.info.biBitCount, 8u) << name << ": biBitCount";
    EXPECT_EQ(to.info.biSizeImage, from.info.biSizeImage / 3) << name << ": biSizeImage";
    // The rest of the info header as read: all but biBitCount and biSizeImage.
    bmp::InfoHeaderFields rest = to.info;
    rest.biBitCount = from.info.biBitCount;
    rest.biSizeImage = from.info.biSizeImage;
    EXPECT_EQ(std::memcmp(&rest, &from.info, sizeof rest), 0) << name << ": the info header's other fields";
    for (size_t i = 0; i < bmp::kGreyPaletteEntries; ++i) {
        const uint8_t *entry = grey.data() + bmp::kHeadersBytes + 4 * i;
        ASSERT_TRUE(entry[0] == i && entry[1] == i && entry[2] == i && entry[3] == 0) << name << ": palette entry " << i;
    }
    for (size_t k = 0; k < count; ++k) {
        const uint8_t *pixel = source.data() + bmp::kHeadersBytes + 3 * k;
        ASSERT_EQ(grey[bmp::kGreyPixelOffset + k], (3 * pixel[0] + 6 * pixel[1] + pixel[2]) / 10) << name << ": pixel " << k;
    }
}

}  // namespace vt
