// The registry of the Linux build: an in-memory tree that answers the read calls with the
// exact Win32 protocol (sizes in bytes, ERROR_MORE_DATA with the needed size and the buffer
// untouched, unterminated strings, odd sizes, the default value, case-insensitive names,
// values in insertion order). HKEY_CLASSES_ROOT is the merged view of
// HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes, as on Windows.
//
// The mutators exist for the registry file loader and for test fixtures. They are not part of
// RegistryService, so the library's logic can't reach them.
//
// A loaded registry file can hold millions of values, so everything lives in a few large blocks
// of storage that are only ever released together, by clear() or the destructor: memory of a
// replaced or deleted entry is not reused before then. An open key keeps the storage it reads
// alive, so it stays readable after its key is deleted or the registry cleared.
//
// A program asks about a handful of keys of a registry that can hold hundreds of thousands, and
// storing what every value says costs far more than reading the file. So a loaded key only
// knows where its lines lie in the file (LineSource) until a read of its values first needs
// them; they are read then, once, under a lock, and stay. Deeper keys wait the same way: a key a
// few levels down knows where the key lines of everything below it lie until its sub-keys are
// first needed. Problems those lines hold are reported from then on. Reads may come from any
// number of threads at once; the mutators, loading included, must not run beside them.
#pragma once

#include "platform/portable/line_source.h"
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavlo::platform::portable {

enum class Hive { LocalMachine, CurrentUser };

class MemoryRegistry final : public RegistryService {
public:
    using Node = KeyNode;
    using Storage = KeyStorage;

    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // Paths are relative to the hive, components separated by backslashes; empty, doubled and
    // trailing separators are ignored. Names compare without regard to case.
    void createKey(Hive hive, std::u16string_view path);
    // Creates the key when needed. A value of the same name is replaced in place (it keeps its
    // position in the enumeration order).
    void setValue(Hive hive, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data);
    bool deleteValue(Hive hive, std::u16string_view path, std::u16string_view name);
    // Removes the key and everything below it; false when it does not exist.
    bool deleteKey(Hive hive, std::u16string_view path);
    void clear();

    // The loader's way in: a key is found (or made) once, then told where its lines lie
    // without walking its path again. The key stays writable until the next deleteKey or clear.
    Node* writableKey(Hive hive, Units path);
    // The same one name below a key already found (parent null: the hive's root), for a loader
    // that walks paths itself.
    Node* writableChild(Hive hive, Node* parent, const Units& name);
    // Sources are numbered in the order they're added; the registry keeps them while it needs
    // them.
    std::uint32_t addSource(std::shared_ptr<LineSource> source);
    // The key's values are what these lines say, after (or over) what earlier lines said.
    void deferValues(Node* key, std::uint32_t source, std::uint64_t offset, std::uint64_t length,
                     std::uint64_t firstLine);
    // The key's sub-keys are (also) what the key lines of run name. The key must have no
    // sub-keys of its own yet.
    void deferKeys(Node* key, const KeyRun& run);
    // Reads every key's sub-keys and values that are still waiting: what a full check of the
    // files needs.
    void readAllValues();

    // Problems met in the files loaded, each file's in line order. Beyond 100 a file's problems
    // are only counted, and a last line for the file says how many more there were.
    void report(Diagnostic diagnostic);
    std::vector<Diagnostic> diagnostics() const;

    // RegistryService. Only openKey reads this registry: the other calls answer from the
    // storage the handle holds, whichever registry opened it.
    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override;
    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override;
    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                   std::uint32_t* nameCount) override;
    void closeKey(KeyHandle key) override;

private:
    std::shared_ptr<Storage> storage_;
    // The key written last (its path's bytes as given) and the node ending each of its path's
    // components: a loader's next key usually shares all but its last component with it.
    Hive lastHive_ = Hive::LocalMachine;
    bool lastNarrow_ = true;
    std::string lastPath_;
    std::vector<std::pair<std::size_t, Node*>> lastNodes_;
};

} // namespace tavlo::platform::portable
