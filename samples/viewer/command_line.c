/* The viewer's command line:
 *   vorlane-viewer [--height H] [--mode M] [--start] [--save-to FILE.bmp] */
#include "command_line.h"

/* The next word of the command line, quotes removed: 1, or 0 at its end,
 * or -1 when it does not fit in `size` (never cut short). */
static int NextWord(const char **line, char *word, int size) {
    const char *p = *line;
    int length = 0, quoted = 0;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return 0;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (length < size - 1)
            word[length++] = *p;
        else
            return -1;
    }
    word[length] = 0;
    *line = p;
    return 1;
}

static int ReadNumber(const char *text, int *value) {
    int result = 0;
    if (!*text) return 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9' || result > 100000) return 0;
        result = result * 10 + (*text - '0');
    }
    *value = result;
    return 1;
}

int ReadCommandLine(const char *line, ViewerOptions *options) {
    char word[MAX_PATH], value[MAX_PATH];
    int read;
    while ((read = NextWord(&line, word, sizeof word)) != 0) {
        if (read < 0) return 0;
        if (lstrcmpA(word, "--start") == 0) {
            options->start = 1;
            continue;
        }
        if (NextWord(&line, value, sizeof value) != 1) return 0;
        if (lstrcmpA(word, "--save-to") == 0) {
            lstrcpynA(options->saveTo, value, MAX_PATH);
        } else if (lstrcmpA(word, "--height") == 0) {
            if (!ReadNumber(value, &options->height) || options->height < LOWEST_HEIGHT ||
                options->height > HIGHEST_HEIGHT || options->height % HEIGHT_STEP)
                return 0;
        } else if (lstrcmpA(word, "--mode") == 0) {
            if (!ReadNumber(value, &options->mode) || options->mode >= MODE_COUNT) return 0;
        } else {
            return 0;
        }
    }
    return 1;
}
