// Reading 24-bit BMP files and folders of them into the scene's pictures:
// thin Win32 around the decoding in pure/picture_decoding.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/picture_decoding.h"
#include "core/scene.h"

namespace vcard {

// Checks a picture file's headers; false, with `why`, when it cannot be played.
bool CheckPictureFile(const char *path, char *why, size_t whyBytes);

// Reads a picture fitted into the frame; false, with `why`, when it cannot.
bool LoadPicture(const char *path, Picture &picture, char *why, size_t whyBytes);

// Writes the line a refused folder or file gets, from `format` with up to
// two strings.
void WriteReason(char *reason, int32_t reasonBytes, const char *format, const char *path,
                 const char *why = "");

// The folder's .bmp files with the folder in front, in name order, every
// header checked, so that bad footage is refused before it plays. False,
// with `reason` naming the folder or file, when there is nothing to play.
// Files of nothing but zero bytes are left out, each with a line of its own
// in `reason`.
bool ListFolderPictures(const char *folder, std::vector<std::string> &paths, char *reason,
                        int32_t reasonBytes);

}  // namespace vcard
