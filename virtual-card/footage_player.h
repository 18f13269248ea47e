// Footage: a folder of pictures played in name order at the card's frame
// rate, looping. A thread of its own reads a few pictures ahead of the one
// shown, so a read seldom waits for a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/scene.h"

namespace vcard {

struct Footage;

// Starts reading `paths` (as ListFolderPictures gives them) ahead. nullptr,
// with `reason` naming `folder`, when it cannot.
Footage *StartFootage(std::vector<std::string> paths, const char *folder, char *reason,
                      int32_t reasonBytes);

// Ends the reading ahead, and so closes every file of the folder; the
// pictures already read stay.
void StopLoading(Footage &footage);

// Stops the reading ahead and frees the footage.
void DeleteFootage(Footage *footage);

// Puts picture `number` into the scene, waiting a little for a late one.
// False (the scene unchanged) when it is not there in time or no file is
// left to play.
bool ShowFootagePicture(Footage &footage, int64_t number, Scene &scene);

}  // namespace vcard
