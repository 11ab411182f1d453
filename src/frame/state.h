// All process-wide state of the library, in one place, so that a test can start from a freshly
// loaded library: the resource module, the error context, the error handler, the app key cache
// and its companions, and the flat result string. Nothing here is locked: the library is meant
// to be called from one thread at a time, as its hosts always have.
#pragma once

#include "platform/services.h"
#include "tavlo/tavlo.h"

#include <cstdint>
#include <string>

namespace tavlo::frame {

struct LibraryState {
    explicit LibraryState(const platform::Services& services) : services(services) {}

    platform::Services services;

    // The library's own module, and the module every string resource comes from.
    platform::ModuleHandle instance = nullptr;
    platform::ModuleHandle resourceModule = nullptr;

    // Context of the latest raised error; the texts of raised exceptions point into these.
    std::u16string currentOperation;
    std::u16string currentArgument;
    std::u16string sourceMarker;

    TavloErrorHandler* errorHandler = nullptr;

    // The host's app key, once found, and what finding it depends on.
    std::u16string appKeyCache;
    std::u16string keyPrefix = u"SOFTWARE\\";
    std::int32_t wizardOnly = 0;
    // Whether the cached key is Corvida's, as last found, and for which key and case mapping.
    struct KoraAnswer {
        std::u16string key;
        const platform::TextService* text = nullptr;
        bool isKora = false;
    } koraAnswer;

    // What the string-returning flat exports hand back, and where most of them write it first.
    std::u16string flatResult;
    std::u16string resultScratch;
    bool resultScratchBusy = false;
    // The key path a profile read is building, kept so that each read reuses its storage.
    std::u16string profileKeyPath;

    // Help engines: the live help viewer object (null when there is none), and the HTML Help
    // control, which once loaded stays loaded for the process.
    platform::ViewerHandle helpViewer = nullptr;
    platform::ModuleHandle htmlHelpModule = nullptr;
    bool htmlHelpFailed = false;
    void* htmlHelpEntry = nullptr;
};

// The state of the library as loaded in this process.
LibraryState& state();

// Runs the library on a fresh state with the given services until destroyed (tests).
class ScopedState {
public:
    explicit ScopedState(const platform::Services& services);
    ~ScopedState();
    ScopedState(const ScopedState&) = delete;
    ScopedState& operator=(const ScopedState&) = delete;

    LibraryState& get() { return state_; }

private:
    LibraryState state_;
    LibraryState* previous_;
};

} // namespace tavlo::frame
