#include "platform/portable/modules_posix.h"

#include "platform/portable/module_search_posix.h"
#include "platform/portable/pe_resources.h"
#include "platform/portable/ui_language.h"
#include "platform/utf.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

namespace tavlo::platform::portable {

struct PosixModules::Object {
    enum class Kind { Pe, Elf };
    Kind kind = Kind::Pe;
    std::string path; // absolute Unix path: what moduleFileName reports
    // ELF: the loader's handle, and the object itself, so that lookups stay inside it.
    void* dl = nullptr;
    const link_map* map = nullptr;
    // PE: the string tables, and the file's identity, so that loading the same file twice gives
    // the same handle as LoadLibraryW does.
    PeStringTable strings;
    dev_t device = 0;
    ino_t inode = 0;
    std::size_t loads = 0;  // outstanding load() calls, each owed one free()
    bool permanent = false; // handed out by moduleContaining: lives as long as the process
};

namespace {

// A notice module inside a Wine prefix can be a full driver DLL, but nothing larger than this
// is a module worth reading resources from.
constexpr std::uintmax_t maxImageSize = 256u << 20;

void anchor() {}

std::string executablePath() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// The file holding address. The executable's own link map has no name (dladdr would give
// argv[0], which may be relative or not a path at all), so it is asked for by /proc/self/exe.
std::string objectFile(const void* address, const link_map** map = nullptr) {
    Dl_info info{};
    link_map* found = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) || !found)
        return {};
    if (map)
        *map = found;
    if (!found->l_name || !*found->l_name)
        return executablePath();
    return absolutePath(found->l_name);
}

std::string readImage(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > maxImageSize)
        return {};
    std::ifstream in(path, std::ios::binary);
    std::string image(static_cast<std::size_t>(size), '\0');
    if (!in.read(image.data(), static_cast<std::streamsize>(image.size())))
        return {};
    return image;
}

bool hasPeSignature(std::string_view image) {
    if (image.size() < 0x40)
        return false;
    std::uint32_t offset = 0;
    for (int i = 3; i >= 0; --i)
        offset = offset << 8 | static_cast<unsigned char>(image[0x3C + i]);
    return offset <= image.size() - 4 && image.substr(offset, 4) == std::string_view("PE\0\0", 4);
}

std::string_view undecorated(std::string_view name) {
    // A Windows-decorated C++ name ("?GetProductRegistryRootKey@@YAIPEA_WK@Z") can't be an ELF
    // symbol: '@' there separates a symbol from its version. A hook built for Linux exports the
    // function under its plain identifier, the text between '?' and the first '@'.
    // Constructors and operators ("??0...") come out empty and find nothing.
    if (name.empty() || name.front() != '?')
        return name;
    name.remove_prefix(1);
    return name.substr(0, name.find('@'));
}

} // namespace

PosixModules::PosixModules() = default;

// Loaded objects stay loaded at exit: unloading them under the feet of late destructors gains
// nothing.
PosixModules::~PosixModules() = default;

PosixModules::Object* PosixModules::find(ModuleHandle module) const {
    const auto it = std::find_if(objects_.begin(), objects_.end(),
                                 [&](const auto& object) { return object.get() == module; });
    return it == objects_.end() ? nullptr : it->get();
}

ModuleHandle PosixModules::load(const char16_t* nameOrPath) {
    return open(nameOrPath, false);
}

ModuleHandle PosixModules::loadResources(const char16_t* nameOrPath) {
    return open(nameOrPath, true);
}

std::vector<ModuleRefusal> PosixModules::refusals() const {
    std::lock_guard lock(mutex_);
    return refusals_;
}

ModuleHandle PosixModules::refuse(std::u16string_view name, const std::string& path,
                                  std::string reason) {
    std::lock_guard lock(mutex_);
    ModuleRefusal refusal{toUtf8(name), path, std::move(reason)};
    // A host asks for the same module again and again; one line says it.
    const bool known = std::any_of(refusals_.begin(), refusals_.end(), [&](const auto& r) {
        return r.path == refusal.path && r.reason == refusal.reason;
    });
    if (!known && refusals_.size() < kMaxRefusals)
        refusals_.push_back(std::move(refusal));
    return nullptr;
}

