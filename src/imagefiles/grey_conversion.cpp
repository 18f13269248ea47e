#include "pure/grey_conversion.h"

#include <windows.h>

#include <tmmintrin.h>

#include <algorithm>

#include "common/win32_guards.h"
#include "file_io.h"
#include "pure/bmp_headers.h"
#include "vorlane.h"

namespace grey {

namespace {

// Eight pixels (24 bytes) from two overlapping 16-byte loads at bytes 0 and
// 8, so nothing past the eighth pixel is read. The shuffles put each pixel's
// blue and green side by side for one multiply-add and its red in a 16-bit
// lane of its own.
__attribute__((target("ssse3"))) inline __m128i EightGreyLevels(const BYTE *bgr) {
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

__attribute__((target("ssse3"))) void ConvertPixelsSsse3(const BYTE *bgr, BYTE *grey,
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

void ConvertPixelsScalar(const BYTE *bgr, BYTE *grey, size_t count) {
    for (size_t k = 0; k < count; ++k, bgr += 3) grey[k] = GreyLevel(bgr[0], bgr[1], bgr[2]);
}

void ConvertPixels(const BYTE *bgr, BYTE *grey, size_t count) {
    static const bool vectors = HasSsse3();
    if (vectors)
        ConvertPixelsSsse3(bgr, grey, count);
    else
        ConvertPixelsScalar(bgr, grey, count);
}

}  // namespace grey

namespace {

HANDLE KernelHandle(HFILE file) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(file)); }

bool SameVolumeAndIndex(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    // Files that cannot be told apart count as the same: refusing is safe.
    if (!GetFileInformationByHandle(a, &first) || !GetFileInformationByHandle(b, &second)) return true;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Whether the file at `path`, if there is one, may be replaced by the grey
// picture. Not when it is the source under another spelling (relative, other
// case, short name, another hard link): creating it would truncate the
// picture before it was read, so the volume and file index decide, not the
// text. Those take a slow volume query under Wine, so a size that differs
// from the source's settles it first. Not when it is read-only either, which
// Wine running as root would otherwise overwrite.
bool MayReplace(HANDLE source, uint64_t sourceBytes, const char *path) {
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &existing)) return true;  // _lcreat decides
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return false;
    const uint64_t existingBytes =
        (static_cast<uint64_t>(existing.nFileSizeHigh) << 32) | existing.nFileSizeLow;
    if (existingBytes != sourceBytes) return true;

    const HANDLE opened = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    guards::UniqueKernelHandle other(opened);
    return !SameVolumeAndIndex(source, other.get());
}

}  // namespace

extern "C" int __stdcall Color2Gray(const char *source, const char *destination) {
    if (!source || !destination) return 0;

    guards::UniqueLFile in(_lopen(source, OF_READ));
    if (!in) return 0;
    LARGE_INTEGER sourceSize{};
    if (!GetFileSizeEx(KernelHandle(in.get()), &sourceSize)) return 0;
    const uint64_t sourceBytes = static_cast<uint64_t>(sourceSize.QuadPart);
    if (!MayReplace(KernelHandle(in.get()), sourceBytes, destination)) return 0;

    guards::UniqueLFile out(_lcreat(destination, 0));
    if (!out) return 0;

    BITMAPFILEHEADER fileHeader{};
    if (!fileio::ReadAll(in.get(), &fileHeader, sizeof fileHeader)) return 0;
    const DWORD pixelBytes = grey::PixelBytes(fileHeader.bfSize);
    const DWORD pixelCount = grey::PixelCount(pixelBytes);
    const bool holdsPixels = grey::SourceHoldsPixels(fileHeader.bfSize, sourceBytes);
    const BITMAPFILEHEADER greyFileHeader = grey::GreyFileHeader(fileHeader);
    if (!fileio::WriteAll(out.get(), &greyFileHeader, sizeof greyFileHeader)) return 0;

    BITMAPINFOHEADER infoHeader{};
    if (!fileio::ReadAll(in.get(), &infoHeader, sizeof infoHeader)) return 0;
    const BITMAPINFOHEADER greyInfoHeader = grey::GreyInfoHeader(infoHeader);
    if (!fileio::WriteAll(out.get(), &greyInfoHeader, sizeof greyInfoHeader)) return 0;

    // A header that claims more pixels than the file holds ends here, as a
    // failed allocation would: nothing is allocated for bytes that are not
    // there. Empty pictures still get a block, so that they convert.
    if (!holdsPixels) return 0;
    const guards::LockedGlobalBlock colour = guards::AllocateLockedBlock(std::max<SIZE_T>(pixelBytes, 1));
    if (!colour) return 0;
    const guards::LockedGlobalBlock greys = guards::AllocateLockedBlock(std::max<SIZE_T>(pixelCount, 1));
    if (!greys) return 0;

    static constexpr bmp::GreyPalette kPalette = bmp::MakeGreyPalette();
    if (!fileio::WriteAll(out.get(), &kPalette, sizeof kPalette)) return 0;

    // The pixels are taken to follow the headers directly; the source's own
    // bfOffBits is not consulted.
    if (!fileio::ReadAll(in.get(), colour.bytes(), pixelBytes)) return 0;
    grey::ConvertPixels(colour.bytes(), greys.bytes(), pixelCount);
    const bool written = fileio::WriteAll(out.get(), greys.bytes(), pixelCount);
    // A close can still report a failed flush; only a closed file counts.
    const bool closed = _lclose(out.release()) != HFILE_ERROR;
    return written && closed ? 1 : 0;
}
