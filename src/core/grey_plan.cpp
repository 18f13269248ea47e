// The grey conversion's pixel loops and its decisions over the source's
// headers; the file calls are Color2Gray's.
#include "core/grey_plan.h"

#include <tmmintrin.h>

#include <cstring>

namespace grey {

namespace {

// Eight pixels (24 bytes) from two overlapping 16-byte loads at bytes 0 and
// 8, so nothing past the eighth pixel is read. The shuffles put each pixel's
// blue and green side by side for one multiply-add and its red in a 16-bit
// lane of its own.
__attribute__((target("ssse3"))) inline __m128i EightGreyLevels(const uint8_t *bgr) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bgr));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bgr + 8));
    const __m128i blueGreen =
        _mm_or_si128(_mm_shuffle_epi8(low, _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, -1, -1,
                                                         -1, -1, -1, -1)),
                     _mm_shuffle_epi8(high, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                          7, 8, 10, 11, 13, 14)));
    const __m128i red =
        _mm_or_si128(_mm_shuffle_epi8(low, _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1,
                                                         -1, -1, -1, -1, -1)),
                     _mm_shuffle_epi8(high, _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                          9, -1, 12, -1, 15, -1)));
    const __m128i weights = _mm_setr_epi8(kBlueWeight, kGreenWeight, kBlueWeight, kGreenWeight,
                                          kBlueWeight, kGreenWeight, kBlueWeight, kGreenWeight,
                                          kBlueWeight, kGreenWeight, kBlueWeight, kGreenWeight,
                                          kBlueWeight, kGreenWeight, kBlueWeight, kGreenWeight);
    // At most 2550: no 16-bit lane saturates.
    const __m128i sums = _mm_add_epi16(_mm_maddubs_epi16(blueGreen, weights),
                                       _mm_mullo_epi16(red, _mm_set1_epi16(kRedWeight)));
    return _mm_mulhi_epu16(sums, _mm_set1_epi16(static_cast<short>(kTenthMultiplier)));
}

__attribute__((target("ssse3"))) void ConvertPixelsSsse3(const uint8_t *bgr, uint8_t *grey,
                                                          size_t count) {
    size_t k = 0;
    for (; k + 16 <= count; k += 16, bgr += 48, grey += 16) {
        const __m128i levels = _mm_packus_epi16(EightGreyLevels(bgr), EightGreyLevels(bgr + 24));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(grey), levels);
    }
    ConvertPixelsScalar(bgr, grey, count - k);
}

bool HasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

}  // namespace

void ConvertPixelsScalar(const uint8_t *bgr, uint8_t *grey, size_t count) {
    for (size_t k = 0; k < count; ++k, bgr += 3) grey[k] = GreyLevel(bgr[0], bgr[1], bgr[2]);
}

void ConvertPixels(const uint8_t *bgr, uint8_t *grey, size_t count) {
    static const bool vectors = HasSsse3();
    if (vectors)
        ConvertPixelsSsse3(bgr, grey, count);
    else
        ConvertPixelsScalar(bgr, grey, count);
}

GreyPlan PlanGreyFile(const uint8_t *head, size_t headBytes, uint64_t fileBytes) {
    GreyPlan plan{};
    if (head == nullptr || headBytes < bmp::kHeadersBytes || fileBytes < bmp::kHeadersBytes) return plan;
    bmp::FileHeaderFields file;
    bmp::InfoHeaderFields info;
    std::memcpy(&file, head, sizeof file);
    std::memcpy(&info, head + sizeof file, sizeof info);
    // An 8-bit file, a grey one made here among them, would have its
    // palette read as pixels.
    plan.convertible = IsBgr24Source(file, info) && SourceHoldsPixels(file.bfSize, fileBytes);
    if (!plan.convertible) return plan;
    plan.fileHeader = GreyFileHeader(file);
    plan.infoHeader = GreyInfoHeader(info);
    plan.pixelBytes = PixelBytes(file.bfSize);
    plan.pixelCount = PixelCount(plan.pixelBytes);
    return plan;
}

}  // namespace grey
