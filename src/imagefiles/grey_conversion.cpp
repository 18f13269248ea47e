// Color2Gray: the file calls around the grey conversion.
#include <windows.h>

#include <algorithm>

#include "win32_guards.h"
#include "file_io.h"
#include "same_file.h"
#include "bmp_headers.h"
#include "core/grey_plan.h"
#include "vorlane.h"

namespace {

HANDLE KernelHandle(HFILE file) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(file)); }

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

    // Files that cannot be told apart count as the same: refusing is safe.
    return samefile::Compare(source, path) == samefile::Answer::kDifferent;
}

}  // namespace

// Everything that can be known about the source (it opens, its headers are
// complete, it holds the pixels its bfSize claims, it is not the
// destination) is settled, and its pixels read, before the destination is
// created: a conversion that fails on its source leaves an existing file as
// it was. Only a failing write can leave a partial destination.
extern "C" int __stdcall Color2Gray(const char *source, const char *destination) {
    if (!source || !destination) return 0;

    guards::UniqueLFile in(_lopen(source, OF_READ));
    if (!in) return 0;
    LARGE_INTEGER sourceSize{};
    if (!GetFileSizeEx(KernelHandle(in.get()), &sourceSize)) return 0;
    const uint64_t sourceBytes = static_cast<uint64_t>(sourceSize.QuadPart);

    uint8_t head[bmp::kHeadersBytes];
    if (!fileio::ReadAll(in.get(), head, sizeof head)) return 0;
    const grey::GreyPlan plan = grey::PlanGreyFile(head, sizeof head, sourceBytes);
    // A header that claims more pixels than the file holds ends here:
    // nothing is allocated for bytes that are not there.
    if (!plan.convertible) return 0;
    if (!MayReplace(KernelHandle(in.get()), sourceBytes, destination)) return 0;

    // Empty pictures still get a block, so that they convert.
    const guards::LockedGlobalBlock colour = guards::AllocateLockedBlock(std::max<SIZE_T>(plan.pixelBytes, 1));
    if (!colour) return 0;
    const guards::LockedGlobalBlock greys = guards::AllocateLockedBlock(std::max<SIZE_T>(plan.pixelCount, 1));
    if (!greys) return 0;
    if (!fileio::ReadAll(in.get(), colour.bytes(), plan.pixelBytes)) return 0;
    grey::ConvertPixels(colour.bytes(), greys.bytes(), plan.pixelCount);

    guards::UniqueLFile out(_lcreat(destination, 0));
    if (!out) return 0;
    static constexpr bmp::GreyPalette kPalette = bmp::MakeGreyPalette();
    const bool written = fileio::WriteAll(out.get(), &plan.fileHeader, sizeof plan.fileHeader) &&
                         fileio::WriteAll(out.get(), &plan.infoHeader, sizeof plan.infoHeader) &&
                         fileio::WriteAll(out.get(), &kPalette, sizeof kPalette) &&
                         fileio::WriteAll(out.get(), greys.bytes(), plan.pixelCount);
    // A close can still report a failed flush; only a closed file counts.
    const bool closed = _lclose(out.release()) != HFILE_ERROR;
    return written && closed ? 1 : 0;
}