ModuleHandle PosixModules::open(const char16_t* nameOrPath, bool resourcesOnly) {
    if (!nameOrPath || !*nameOrPath)
        return nullptr;
    const std::string path = locateModule(
        nameOrPath,
        moduleSearchFolders(objectFile(reinterpret_cast<const void*>(&anchor)), executablePath()));
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return nullptr;
    if (!S_ISREG(info.st_mode))
        return refuse(nameOrPath, path, "not a regular file");

    char header[kImageHeaderBytes] = {};
    std::size_t headerSize = 0;
    {
        std::ifstream in(path, std::ios::binary);
        in.read(header, sizeof header);
        headerSize = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
    }
    const ImageCheck check = checkImageHeader(std::string_view(header, headerSize));
    if (check.kind == ImageCheck::Kind::Refused)
        return refuse(nameOrPath, path, check.reason);

    if (check.kind == ImageCheck::Kind::Pe) {
        {
            std::lock_guard lock(mutex_);
            for (const auto& object : objects_) {
                if (object->kind == Object::Kind::Pe && object->device == info.st_dev &&
                    object->inode == info.st_ino) {
                    ++object->loads;
                    return object.get();
                }
            }
        }
        if (static_cast<std::uintmax_t>(info.st_size) > maxImageSize)
            return refuse(nameOrPath, path, "a PE file too large to read resources from");
        const std::string image = readImage(path);
        if (!hasPeSignature(image))
            return refuse(nameOrPath, path, "an MZ file without a PE header");
        auto object = std::make_unique<Object>();
        object->kind = Object::Kind::Pe;
        object->path = path;
        object->device = info.st_dev;
        object->inode = info.st_ino;
        object->strings.parse(image); // a PE file without strings still loads, as on Windows
        object->loads = 1;
        std::lock_guard lock(mutex_);
        objects_.push_back(std::move(object));
        return objects_.back().get();
    }

    // A module wanted for its strings is never run: on Windows it would be mapped as data.
    if (resourcesOnly)
        return refuse(nameOrPath, path, "an ELF object, which holds no string resources");
    // Outside the lock: the object's constructors may call back into this service.
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        const char* why = dlerror();
        return refuse(nameOrPath, path, why ? why : "the dynamic loader refused it");
    }
    link_map* map = nullptr;
    if (dlinfo(dl, RTLD_DI_LINKMAP, &map) != 0) {
        dlclose(dl);
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    // The loader counts references itself; every load keeps its own, which its free() gives
    // back.
    for (const auto& object : objects_) {
        if (object->kind == Object::Kind::Elf && object->map == map) {
            ++object->loads;
            if (!object->dl)
                object->dl = dl;
            return object.get();
        }
    }
    auto object = std::make_unique<Object>();
    object->kind = Object::Kind::Elf;
    object->path = path;
    object->dl = dl;
    object->map = map;
    object->loads = 1;
    objects_.push_back(std::move(object));
    return objects_.back().get();
}

void* PosixModules::entryPoint(ModuleHandle module, const char* name) {
    if (!name)
        return nullptr;
    void* dl = nullptr;
    const link_map* map = nullptr;
    {
        std::lock_guard lock(mutex_);
        const Object* object = find(module);
        if (!object || object->kind != Object::Kind::Elf || !object->dl)
            return nullptr;
        dl = object->dl;
        map = object->map;
    }
    const std::string symbol(undecorated(name));
    if (symbol.empty())
        return nullptr;
    void* address = dlsym(dl, symbol.c_str());
    // dlsym also searches the object's dependencies; GetProcAddress finds only the module's
    // own exports, so a hook can't accidentally hand out, say, the C library's function.
    const link_map* owner = nullptr;
    if (!address || objectFile(address, &owner).empty() || owner != map)
        return nullptr;
    return address;
}

void* PosixModules::entryPointByOrdinal(ModuleHandle, std::uint16_t) {
    // ELF has no ordinals, and a PE file's code is never run here.
    return nullptr;
}

void PosixModules::free(ModuleHandle module) {
    std::unique_ptr<Object> released;
    void* dl = nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(objects_.begin(), objects_.end(),
                                     [&](const auto& object) { return object.get() == module; });
        if (it == objects_.end() || (*it)->loads == 0)
            return;
        Object& object = **it;
        --object.loads;
        if (object.kind == Object::Kind::Elf)
            dl = object.dl;
        if (object.loads == 0 && !object.permanent) {
            released = std::move(*it);
            objects_.erase(it);
        }
    }
    // Outside the lock, like dlopen: destructors of the object may call back.
    if (dl)
        dlclose(dl);
}

ModuleHandle PosixModules::moduleContaining(const void* address) {
    const link_map* map = nullptr;
    const std::string path = objectFile(address, &map);
    if (path.empty())
        return nullptr;
    // RTLD_NOLOAD only takes a reference to what is loaded already, so no constructor runs
    // and holding the lock is safe. That reference keeps the object (and the handle given
    // out) valid even when every load() of it is freed. The object holding this code takes
    // none: it is loaded for as long as its handle can be used, and a reference to itself
    // would keep the library from ever being unloaded.
    const link_map* own = nullptr;
    objectFile(reinterpret_cast<const void*>(&anchor), &own);
    const bool executable = !map->l_name || !*map->l_name;
    std::lock_guard lock(mutex_);
    for (const auto& object : objects_) {
        if (object->kind == Object::Kind::Elf && object->map == map) {
            if (!object->permanent) {
                object->permanent = true;
                if (!executable && map != own)
                    dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD);
            }
            return object.get();
        }
    }
    auto object = std::make_unique<Object>();
    object->kind = Object::Kind::Elf;
    object->path = path;
    object->map = map;
    object->dl =
        executable ? dlopen(nullptr, RTLD_NOW) : dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD);
    if (object->dl && !executable && map == own)
        dlclose(object->dl); // the handle stays valid while this code is loaded
    object->permanent = true;
    objects_.push_back(std::move(object));
    return objects_.back().get();
}

std::uint32_t PosixModules::moduleFileName(ModuleHandle module, char16_t* buffer,
                                           std::uint32_t capacity) {
    std::string path;
    if (!module) {
        path = executablePath();
    } else {
        std::lock_guard lock(mutex_);
        const Object* object = find(module);
        if (!object)
            return 0;
        path = object->path;
    }
    const std::u16string text = fromUtf8(path);
    if (text.empty() || !buffer || capacity == 0)
        return 0;
    if (text.size() < capacity) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = u'\0';
        return static_cast<std::uint32_t>(text.size());
    }
    std::copy_n(text.begin(), capacity - 1, buffer);
    buffer[capacity - 1] = u'\0';
    return capacity;
}

std::u16string PosixModules::loadString(ModuleHandle module, std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const Object* object = find(module);
    if (!object || object->kind != Object::Kind::Pe)
        return {};
    return object->strings.findPreferred(id, resourceLanguages(uiLanguage()))
        .value_or(std::u16string());
}

} // namespace tavlo::platform::portable
