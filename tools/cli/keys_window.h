// The small window beside the preview that lists the A/D chords. Vorlane
// reads the chords from the keys that the thread which called EasyInit takes
// from its queue; a console's keys go to the console, not to this thread, so
// the operator presses them in this window. Closing it ends the watch.
#pragma once

#include <windows.h>

namespace cli {

constexpr const char *kKeysWindowTitle = "Vorlane preview keys";

// Made after EasyInit: only then do the keys pressed in it reach Vorlane.
// `virtualCard` adds what the adjustments do on the virtual card. Returns
// false when no window could be made.
bool ShowKeysWindow(const RECT &picture, bool virtualCard);

}  // namespace cli
