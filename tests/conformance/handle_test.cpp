// The owner of keys, modules and listings: whatever moves, resets and releases happen, each
// handle is closed exactly once, through the service that opened it, or never once released.
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

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
    void* const three = reinterpret_cast<void*>(0x30);
    enum Act { Nothing, HoldNull, MoveNew, MoveOver, MoveSelf, ResetTwice, ResetTo, Release };
    // a owns one and b owns two; what the act closed while they still lived, and what was closed
    // once they were gone.
    const struct {
        Act act;
        Closed inScope, after;
    } cases[] = {
        {Nothing, {}, {two, one}},           {HoldNull, {}, {two, one}},
        {MoveNew, {one}, {one, two}},        {MoveOver, {two}, {two, one}},
        {MoveSelf, {}, {two, one}},          {ResetTwice, {one}, {one, two}},
        {ResetTo, {one}, {one, two, three}}, {Release, {}, {two}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "act " << c.act);
        ClosingServices s;
        {
            H a(s, one), b(s, two);
            if (c.act == HoldNull) {
                H null(s, nullptr);
                EXPECT_FALSE(null);
                EXPECT_EQ(null.service(), nullptr);
            } else if (c.act == MoveNew) {
                H moved(std::move(a));
                EXPECT_FALSE(a);
                EXPECT_EQ(moved.get(), one);
            } else if (c.act == MoveOver) {
                b = std::move(a);
            } else if (c.act == MoveSelf) {
                H& alias = a;
                a = std::move(alias);
                EXPECT_EQ(a.get(), one);
            } else if (c.act == ResetTwice) {
                a.reset();
                a.reset();
                EXPECT_FALSE(a);
            } else if (c.act == ResetTo) {
                a.reset(s, three);
            } else if (c.act == Release) {
                EXPECT_EQ(a.release(), one);
                EXPECT_EQ(a.service(), nullptr);
            }
            EXPECT_EQ(s.closed, c.inScope);
        }
        EXPECT_EQ(s.closed, c.after);
    }
}

} // namespace
