#include "registry_fixture.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace tavlo::test {

namespace {
HKEY createBelow(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    EXPECT_EQ(result, ERROR_SUCCESS) << "creating a scratch key";
    return key;
}
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
} // namespace

struct ScratchRegistry::Impl {
    std::wstring base;  // below the real HKEY_CURRENT_USER
    HKEY roots[3] = {}; // by Root's low bits, as the predefined keys count
    HKEY create(Root root, std::u16string_view path) const {
        return createBelow(roots[static_cast<std::uint32_t>(root) & 3], {path.begin(), path.end()});
    }
};

ScratchRegistry::ScratchRegistry() : impl_(std::make_unique<Impl>()) {
    static std::atomic<int> serial{0};
    impl_->base = L"Software\\tavlo-tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(serial++);
    for (int i = 0; i < 3; ++i)
        impl_->roots[i] = createBelow(HKEY_CURRENT_USER, impl_->base + L"\\" + std::to_wstring(i));
    for (int i = 0; i < 3; ++i) // once all three exist below the real HKEY_CURRENT_USER
        RegOverridePredefKey(kRoots[i], impl_->roots[i]);
}

ScratchRegistry::~ScratchRegistry() {
    for (int i = 0; i < 3; ++i) {
        RegOverridePredefKey(kRoots[i], nullptr);
        RegCloseKey(impl_->roots[i]);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, impl_->base.c_str());
}

void ScratchRegistry::createKey(Root root, std::u16string_view path) {
    RegCloseKey(impl_->create(root, path));
}

namespace {
// The native call stores the bytes exactly as given; RegSetValueExW under Wine terminates
// strings that lack a terminator, and the tests need such strings too.
struct NativeName {
    USHORT length;
    USHORT maximumLength;
    const wchar_t* buffer;
};
using NtSetValueKeyFn = LONG(WINAPI*)(HANDLE, const NativeName*, ULONG, ULONG, const void*, ULONG);

LONG storeExactly(HKEY key, const char16_t* name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) {
    static const auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    const auto* text = reinterpret_cast<const wchar_t*>(name ? name : u"");
    const auto bytes = static_cast<USHORT>(wcslen(text) * sizeof(wchar_t));
    const NativeName native{bytes, bytes, text};
    return setValue(key, &native, 0, type, data.data(), static_cast<ULONG>(data.size()));
}
} // namespace

void ScratchRegistry::setRaw(Root root, std::u16string_view path, const char16_t* name,
                             std::uint32_t type, const std::vector<std::uint8_t>& data) {
    HKEY key = impl_->create(root, path);
    EXPECT_EQ(storeExactly(key, name, type, data), 0) << "writing a scratch value";
    RegCloseKey(key);
}

} // namespace tavlo::test
