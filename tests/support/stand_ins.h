// Stand-ins for single platform services and for the host's error handler.
#pragma once

#include "platform/services.h"
#include "tavlo/tavlo.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavlo::test {

// A module service whose only module is a string table held in memory; everything else is
// passed to the real service of the build.
class StringTableModules final : public platform::ModuleService {
public:
    explicit StringTableModules(std::map<std::uint32_t, std::u16string> strings);

    platform::ModuleHandle table() { return &strings_; }

    platform::ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(platform::ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(platform::ModuleHandle module, std::uint16_t ordinal) override;
    void free(platform::ModuleHandle module) override;
    platform::ModuleHandle moduleContaining(const void* address) override;
    std::uint32_t moduleFileName(platform::ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(platform::ModuleHandle module, std::uint32_t id) override;

    std::vector<std::u16string> loads; // what was asked to load, in order
    int frees = 0;

private:
    std::map<std::uint32_t, std::u16string> strings_;
    platform::ModuleService& real_;
};

// Records every DisplayError call.
class RecordingHandler final : public TavloErrorHandler {
public:
    struct Call {
        std::u16string message;
        std::u16string caption;
        std::uint32_t style;
        std::int32_t reserved;
    };
    std::vector<Call> calls;

    int DisplayError(const TavloChar* message, const TavloChar* caption, std::uint32_t style,
                     std::int32_t reserved) override;
    ~RecordingHandler() = default;
};

// Records message boxes instead of showing them.
class RecordingUi final : public platform::UiService {
public:
    std::vector<std::u16string> boxes;
    void messageBox(const char16_t* text) override { boxes.emplace_back(text ? text : u""); }
};

// Services of the build with some replaced.
platform::Services servicesWith(platform::ModuleService* modules,
                                platform::UiService* ui = nullptr);

} // namespace tavlo::test
