#include "picture_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/win32_guards.h"

namespace vcard {

namespace {

HANDLE OrNull(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool IsBmpName(const char *name) {
    const size_t length = std::strlen(name);
    return length > 4 && _stricmp(name + length - 4, ".bmp") == 0;
}

// A picture file read through a buffer: DrawFitted asks for rows in file
// order, so most rows come from memory.
struct PictureFile {
    HANDLE handle;
    uint64_t bufferStart;
    size_t bufferBytes;
    uint8_t buffer[65536];
};

bool ReadPictureFile(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    PictureFile &f = *static_cast<PictureFile *>(file);
    if (bytes > sizeof f.buffer) return false;
    if (offset < f.bufferStart || offset + bytes > f.bufferStart + f.bufferBytes) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        f.bufferStart = offset;
        f.bufferBytes = 0;
        if (!SetFilePointerEx(f.handle, at, nullptr, FILE_BEGIN) ||
            !ReadFile(f.handle, f.buffer, sizeof f.buffer, &got, nullptr) || got < bytes)
            return false;
        f.bufferBytes = got;
    }
    std::memcpy(into, f.buffer + (offset - f.bufferStart), bytes);
    return true;
}

// Opens a picture and checks its headers; `why` says what is wrong.
guards::UniqueKernelHandle OpenPicture(const char *path, BmpLayout &layout, char *why, size_t whyBytes) {
    guards::UniqueKernelHandle file(OrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!file) {
        std::snprintf(why, whyBytes, "cannot be opened (error %lu)", GetLastError());
        return file;
    }
    LARGE_INTEGER size;
    uint8_t head[kBmpHeadBytes];
    DWORD got = 0;
    if (!GetFileSizeEx(file.get(), &size) || !ReadFile(file.get(), head, sizeof head, &got, nullptr)) {
        std::snprintf(why, whyBytes, "cannot be read (error %lu)", GetLastError());
        file.reset();
    } else if (!CheckBmp24(head, got, static_cast<uint64_t>(size.QuadPart), layout, why, whyBytes)) {
        file.reset();
    }
    return file;
}

}  // namespace

bool CheckBmp24(const uint8_t *head, size_t headBytes, uint64_t fileSize, BmpLayout &layout,
                char *why, size_t whyBytes) {
    auto refuse = [why, whyBytes](const char *format, auto... values) {
        if (why != nullptr && whyBytes > 0) std::snprintf(why, whyBytes, format, values...);
        return false;
    };
    if (head == nullptr || headBytes < kBmpHeadBytes || fileSize < kBmpHeadBytes)
        return refuse("truncated: %llu bytes, fewer than a BMP file's %u header bytes",
                      static_cast<unsigned long long>(fileSize), static_cast<unsigned>(kBmpHeadBytes));
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    std::memcpy(&file, head, sizeof file);
    std::memcpy(&info, head + sizeof file, sizeof info);
    if (file.bfType != bmp::kType) return refuse("not a BMP file (it does not start with BM)");
    const uint32_t declaredSize = file.bfSize;
    const uint32_t pixelOffset = file.bfOffBits;
    const uint32_t infoSize = info.biSize;
    const int64_t width = info.biWidth;
    const int64_t height = info.biHeight;
    const unsigned bitCount = info.biBitCount;
    const uint32_t compression = info.biCompression;
    if (infoSize < bmp::kInfoHeaderBytes) return refuse("an info header of %u bytes; only Windows BMP headers (40 bytes or more) are read", infoSize);
    if (bitCount != 24) return refuse("bit depth %u; only 24-bit pictures are played", bitCount);
    if (compression != 0) return refuse("compressed (compression %u); only uncompressed pictures are played", compression);
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0)
        return refuse("its header's sizes lie: %lld x %lld pixels", static_cast<long long>(width),
                      static_cast<long long>(height));
    if (width > kMaxPictureSide || rows > kMaxPictureSide)
        return refuse("%lld x %lld pixels, larger than %d x %d", static_cast<long long>(width),
                      static_cast<long long>(rows), kMaxPictureSide, kMaxPictureSide);
    const uint64_t headers = bmp::kFileHeaderBytes + uint64_t{infoSize};
    if (pixelOffset < headers)
        return refuse("its header's sizes lie: the pixels start at byte %u, inside its %llu header bytes",
                      pixelOffset, static_cast<unsigned long long>(headers));
    const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    // The last row's padding may be left out.
    const uint64_t needed = pixelOffset + stride * static_cast<uint64_t>(rows - 1) + static_cast<uint64_t>(width) * 3;
    if (needed > fileSize) {
        if (declaredSize > fileSize)
            return refuse("truncated: %llu of the %u bytes its header gives",
                          static_cast<unsigned long long>(fileSize), declaredSize);
        return refuse("its header's sizes lie: %lld x %lld pixels from byte %u need %llu bytes, the file has %llu",
                      static_cast<long long>(width), static_cast<long long>(rows), pixelOffset,
                      static_cast<unsigned long long>(needed), static_cast<unsigned long long>(fileSize));
    }
    layout = BmpLayout{static_cast<int>(width), static_cast<int>(rows), height > 0, pixelOffset, stride};
    return true;
}

