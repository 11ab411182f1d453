/* A host written in C installs the error handler tavlo.h documents for C: a struct whose first
 * member points to a table of three functions. An error the library reports must reach the
 * table's third function, with the object itself, the message and caption from the resource
 * module, 48 and 0; the other two are never called, and a removed handler hears nothing more.
 * Runs on the registry named by the test (natively) or the prefix's (under Wine), where no host
 * application is installed: asking for the app key reports that it can't be determined. */
#include <tavlo/tavlo.h>

#include <stdio.h>
#include <string.h>

typedef struct Recorder {
    TavloErrorHandler handler; /* first, as the library reads it */
    int errors;
    int others;
    int wrongSelf;
    char message[1024];
    char caption[128];
    uint32_t style;
    int32_t reserved;
} Recorder;

static Recorder recorder;

static void narrow(char* out, size_t room, const TavloChar* text) {
    size_t n = 0;
    for (; text && text[n] && n + 1 < room; ++n)
        out[n] = text[n] < 0x80 ? (char)text[n] : '?';
    out[n] = '\0';
}

static int displayError(TavloErrorHandler* self, const TavloChar* message, const TavloChar* caption,
                        uint32_t style, int32_t reserved) {
    Recorder* r = (Recorder*)self;
    if (r != &recorder)
        ++recorder.wrongSelf;
    ++recorder.errors;
    narrow(recorder.message, sizeof recorder.message, message);
    narrow(recorder.caption, sizeof recorder.caption, caption);
    recorder.style = style;
    recorder.reserved = reserved;
    return 1;
}

static int displayOther(TavloErrorHandler* self, const TavloChar* message, const TavloChar* caption,
                        uint32_t style, int32_t reserved) {
    (void)self, (void)message, (void)caption, (void)style, (void)reserved;
    ++recorder.others;
    return 0;
}

static const TavloErrorHandlerVtbl table = {displayOther, displayOther, displayError};

static int failures = 0;
static void check(int ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main(void) {
    static const char expected[] =
        "The registry key of the application that started this component could not be "
        "determined.";
    const TavloChar* key;
    recorder.handler.vtbl = &table;
    tavlo_SetErrorHandler(&recorder.handler);

    key = _GetAppKey(NULL);
    check(key != NULL && key[0] == 0, "no app key on a registry without hosts");
    check(recorder.errors == 1, "DisplayError called once");
    check(recorder.others == 0, "the other two operations never called");
    check(recorder.wrongSelf == 0, "the handler object passed first");
    check(strncmp(recorder.message, expected, sizeof expected - 1) == 0, "the message text");
    check(strcmp(recorder.caption, "Plotter Configuration") == 0, "the caption");
    check(recorder.style == 48 && recorder.reserved == 0, "style 48 and 0");

    tavlo_SetErrorHandler(NULL);
    _GetAppKey(NULL);
    check(recorder.errors == 1, "a removed handler is not called");

    if (failures == 0)
        printf("the C handler got: %s\n", recorder.message);
    return failures == 0 ? 0 : 1;
}
