/* A host that crashes while its preview runs, on purpose: a test program
 * that faults must end at once with Wine's backtrace in its output, not wait
 * for an answer to the crash debugger's dialog. */
#include <stdio.h>

#include "vorlane.h"

static int *volatile nowhere;

int main(void)
{
    printf("preview started: %d; crashing on purpose\n", EasyInit(0, 0, 96, 1));
    fflush(stdout);
    *nowhere = 1;
    return 0;
}
