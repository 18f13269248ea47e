/* The viewer's window: its controls, its status line and its buttons. */
#ifndef VIEWER_WINDOW_H
#define VIEWER_WINDOW_H

#include <windows.h>

#include "command_line.h"

/* The window, started afresh (also when run a second time in one process);
 * 0 when it could not be made. */
HWND CreateViewerWindow(HINSTANCE instance, const ViewerOptions *options);

#endif /* VIEWER_WINDOW_H */
