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

/* A one-byte boolean: 0 false, 1 true. */
typedef unsigned char TavloBool;

/* Results of the operations that don't return a string. */
typedef enum TavloRetVal {
    TAVLO_Success = 0,         /* outputs are filled */
    TAVLO_Failure = 1,         /* a key or value the operation needed could not be read */
    TAVLO_Buffer_Too_Small = 2 /* CheckForBackDoorDriver only: the needed size is handed back */
} TavloRetVal;

/* The host's error handler. The library calls only the third operation, DisplayError, with the
 * message, the caption, the message-box style 48 (exclamation icon, OK button) and 0; its result
 * is ignored. What the first two operations are is the host's affair; the library never calls
 * them and never deletes the handler.
 *
 * C and C++ hosts share one layout: the object's first member points at a table of the three
 * operations in the order below, each a function taking the object itself first. The library
 * calls DisplayError through that table, the same way for both: a C host fills the table
 * itself (TavloErrorHandlerVtbl); a C++ class derived from TavloErrorHandler gets it from its
 * compiler, whose table of virtual operations has this layout on every platform the library
 * is built for (g++ and MinGW, and Microsoft's x64 ABI). */
#ifdef __cplusplus
class TavloErrorHandler;
#else
typedef struct TavloErrorHandler TavloErrorHandler;
#endif
typedef struct TavloErrorHandlerVtbl {
    int (*DisplayInformation)(TavloErrorHandler* self, const TavloChar* message,
                              const TavloChar* caption, uint32_t style, int32_t reserved);
    int (*DisplayWarning)(TavloErrorHandler* self, const TavloChar* message,
                          const TavloChar* caption, uint32_t style, int32_t reserved);
    int (*DisplayError)(TavloErrorHandler* self, const TavloChar* message, const TavloChar* caption,
                        uint32_t style, int32_t reserved);
} TavloErrorHandlerVtbl;
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
/* From C: the object begins with the pointer to its table; what follows is the host's. */
struct TavloErrorHandler {
    const TavloErrorHandlerVtbl* vtbl;
};
#endif

/* Installs the host's error handler; null removes it. Only the pointer is kept. */
TAVLO_EXTERN_C TAVLO_API void tavlo_SetErrorHandler(TavloErrorHandler* handler);

/* Buffers and results.
 *
 * Sized copies (the exports that take a buffer and its size) write the result with its
 * terminating null. When it doesn't fit they write nothing past the size, leave the buffer's
 * first unit a null (when the size is at least 1) and return TAVLO_Buffer_Too_Small; a null
 * buffer counts as one without room. When the
 * operation fails they return its result and leave the buffer untouched.
 *
 * Exports that return const TavloChar* hand back the library's one shared result string: the
 * text stays valid and unchanged until the next call of any such export, which replaces it in
 * place: the pointer never moves while the library is loaded and then shows the new text. A
 * result longer than 32767 units is cut to its first 32767 (one fewer rather than half a
 * surrogate pair). Copy it before calling another. It is never null; a failed lookup gives the
 * empty text. */

/* C++ exceptions that can leave the flat exports.
 *
 * The library is written in C++ and hands two kinds of exception on to its caller instead of
 * deciding for the host what they mean. A C host, or a C++ host built without exceptions, can't
 * catch them: it must either make sure they can't happen or call these exports from a C++ layer
 * of its own that catches them (an exception that meets a C frame ends the process).
 *
 * - TAVLO_AppKey_Error (tavlo.hpp) when discovery of the app key fails in the registered-
 *   application catalogue: a file association names a host program, no product hook answers,
 *   and the catalogue is missing, can't be read, or lists no installed application. Discovery
 *   runs while no app key is known (the key is cached once found, a failure is not), from these
 *   exports:
 *     IsKORAApp, __GetProfileDirectory, _GetProfileDirectory, _GetProfileDirectoryFromPathname,
 *     _GetDriverDirectory, _GetPlotSpoolerDirectory, _GetHelpDirectory, _GetLogFileDirectory,
 *     _GetSupportFileSearchPath, _GetAutospoolCommandString, _GetAppDirectory, and _DoHtmlHelp
 *     with a null file (the default help file).
 *   The other exports that need the key (_GetAppKey, SetAppKey, SetAppKeyFromPlotterWizardOnly,
 *   and those that read below the key) report the failure through the error handler instead.
 *   A host that calls SetAppKey first, and goes on only when it returns 0, never meets it.
 * - std::bad_alloc from every export except tavlo_SetErrorHandler, when memory runs out.
 *
 * TAVLO_Key_Error and TAVLO_Entry_Error never leave a flat export: they become TAVLO_Failure
 * results and reports. */

/* The host's app key: the registry key, relative to HKEY_LOCAL_MACHINE, below which it keeps
 * its settings; found on first use and cached for the life of the process. name is not used.
 * A key that can't be found is reported through the error handler and gives the empty text. */
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetAppKey(const TavloChar* name);
/* Makes sure the app key is known now: 0, or 1 after reporting why not. name is not used. */
TAVLO_EXTERN_C TAVLO_API int32_t SetAppKey(const TavloChar* name);
/* SetAppKey considering only the registrations the plotter wizard marked, when it is the call
 * that finds the key. */
