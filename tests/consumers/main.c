/* Prints what the flat interface answers for the registry the program runs on. */
#include <tavlo/tavlo.h>

#include <stdio.h>

#ifdef _WIN32
#define T(text) L##text
#else
#define T(text) u##text
#endif

static void print(const char* label, const TavloChar* text) {
    printf("%s: ", label);
    for (; *text; ++text)
        putchar(*text < 0x80 ? (char)*text : '?');
    putchar('\n');
}

int main(void) {
    TavloChar buffer[260];
    TavloBool kora = 0;
    print("app key", _GetAppKey(NULL));
    print("plotters directory", _GetPlottersDirectory());
    if (IsKORAApp(&kora) != 0)
        return 1;
    printf("corvida: %d\n", kora);
    printf("product name: %s\n",
           _GetHKeyLocalMachineString(buffer, T("ProductName"), 260) == TAVLO_Success ? "read"
                                                                                      : "failed");
    print("as read", buffer);
    printf("tiny buffer: %d\n", (int)_GetHKeyLocalMachineString(buffer, T("ProductName"), 4));
    return 0;
}
