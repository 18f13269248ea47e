/* The viewer's options, as its command line gives them:
 *   vorlane-viewer [--height H] [--mode M] [--start] [--save-to FILE.bmp] */
#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

#include <windows.h>

#define LOWEST_HEIGHT 80
#define HIGHEST_HEIGHT 576
#define HEIGHT_STEP 16
#define MODE_COUNT 4

typedef struct ViewerOptions {
    int height, mode;
    int start;             /* --start: the live picture at once */
    char saveTo[MAX_PATH]; /* --save-to: the path "Save as..." uses without asking */
} ViewerOptions;

/* The options after the program's name; 0 when the line cannot be taken:
 * an unknown word, a value out of range or a path that does not fit. */
int ReadCommandLine(const char *line, ViewerOptions *options);

#endif /* COMMAND_LINE_H */
