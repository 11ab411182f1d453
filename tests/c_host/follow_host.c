/* A host that keeps the library loaded and asks for the same setting again and again, as a plot
 * driver does for hours: the raster threshold of the current profile, printed first and then
 * whenever its answer changes ("-" while the value can't be read). It ends with 0 once it has
 * printed as many answers as its first argument says, or with 1 when its second argument's
 * seconds have passed first. Another process changes the value meanwhile: under Wine through the
 * registry, on Linux by rewriting the prefix's user.reg. */
#include <tavlo/tavlo.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
static void pause50ms(void) {
    Sleep(50);
}
#else
#include <time.h>
static void pause50ms(void) {
    struct timespec wait = {0, 50 * 1000 * 1000};
    nanosleep(&wait, NULL);
}
#endif

static const TavloChar kGeneral[] = {'G', 'e', 'n', 'e', 'r', 'a', 'l', 0};
static const TavloChar kRasterThreshold[] = {'R', 'A', 'S', 'T', 'E', 'R', 'T', 'H',
                                             'R', 'E', 'S', 'H', 'O', 'L', 'D', 0};

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: follow_host ANSWERS SECONDS\n");
        return 2;
    }
    const long answers = atol(argv[1]);
    const long rounds = atol(argv[2]) * 20;
    long printed = 0;
    char last[16] = "";
    for (long round = 0; round < rounds; ++round) {
        uint32_t value = 0;
        char answer[16];
        if (GetProfileDWord(&value, kGeneral, kRasterThreshold) == TAVLO_Success)
            snprintf(answer, sizeof answer, "%lu", (unsigned long)value);
        else
            snprintf(answer, sizeof answer, "-");
        if (printed == 0 || strcmp(answer, last) != 0) {
            printf("%s\n", answer);
            fflush(stdout);
            snprintf(last, sizeof last, "%s", answer);
            if (++printed == answers)
                return 0;
        }
        pause50ms();
    }
    return 1;
}
