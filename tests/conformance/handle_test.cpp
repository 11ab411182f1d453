// The owner of keys, modules and listings: whatever moves, resets and releases happen, each
// handle is closed exactly once, through the service that opened it, or never once released.
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using namespace tavlo::platform;

// One service of each kind, logging what it is asked to close.
struct ClosingServices final : RegistryService, ModuleService, FileService {
    std::vector<void*> closed;

    void closeKey(KeyHandle key) override { closed.push_back(key); }
    void free(ModuleHandle module) override { closed.push_back(module); }
    void closeDirectory(DirHandle listing) override { closed.push_back(listing); }

    Status openKey(Root, const char16_t*, KeyHandle*) override { return status::invalid_handle; }
    Status queryValue(KeyHandle, const char16_t*, std::uint32_t*, std::uint8_t*,
                      std::uint32_t*) override {
        return status::invalid_handle;
    }
    Status enumValue(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*, std::uint32_t*,
                     std::uint8_t*, std::uint32_t*) override {
        return status::invalid_handle;
    }
    Status enumKey(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*) override {
        return status::invalid_handle;
    }
    ModuleHandle load(const char16_t*) override { return nullptr; }
    ModuleHandle loadResources(const char16_t*) override { return nullptr; }
    void* entryPoint(ModuleHandle, const char*) override { return nullptr; }
    void* entryPointByOrdinal(ModuleHandle, std::uint16_t) override { return nullptr; }
    ModuleHandle moduleContaining(const void*) override { return nullptr; }
    std::uint32_t moduleFileName(ModuleHandle, char16_t*, std::uint32_t) override { return 0; }
    std::u16string loadString(ModuleHandle, std::uint32_t) override { return {}; }
    Status openDirectory(const char16_t*, DirHandle*, DirEntry&) override {
        return status::invalid_handle;
    }
    bool nextEntry(DirHandle, DirEntry&) override { return false; }
    bool exists(const char16_t*) override { return false; }
};

template <typename Traits> class HandleTest : public ::testing::Test {};
using AllTraits = ::testing::Types<KeyTraits, ModuleTraits, ListingTraits>;
TYPED_TEST_SUITE(HandleTest, AllTraits);

TYPED_TEST(HandleTest, ClosesEachOnceOrNever) {
    using H = Handle<TypeParam>;
    using Closed = std::vector<void*>;
    void* const one = reinterpret_cast<void*>(0x10);
    void* const two = reinterpret_cast<void*>(0x20);
    // run returns what was closed while its handles still lived.
    const struct {
        const char* what;
        std::function<Closed(ClosingServices&)> run;
        Closed inScope, after;
    } cases[] = {
        {"going out of scope",
         [&](ClosingServices& s) {
             H a(s, one);
             return s.closed;
         },
         {},
         {one}},
        {"null owns nothing",
         [&](ClosingServices& s) {
             H a(s, nullptr);
             EXPECT_FALSE(a);
             EXPECT_EQ(a.service(), nullptr);
             return s.closed;
         },
         {},
         {}},
        {"moved into a new one",
         [&](ClosingServices& s) {
             H a(s, one);
             H b(std::move(a));
             EXPECT_FALSE(a);
             EXPECT_EQ(b.get(), one);
             return s.closed;
         },
         {},
         {one}},
        {"moved over one that owns",
         [&](ClosingServices& s) {
             H a(s, one), b(s, two);
             b = std::move(a);
             return s.closed;
         },
         {two},
         {two, one}},
        {"moved onto itself",
         [&](ClosingServices& s) {
             H a(s, one);
             H& alias = a;
             a = std::move(alias);
             EXPECT_EQ(a.get(), one);
             return s.closed;
         },
         {},
         {one}},
        {"reset twice",
         [&](ClosingServices& s) {
             H a(s, one);
             a.reset();
             a.reset();
             EXPECT_FALSE(a);
             return s.closed;
         },
         {one},
         {one}},
        {"reset to another",
         [&](ClosingServices& s) {
             H a(s, one);
             a.reset(s, two);
             return s.closed;
         },
         {one},
         {one, two}},
        {"released",
         [&](ClosingServices& s) {
             H a(s, one);
             EXPECT_EQ(a.release(), one);
             EXPECT_EQ(a.service(), nullptr);
             return s.closed;
         },
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClosingServices services;
        EXPECT_EQ(c.run(services), c.inScope);
        EXPECT_EQ(services.closed, c.after);
    }
}

} // namespace
