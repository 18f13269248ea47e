// Footage: a folder of pictures played in name order at the card's frame
// rate, or an AVI recording's time steps at the file's rate, looping. A
// thread of its own reads a few pictures ahead of the one shown, so a read
// seldom waits for a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/scene.h"

namespace vcard {

struct Footage;
struct MovieFile;

// Starts reading `paths` (as ListFolderPictures gives them) ahead. nullptr,
// with `reason` naming `folder`, when it cannot.
Footage *StartFootage(std::vector<std::string> paths, const char *folder, char *reason,
                      int32_t reasonBytes);

// Starts playing an opened recording; nullptr, with `reason` naming
// `path`, when it cannot.
Footage *StartMovie(std::unique_ptr<MovieFile> movie, const char *path, char *reason, int32_t reasonBytes);

// The picture number the card shows at its frame `cardFrame`: a folder's
// picture a frame, or the recording's step at the file's rate.
int64_t FootageNumber(const Footage &footage, int64_t cardFrame);

// Ends the reading ahead, and so closes every file of the folder or the
// recording; the pictures already read stay.
void StopLoading(Footage &footage);

// Stops the reading ahead and frees the footage.
void DeleteFootage(Footage *footage);

// Puts picture `number` into the scene, waiting a little for a late one.
// False (the scene unchanged) when it is not there in time or no file is
// left to play.
bool ShowFootagePicture(Footage &footage, int64_t number, Scene &scene);

}  // namespace vcard
