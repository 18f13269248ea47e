// The host thread's two waits on the preview thread: for its first painted
// frame and for its end.
#pragma once

// Clears runRequested and waits for the preview thread to end.
void StopPreview();

// Waits, at most VORLANE_FIRST_FRAME_WAIT_MS, until the preview has painted a
// frame or has ended; returns at once when no preview was started.
void WaitForFirstFrame();