Window FitInFrame(int width, int height) {
    if (width <= 0 || height <= 0) return Window{0, 0, 0, 0};
    int64_t w = kSceneWidth, h = kSceneHeight;
    // Wider than 4:3 fills the width, narrower the height; rounded to nearest.
    if (int64_t{width} * kSceneHeight >= int64_t{height} * kSceneWidth) {
        h = (2 * int64_t{height} * kSceneWidth + width) / (2 * int64_t{width});
    } else {
        w = (2 * int64_t{width} * kSceneHeight + height) / (2 * int64_t{height});
    }
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    return Window{static_cast<int>((kSceneWidth - w) / 2), static_cast<int>((kSceneHeight - h) / 2),
                  static_cast<int>(w), static_cast<int>(h)};
}

bool DrawFitted(const BmpLayout &layout, ReadAt read, void *file, Picture &out) {
    const Window fit = FitInFrame(layout.width, layout.height);
    int columns[kSceneWidth];
    for (int x = 0; x < fit.width; ++x) columns[x] = SourceIndex(x, fit.width, 0, layout.width) * 3;
    uint8_t row[kMaxPictureSide * 3];
    const size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    int loadedRow = -1;
    std::memset(out.bgr, 0, kSceneBytes);
    for (int i = 0; i < fit.height; ++i) {
        // Bottom-up files hold the bottom row first: draw them from the bottom.
        const int y = layout.bottomUp ? fit.height - 1 - i : i;
        const int fromTop = SourceIndex(y, fit.height, 0, layout.height);
        const int fileRow = layout.bottomUp ? layout.height - 1 - fromTop : fromTop;
        if (fileRow != loadedRow) {
            if (!read(file, layout.pixelOffset + layout.stride * static_cast<uint64_t>(fileRow), row, rowBytes))
                return false;
            loadedRow = fileRow;
        }
        uint8_t *dst = out.bgr + (fit.top + y) * kSceneRowBytes + fit.left * 3;
        for (int x = 0; x < fit.width; ++x, dst += 3) std::memcpy(dst, row + columns[x], 3);
    }
    return true;
}

bool NameBefore(const std::string &a, const std::string &b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    auto caselessLess = [&](char x, char y) {
        return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), caselessLess)) return true;
    const bool caselessAfter =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), caselessLess);
    return !caselessAfter && a < b;
}

bool CheckPictureFile(const char *path, char *why, size_t whyBytes) {
    BmpLayout layout;
    return OpenPicture(path, layout, why, whyBytes).valid();
}

bool LoadPicture(const char *path, Picture &picture, char *why, size_t whyBytes) {
    BmpLayout layout;
    guards::UniqueKernelHandle file = OpenPicture(path, layout, why, whyBytes);
    if (!file) return false;
    std::unique_ptr<PictureFile> reader(new (std::nothrow) PictureFile{file.get(), 0, 0, {}});
    if (!reader) {
        std::snprintf(why, whyBytes, "no memory to read it");
        return false;
    }
    if (!DrawFitted(layout, ReadPictureFile, reader.get(), picture)) {
        std::snprintf(why, whyBytes, "could not be read to its end");
        return false;
    }
    return true;
}

void WriteReason(char *reason, int32_t reasonBytes, const char *format, const char *path, const char *why) {
    if (reason != nullptr && reasonBytes > 0) std::snprintf(reason, static_cast<size_t>(reasonBytes), format, path, why);
}

bool ListFolderPictures(const char *folder, std::vector<std::string> &paths, char *reason,
                        int32_t reasonBytes) {
    paths.clear();
    if (folder == nullptr || folder[0] == '\0') {
        WriteReason(reason, reasonBytes, "no folder given%s", "");
        return false;
    }
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        WriteReason(reason, reasonBytes, "%s: no such folder", folder);
        return false;
    }
    std::string prefix = folder;
    if (prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';

    WIN32_FIND_DATAA found;
    guards::UniqueFind find(OrNull(FindFirstFileA((prefix + "*").c_str(), &found)));
    // Matched by hand: a wildcard "*.bmp" would also match names like "a.bmpx".
    for (bool more = find.valid(); more; more = FindNextFileA(find.get(), &found) != 0)
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsBmpName(found.cFileName))
            paths.push_back(found.cFileName);
    find.reset();
    if (paths.empty()) {
        WriteReason(reason, reasonBytes, "%s holds no .bmp file", folder);
        return false;
    }
    std::sort(paths.begin(), paths.end(), NameBefore);
    for (std::string &path : paths) {
        path = prefix + path;
        char why[256];
        if (!CheckPictureFile(path.c_str(), why, sizeof why)) {
            WriteReason(reason, reasonBytes, "%s: %s", path.c_str(), why);
            return false;
        }
    }
    return true;
}

}  // namespace vcard
