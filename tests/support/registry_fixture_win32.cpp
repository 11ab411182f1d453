#include "registry_fixture.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace tavlo::test {

struct ScratchRegistry::Impl {
    std::wstring base; // below the real HKEY_CURRENT_USER
    HKEY machine = nullptr;
    HKEY user = nullptr;
    HKEY classes = nullptr;

    HKEY rootKey(Root root) const {
        switch (root) {
        case Root::LocalMachine:
            return machine;
        case Root::CurrentUser:
            return user;
        case Root::ClassesRoot:
            return classes;
        }
        return nullptr;
    }

    HKEY create(Root root, std::u16string_view path) const {
        HKEY key = nullptr;
        const std::wstring sub(path.begin(), path.end());
        const LONG result = RegCreateKeyExW(rootKey(root), sub.c_str(), 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
        EXPECT_EQ(result, ERROR_SUCCESS) << "creating a scratch key";
        return key;
    }
};

namespace {
HKEY createBelow(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}
} // namespace

ScratchRegistry::ScratchRegistry() : impl_(std::make_unique<Impl>()) {
    static std::atomic<int> serial{0};
    impl_->base = L"Software\\tavlo-tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(serial++);
    impl_->machine = createBelow(HKEY_CURRENT_USER, impl_->base + L"\\HKLM");
    impl_->user = createBelow(HKEY_CURRENT_USER, impl_->base + L"\\HKCU");
    impl_->classes = createBelow(HKEY_CURRENT_USER, impl_->base + L"\\HKCR");
    if (!impl_->machine || !impl_->user || !impl_->classes)
        ADD_FAILURE() << "can't create the scratch registry";
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, impl_->machine);
    RegOverridePredefKey(HKEY_CURRENT_USER, impl_->user);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, impl_->classes);
}

ScratchRegistry::~ScratchRegistry() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(impl_->machine);
    RegCloseKey(impl_->user);
    RegCloseKey(impl_->classes);
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