TAVLO_EXTERN_C TAVLO_API int32_t SetAppKeyFromPlotterWizardOnly(int32_t flag);
/* Whether the host is the Corvida product: 0 with *isKora set, or 1 (no key could be found). */
TAVLO_EXTERN_C TAVLO_API int32_t IsKORAApp(TavloBool* isKora);
/* A machine-wide REG_SZ value below the app key (name null: the key's default value). size is
 * the buffer's size and the first read's size. A key or value that can't be read is reported
 * through the error handler and gives TAVLO_Failure. */
TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetHKeyLocalMachineString(TavloChar* buffer,
                                                                const TavloChar* name,
                                                                uint32_t size);
/* A REG_SZ value of a section of the user's current profile; TAVLO_Failure, unreported, when it
 * can't be read. */
TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileStr(TavloChar* buffer, const TavloChar* section,
                                                    const TavloChar* name, uint32_t size);
/* A REG_DWORD value of a section of the user's current profile, read straight into *value;
 * TAVLO_Failure, unreported, when it can't be read (a value of another type that fits in four
 * bytes is still written). */
TAVLO_EXTERN_C TAVLO_API TavloRetVal GetProfileDWord(uint32_t* value, const TavloChar* section,
                                                     const TavloChar* name);

/* Directories kept in the current profile, with their defaults ("Plotters" and "Plot Styles"
 * below the user's roamable root folder, any other sub-folder below the application directory).
 * Trailing backslashes are removed. TAVLO_Failure when not even the default can be built.
 * __GetProfileDirectory takes the buffer's size. The two unsized forms assume a buffer of at
 * least 260 units (MAX_PATH), as their callers allocate: a directory that doesn't fit is not
 * copied, the buffer gets the empty text and the result is TAVLO_Buffer_Too_Small. */
TAVLO_EXTERN_C TAVLO_API TavloRetVal __GetProfileDirectory(TavloChar* buffer, size_t size,
                                                           const TavloChar* section,
                                                           const TavloChar* name,
                                                           const TavloChar* subFolder);
TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileDirectory(TavloChar* buffer,
                                                          const TavloChar* section,
                                                          const TavloChar* name,
                                                          const TavloChar* subFolder);
/* The value holds a file's pathname; the directory is its drive and folder. */
TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileDirectoryFromPathname(TavloChar* buffer,
                                                                      const TavloChar* section,
                                                                      const TavloChar* name,
                                                                      const TavloChar* subFolder);

/* The well-known directories, the support file search path (as stored), the plot settings and
 * the product's identity, in the shared result string. */
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetDriverDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetPlottersDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetPlotStylesDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetPMPDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetPlotSpoolerDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetHelpDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetLogFileDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetSupportFileSearchPath(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetDefaultPlotStyleTable(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetAutospoolCommandString(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetDefaultPlotToFile(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetDefaultLoginName(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetAppDirectory(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetLanguage(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetProductName(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetProgramName(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetCompanyName(void);
TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetProductBaseName(void);

/* The plot style policy (default 1) and whether system printers are hidden (default 0). */
TAVLO_EXTERN_C TAVLO_API uint32_t _GetCurrentPlotStylePolicy(void);
TAVLO_EXTERN_C TAVLO_API uint32_t _GetHideSystemPrinters(void);

/* Whether driverName is a registered back-door driver (*available), and its notice with the
 * host product's name inserted. *size holds the buffer's capacity on entry and the notice's
 * length plus one on return. TAVLO_Buffer_Too_Small when the notice doesn't fit (a null
 * buffer has no room): the buffer then holds the empty text (capacity permitting). A driver without
 * a registration gives TAVLO_Success, *available 0 and the empty text. */
TAVLO_EXTERN_C TAVLO_API TavloRetVal CheckForBackDoorDriver(const TavloChar* driverName,
                                                            TavloChar* buffer, int32_t* size,
                                                            TavloBool* available);

/* Searches directory (null: the host's application directory) and below it, depth first, for a
 * file or directory named name without regard to case, skipping hidden, system and offline
 * entries. On a match writes "<directory>\<name as passed>" and returns 1; the buffer is
 * written only then, never past size, and a result that doesn't fit gives 0. FindFile has no
 * size: its buffer must hold the longest result, 260 units plus the name's length. */
TAVLO_EXTERN_C TAVLO_API TavloBool FindFilePath(const TavloChar* directory, const TavloChar* name,
                                                TavloChar* buffer, size_t size);
TAVLO_EXTERN_C TAVLO_API TavloBool FindFile(const TavloChar* directory, const TavloChar* name,
                                            TavloChar* buffer);

/* Windows Help for file (a pathname, or a name looked for in the help directory and below the
 * application directory). command 0 jumps to the topic id data points to; other commands and
 * their data go to Windows Help unchanged. */
TAVLO_EXTERN_C TAVLO_API TavloBool _DoHelp(void* window, const TavloChar* file, uintptr_t data,
                                           uint32_t command);
/* Compiled HTML help: command 0 shows topic (an .htm page of the file), 2 ends the help viewer
 * connection, anything else shows the file; file null: the host's default help file. */
TAVLO_EXTERN_C TAVLO_API TavloBool _DoHtmlHelp(const TavloChar* file, const TavloChar* topic,
                                               int32_t command);

#endif /* TAVLO_TAVLO_H */
