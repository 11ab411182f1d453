// The flat exports: plain names, caller buffers and the shared result string, each a thin
// wrapper of one typed operation.
#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/state.h"
#include "help/help_display.h"
#include "help/help_search.h"
#include "identity/identity.h"
#include "identity/notice.h"
#include "settings/named_settings.h"
#include "settings/profile_directories.h"
#include "tavlo/tavlo.h"
#include "values/machine_strings.h"
#include "values/profile.h"

#include <algorithm>

namespace {

using tavlo::frame::state;

const char16_t* text(const TavloChar* in) {
    return reinterpret_cast<const char16_t*>(in);
}

// The shared result string: valid until the next shared-result call, and at the same address
// from the first call on, so that a pointer a caller kept shows the latest result. Its room is
// fixed; a longer result is cut to fit (frame::FlatResult).
const TavloChar* shared(const std::u16string& result) {
    std::unique_ptr<tavlo::frame::FlatResult>& flat = state().flatResult;
    if (!flat)
        flat = std::make_unique<tavlo::frame::FlatResult>();
    flat->assign(result);
    return reinterpret_cast<const TavloChar*>(flat->c_str());
}

// An answer written into the library's scratch string, whose storage is kept from call to
// call, and then into the shared result: no allocation on the way. A call made while another
// has the scratch string (from an error handler the other's report called) writes into a string
// of its own, so that the other's answer is whole when it is copied.
const TavloChar* sharedWritten(void (*write)(std::u16string&)) {
    tavlo::frame::LibraryState& s = state();
    if (s.resultScratchBusy) {
        std::u16string own;
        write(own);
        return shared(own);
    }
    struct Hold {
        bool& busy;
        explicit Hold(bool& busy) : busy(busy) { busy = true; }
        ~Hold() { busy = false; }
    } hold(s.resultScratchBusy);
    write(s.resultScratch);
    return shared(s.resultScratch);
}

TavloRetVal sizedCopy(const std::u16string& value, TavloChar* buffer, std::size_t size) {
    if (!buffer)
        return TAVLO_Buffer_Too_Small; // a missing buffer has no room at all
    if (value.size() >= size) {
        if (size > 0)
            buffer[0] = 0;
        return TAVLO_Buffer_Too_Small;
    }
    std::copy(value.begin(), value.end(), buffer);
    buffer[value.size()] = 0;
    return TAVLO_Success;
}

// Callers of the unsized copies allocate path buffers of MAX_PATH units.
constexpr std::size_t kUnsizedCapacity = 260;

using DirectoryReader = TavloRetVal (*)(std::u16string&, const char16_t*, const char16_t*,
                                        const char16_t*);

// A directory operation's result copied into a caller's buffer; the buffer is written only when
// the operation succeeded.
TavloRetVal directoryCopy(DirectoryReader read, TavloChar* buffer, std::size_t size,
                          const TavloChar* section, const TavloChar* name,
                          const TavloChar* subFolder) {
    std::u16string directory;
    const TavloRetVal result = read(directory, text(section), text(name), text(subFolder));
    if (result != TAVLO_Success)
        return result;
    return sizedCopy(directory, buffer, size);
}

} // namespace

TAVLO_EXTERN_C TAVLO_API void tavlo_SetErrorHandler(TavloErrorHandler* handler) {
    state().errorHandler = handler;
}

TAVLO_EXTERN_C TAVLO_API const TavloChar* _GetAppKey(const TavloChar* name) {
    const std::u16string caller(name ? text(name) : u"");
    return shared(tavlo::appkey::GetAppKey(caller.c_str()));
}

TAVLO_EXTERN_C TAVLO_API int32_t SetAppKey(const TavloChar* name) {
    return tavlo::appkey::SetAppKey(text(name));
}

TAVLO_EXTERN_C TAVLO_API int32_t SetAppKeyFromPlotterWizardOnly(int32_t flag) {
    return tavlo::appkey::SetAppKeyFromPlotterWizardOnly(flag);
}

