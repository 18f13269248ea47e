/* The viewer's window class and control ids, for programs that drive it
 * (tests, scripts): find the window by class, its controls by id. */
#ifndef VIEWER_CONTROLS_H
#define VIEWER_CONTROLS_H

#define VIEWER_WINDOW_CLASS "VorlaneViewer"

#define ID_START 101
#define ID_STOP 102
#define ID_SAVE 103
#define ID_GREY 104
#define ID_RESET 105
#define ID_HEIGHT 106
#define ID_MODE 107
#define ID_PANEL 108
#define ID_STATUS 109

#endif /* VIEWER_CONTROLS_H */
