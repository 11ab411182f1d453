/* tavlo: the flat interface of tavlo9.dll / libtavlo9.so, usable from C (C99 and later) and C++.
 *
 * Strings are UTF-16: wchar_t on Windows, char16_t in C++ elsewhere, uint_least16_t in C
 * elsewhere (the type of C11's char16_t). Buffer sizes count UTF-16 units and include the
 * terminating null. */
#ifndef TAVLO_TAVLO_H
#define TAVLO_TAVLO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t TavloChar;
#elif defined(__cplusplus)
typedef char16_t TavloChar;
#else
typedef uint_least16_t TavloChar;
#endif

#if defined(TAVLO_STATIC)
#define TAVLO_API
#elif defined(_WIN32)
#if defined(TAVLO_BUILDING_LIBRARY)
#define TAVLO_API __declspec(dllexport)
#else
#define TAVLO_API __declspec(dllimport)
#endif
#else
#define TAVLO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define TAVLO_EXTERN_C extern "C"
#else
#define TAVLO_EXTERN_C
#endif

/* Results of the operations that don't return a string. */
typedef enum TavloRetVal {
    TAVLO_Success = 0,         /* outputs are filled */
    TAVLO_Failure = 1,         /* a key or value the operation needed could not be read */
    TAVLO_Buffer_Too_Small = 2 /* CheckForBackDoorDriver only: the needed size is handed back */
} TavloRetVal;

/* The host's error handler. The library calls only the third virtual operation, DisplayError,
 * with the message, the caption, the message-box style 48 (exclamation icon, OK button) and 0;
 * its result is ignored. What the first two operations are is the host's affair; the library
 * never calls them and never deletes the handler. */
#ifdef __cplusplus
class TavloErrorHandler {
public:
    virtual int DisplayInformation(const TavloChar* message, const TavloChar* caption,
                                   uint32_t style, int32_t reserved) {
        (void)message, (void)caption, (void)style, (void)reserved;
        return 0;
    }
    virtual int DisplayWarning(const TavloChar* message, const TavloChar* caption, uint32_t style,
                               int32_t reserved) {
        (void)message, (void)caption, (void)style, (void)reserved;
        return 0;
    }
    virtual int DisplayError(const TavloChar* message, const TavloChar* caption, uint32_t style,
                             int32_t reserved) = 0;

protected:
    /* Not virtual, so that the table holds exactly the three operations above in every ABI;
     * the library never destroys a handler. */
    ~TavloErrorHandler() {}
};
#else
/* From C: an object whose first member points at a table of three functions, each taking the
 * object itself first. */
typedef struct TavloErrorHandler TavloErrorHandler;
typedef struct TavloErrorHandlerVtbl {
    int (*DisplayInformation)(TavloErrorHandler* self, const TavloChar* message,
                              const TavloChar* caption, uint32_t style, int32_t reserved);
    int (*DisplayWarning)(TavloErrorHandler* self, const TavloChar* message,
                          const TavloChar* caption, uint32_t style, int32_t reserved);
    int (*DisplayError)(TavloErrorHandler* self, const TavloChar* message, const TavloChar* caption,
                        uint32_t style, int32_t reserved);
} TavloErrorHandlerVtbl;
struct TavloErrorHandler {
    const TavloErrorHandlerVtbl* vtbl;
};
#endif

/* Installs the host's error handler; null removes it. Only the pointer is kept. */
TAVLO_EXTERN_C TAVLO_API void tavlo_SetErrorHandler(TavloErrorHandler* handler);

#endif /* TAVLO_TAVLO_H */
