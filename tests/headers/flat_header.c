/* The flat header as a C program sees it: compiled as C99, C11 and C17, warnings as errors. */
#include <tavlo/tavlo.h>

/* The declarations must be usable, not only parse. */
int tavloHeaderUse(void) {
    TavloChar buffer[260];
    TavloBool kora = 0;
    tavlo_SetErrorHandler(NULL);
    return _GetAppKey(NULL)[0] + IsKORAApp(&kora) +
           (int)_GetHKeyLocalMachineString(buffer, NULL, 260) + (int)_GetCurrentPlotStylePolicy();
}
