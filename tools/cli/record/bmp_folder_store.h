// A recording into a folder: numbered 24-bit BMP files (000001.bmp, ...),
// each written under a partial name, flushed, then given its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "picture_store.h"

namespace recording {

// Writes one picture of 24-bit rows, bottom-up, to `path`. Returns 0 when
// the whole file was written, else the Windows error.
using PictureWriter = DWORD (*)(const char *path, const BYTE *bgr, int32_t width, int32_t height);
DWORD WriteBmpPicture(const char *path, const BYTE *bgr, int32_t width, int32_t height);

// Gives a whole picture its name; MoveFileA's signature and errors.
using PictureRenamer = BOOL(WINAPI *)(const char *from, const char *to);
// A reader that has just opened the file (a virus scanner, an indexer) makes
// the rename fail for a moment: it is tried this many times, this far apart.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenameRetryMs = 50;

// File names stay six digits long, so that name order is time order.
constexpr int64_t kMostPictures = 999999;
std::string PictureFileName(int64_t number);
// A picture is written under its name with this added, then renamed.
constexpr char kPartialSuffix[] = ".part";

// `mostPictures`: the pictures the folder's volume takes in one folder
// (volume_room.h); 0 when it says no limit.
std::unique_ptr<PictureStore> MakeBmpFolderStore(std::string folder, FrameFormat format, int64_t mostPictures = 0,
                                                 PictureWriter writer = WriteBmpPicture,
                                                 PictureRenamer renamer = MoveFileA);

}  // namespace recording
