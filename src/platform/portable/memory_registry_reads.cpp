// The read calls, answered with the exact Win32 protocol: status codes, sizes in bytes,
// ERROR_MORE_DATA with the needed size and the buffer untouched, and the terminators a string
// gets only where there is room.
#include "platform/portable/key_paths.h"
#include "platform/portable/memory_registry.h"
#include "platform/portable/merged_view.h"

#include <cstring>
#include <memory>

namespace tavlo::platform::portable {

namespace {

// HKEY_CLASSES_ROOT itself when neither side has classes yet.
const KeyNode kEmptyNode{};

bool isStringType(std::uint32_t type) {
    return type == regtype::sz || type == regtype::expand_sz || type == regtype::multi_sz;
}

// Before any of an open key's values (withValues) or sub-keys (withChildren) is looked at: what
// still waits for either side is read.
void readWaiting(const OpenKey& key, const KeyNode& (KeyStorage::*read)(const KeyNode&)) {
    for (const KeyNode* node : {key.primary, key.secondary})
        if (node)
            (key.storage.get()->*read)(*node);
}

const Value* findValue(const OpenKey& key, const char16_t* name) {
    const Units text{name ? name : u"", length(name), false};
    const std::uint32_t hash = hashOf(text);
    for (const KeyNode* node : {key.primary, key.secondary})
        if (node)
            if (const std::uint32_t at = key.storage->find(*node, node->values, text, hash);
                at != kNotFound)
                return &node->values.items[at];
    return nullptr;
}

// Copies value data the way RegQueryValueExW does: the stored bytes, then a terminator for a
// string that lacks one, but only where two spare bytes remain. The reported size never counts
// that terminator, so callers must terminate strings themselves.
void copyData(const Value& value, std::uint8_t* data, std::uint32_t capacity) {
    const std::size_t size = value.size;
    const std::uint8_t* stored = value.data();
    bool terminated;
    if (value.narrowData) {
        for (std::size_t i = 0; i < size / 2; ++i) {
            data[2 * i] = stored[i];
            data[2 * i + 1] = 0;
        }
        terminated = stored[size / 2 - 1] == 0;
    } else {
        if (size)
            std::memcpy(data, stored, size);
        terminated = size >= 2 && stored[size - 1] == 0 && stored[size - 2] == 0;
    }
    if (isStringType(value.type) && size > 0 && size + 2 <= capacity && !terminated) {
        data[size] = 0;
        data[size + 1] = 0;
    }
}

// The name protocol of RegEnumValueW / RegEnumKeyExW: *count holds room including the
// terminator on entry and the length without it on return.
bool nameFits(const Units& name, const std::uint32_t* count) {
    return name.length < *count;
}
void copyName(const Units& name, char16_t* out, std::uint32_t* count) {
    for (std::size_t i = 0; i < name.length; ++i)
        out[i] = unitAt(name.text, name.narrow, i);
    out[name.length] = 0;
    *count = static_cast<std::uint32_t>(name.length);
}

} // namespace
Status MemoryRegistry::openKey(Root root, const char16_t* subKey, KeyHandle* key) {
    if (!key)
        return status::invalid_parameter;
    *key = nullptr;
    std::u16string_view path(subKey ? subKey : u"", length(subKey));
    Storage& storage = *storage_;

    auto open = std::make_unique<OpenKey>();
    switch (root) {
    case Root::LocalMachine:
    case Root::CurrentUser:
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        open->primary =
            descend(storage, root == Root::LocalMachine ? &storage.machine : &storage.user, path);
        if (!open->primary)
            return status::file_not_found;
        break;
    case Root::ClassesRoot: {
        // The merged view strips one leading backslash where the other roots refuse it.
        if (!path.empty() && path.front() == u'\\')
            path.remove_prefix(1);
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        const Node* userClasses = descend(storage, &storage.user, u"Software\\Classes");
        const Node* machineClasses = descend(storage, &storage.machine, u"Software\\Classes");
        if (userClasses)
            open->primary = descend(storage, userClasses, path);
        if (machineClasses)
            open->secondary = descend(storage, machineClasses, path);
        bool isRoot = true;
        forEachComponent(path, [&](std::u16string_view) { return isRoot = false; });
        if (!open->primary && !open->secondary) {
            if (!isRoot)
                return status::file_not_found;
            open->primary = &kEmptyNode;
        }
        break;
    }
    default:
        return status::invalid_handle;
    }
    if (open->primary && open->secondary)
        open->merged = std::make_unique<MergedView>();
    open->storage = storage_;
    *key = open.release();
    return status::success;
}

Status MemoryRegistry::queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) {
    if (!key)
        return status::invalid_handle;
    if (data && !size)
        return status::invalid_parameter;
    const OpenKey& open = *static_cast<OpenKey*>(key);
    readWaiting(open, &KeyStorage::withValues);
    const Value* value = findValue(open, name);
    if (!value)
        return status::file_not_found;
    if (type)
        *type = value->type;
    const std::uint32_t stored = value->size;
    if (data) {
        if (stored > *size) {
            *size = stored;
            return status::more_data;
        }
        copyData(*value, data, *size);
    }
    if (size)
        *size = stored;
    return status::success;
}

Status MemoryRegistry::enumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                 std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* dataSize) {
    if (!key)
        return status::invalid_handle;
    if (!name || !nameCount || (data && !dataSize))
        return status::invalid_parameter;
    const OpenKey& open = *static_cast<OpenKey*>(key);
    readWaiting(open, &KeyStorage::withValues);
    const Value* found = entryAt(open, &KeyNode::values, index);
    if (!found)
        return status::no_more_items;
    const Value& value = *found;
    const std::uint32_t stored = value.size;
    if (type)
        *type = value.type;
    if (!nameFits(value.name(), nameCount)) {
        if (dataSize)
            *dataSize = stored;
        return status::more_data;
    }
    copyName(value.name(), name, nameCount);
    if (data && stored > *dataSize) {
        *dataSize = stored;
        return status::more_data;
    }
    if (data)
        copyData(value, data, *dataSize);
    if (dataSize)
        *dataSize = stored;
    return status::success;
}

Status MemoryRegistry::enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                               std::uint32_t* nameCount) {
    if (!key)
        return status::invalid_handle;
    if (!name || !nameCount)
        return status::invalid_parameter;
    const OpenKey& open = *static_cast<OpenKey*>(key);
    readWaiting(open, &KeyStorage::withChildren);
    KeyNode* const* found = entryAt(open, &KeyNode::children, index);
    if (!found)
        return status::no_more_items;
    const Units childName = (*found)->name();
    if (!nameFits(childName, nameCount))
        return status::more_data;
    copyName(childName, name, nameCount);
    return status::success;
}

void MemoryRegistry::closeKey(KeyHandle key) {
    delete static_cast<OpenKey*>(key);
}

} // namespace tavlo::platform::portable
