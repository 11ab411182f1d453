// All process-wide state of the library, in one place, so that a test can start from a freshly
// loaded library: the resource module, the error context, the error handler, the app key cache
// and its companions, and the flat result string. Nothing here is locked: the library is meant
// to be called from one thread at a time, as its hosts always have.
#pragma once

#include "frame/fixed_text.h"
#include "platform/services.h"
#include "tavlo/tavlo.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tavlo::frame {

// The flat exports' shared result: 32,767 units, the longest path Windows takes, and more than
// any of their answers holds from a registry that works. A longer result is cut (keptLength).
using FlatResult = FixedText<32767>;

struct LibraryState {
    explicit LibraryState(const platform::Services& services) : services(services) {}

    platform::Services services;

    // The library's own module, and the module every string resource comes from.
    platform::ModuleHandle instance = nullptr;
    platform::ModuleHandle resourceModule = nullptr;

    // Context of the latest raised error; the texts of raised exceptions point into these, and
    // an exception a caller keeps reads them after later errors overwrote them. So they never
    // move: each has a fixed room, which a longer text is cut to fit (keptLength). The texts
    // written are far shorter: operation names, the source marker, registry path texts of at
    // most 100 units.
    static constexpr std::size_t kContextTextLimit = 260;
    FixedText<kContextTextLimit> currentOperation;
    FixedText<kContextTextLimit> currentArgument;
    FixedText<kContextTextLimit> sourceMarker;
    // Where a registry path text is built before it goes into currentArgument; kept so that each
    // error reuses its storage.
    std::u16string argumentScratch;

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

    // What the string-returning flat exports hand back, made on their first call and never
    // moved after, and where most of them write it first.
    std::unique_ptr<FlatResult> flatResult;
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