TAVLO_EXTERN_C TAVLO_API int32_t IsKORAApp(TavloBool* isKora) {
    bool answer = false;
    const int32_t result = tavlo::appkey::IsKORAApp(&answer);
    if (result == 0 && isKora)
        *isKora = answer ? 1 : 0;
    return result;
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetHKeyLocalMachineString(TavloChar* buffer,
                                                                const TavloChar* name,
                                                                uint32_t size) {
    std::u16string value;
    if (const auto failure = tavlo::registry::readMachineString(value, text(name), size)) {
        tavlo::frame::ReportError(failure.error);
        return TAVLO_Failure;
    }
    return sizedCopy(value, buffer, size);
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileStr(TavloChar* buffer, const TavloChar* section,
                                                    const TavloChar* name, uint32_t size) {
    std::u16string value;
    if (tavlo::registry::readProfileStr(value, text(section), text(name), size))
        return TAVLO_Failure;
    return sizedCopy(value, buffer, size);
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal GetProfileDWord(uint32_t* value, const TavloChar* section,
                                                     const TavloChar* name) {
    return tavlo::registry::GetProfileDWord(value, text(section), text(name));
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal __GetProfileDirectory(TavloChar* buffer, size_t size,
                                                           const TavloChar* section,
                                                           const TavloChar* name,
                                                           const TavloChar* subFolder) {
    return directoryCopy(tavlo::settings::GetProfileDirectory, buffer, size, section, name,
                         subFolder);
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileDirectory(TavloChar* buffer,
                                                          const TavloChar* section,
                                                          const TavloChar* name,
                                                          const TavloChar* subFolder) {
    return directoryCopy(tavlo::settings::GetProfileDirectory, buffer, kUnsizedCapacity, section,
                         name, subFolder);
}

TAVLO_EXTERN_C TAVLO_API TavloRetVal _GetProfileDirectoryFromPathname(TavloChar* buffer,
                                                                      const TavloChar* section,
                                                                      const TavloChar* name,
                                                                      const TavloChar* subFolder) {
    return directoryCopy(tavlo::settings::GetProfileDirectoryFromPathname, buffer, kUnsizedCapacity,
                         section, name, subFolder);
}

#define TAVLO_SHARED_RESULT(exportName, getter)                                                    \
    TAVLO_EXTERN_C TAVLO_API const TavloChar* exportName(void) {                                   \
        return shared(getter());                                                                   \
    }
#define TAVLO_SHARED_WRITTEN(exportName, writer)                                                   \
    TAVLO_EXTERN_C TAVLO_API const TavloChar* exportName(void) {                                   \
        return sharedWritten(writer);                                                              \
    }

TAVLO_SHARED_WRITTEN(_GetDriverDirectory, tavlo::settings::GetDriverDirectory)
TAVLO_SHARED_WRITTEN(_GetPlottersDirectory, tavlo::settings::GetPlottersDirectory)
TAVLO_SHARED_WRITTEN(_GetPlotStylesDirectory, tavlo::settings::GetPlotStylesDirectory)
TAVLO_SHARED_WRITTEN(_GetPMPDirectory, tavlo::settings::GetPMPDirectory)
TAVLO_SHARED_WRITTEN(_GetPlotSpoolerDirectory, tavlo::settings::GetPlotSpoolerDirectory)
TAVLO_SHARED_WRITTEN(_GetHelpDirectory, tavlo::settings::GetHelpDirectory)
TAVLO_SHARED_WRITTEN(_GetLogFileDirectory, tavlo::settings::GetLogFileDirectory)
TAVLO_SHARED_WRITTEN(_GetSupportFileSearchPath, tavlo::settings::GetSupportFileSearchPath)
TAVLO_SHARED_WRITTEN(_GetDefaultPlotStyleTable, tavlo::settings::GetDefaultPlotStyleTable)
TAVLO_SHARED_WRITTEN(_GetAutospoolCommandString, tavlo::settings::GetAutospoolCommandString)
TAVLO_SHARED_WRITTEN(_GetDefaultPlotToFile, tavlo::settings::GetDefaultPlotToFile)
TAVLO_SHARED_WRITTEN(_GetDefaultLoginName, tavlo::settings::GetDefaultLoginName)
TAVLO_SHARED_WRITTEN(_GetAppDirectory, tavlo::identity::GetAppDirectory)
TAVLO_SHARED_WRITTEN(_GetLanguage, tavlo::identity::GetLanguage)
TAVLO_SHARED_WRITTEN(_GetProductName, tavlo::identity::GetProductName)
TAVLO_SHARED_RESULT(_GetProgramName, tavlo::identity::GetProgramName)
TAVLO_SHARED_RESULT(_GetCompanyName, tavlo::identity::GetCompanyName)
TAVLO_SHARED_RESULT(_GetProductBaseName, tavlo::identity::GetProductBaseName)

TAVLO_EXTERN_C TAVLO_API TavloRetVal CheckForBackDoorDriver(const TavloChar* driverName,
                                                            TavloChar* buffer, int32_t* size,
                                                            TavloBool* available) {
    std::u16string notice;
    const bool found = tavlo::identity::IsBackDoorDriverAvailable(text(driverName), notice);
    if (available)
        *available = found ? 1 : 0;
    const std::size_t capacity = size && *size > 0 ? static_cast<std::size_t>(*size) : 0;
    TavloRetVal result = TAVLO_Success;
    if (buffer && notice.size() < capacity) {
        std::copy(notice.begin(), notice.end(), buffer);
        buffer[notice.size()] = 0;
    } else {
        if (buffer && capacity > 0)
            buffer[0] = 0;
        result = TAVLO_Buffer_Too_Small;
    }
    if (size)
        *size = static_cast<int32_t>(notice.size() + 1);
    return result;
}

TAVLO_EXTERN_C TAVLO_API TavloBool FindFilePath(const TavloChar* directory, const TavloChar* name,
                                                TavloChar* buffer, size_t size) {
    return tavlo::help::FindFilePath(text(directory), text(name),
                                     reinterpret_cast<char16_t*>(buffer), size)
               ? 1
               : 0;
}

TAVLO_EXTERN_C TAVLO_API TavloBool FindFile(const TavloChar* directory, const TavloChar* name,
                                            TavloChar* buffer) {
    return FindFilePath(directory, name, buffer, tavlo::help::kNoLimit);
}

TAVLO_EXTERN_C TAVLO_API TavloBool _DoHelp(void* window, const TavloChar* file, uintptr_t data,
                                           uint32_t command) {
    return tavlo::help::DoHelp(window, text(file), data, command) ? 1 : 0;
}

TAVLO_EXTERN_C TAVLO_API TavloBool _DoHtmlHelp(const TavloChar* file, const TavloChar* topic,
                                               int32_t command) {
    return tavlo::help::DoHtmlHelp(text(file), text(topic), command) ? 1 : 0;
}
