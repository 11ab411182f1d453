// How a loaded file's lines reach a key: the registry remembers where a key's lines lie, and
// asks their source to read them into the key through a ValueWriter when the key's values are
// first needed, or to make the keys below it when its sub-keys are.
#pragma once

#include "platform/portable/diagnostic_log.h"
#include "platform/portable/units.h"

#include <cstddef>
#include <cstdint>

namespace tavlo::platform::portable {

struct KeyNode;
struct KeyRun;
struct KeyStorage;

// Where the loader stores the values of one key as it reads their lines.
class ValueWriter {
public:
    // Data as bytes, or a string type's data as text (its terminator included). A value of the
    // same name is replaced in place.
    void store(Units name, std::uint32_t type, const std::uint8_t* data, std::size_t size);
    void store(Units name, std::uint32_t type, Units text);
    void remove(Units name);
    void report(Diagnostic diagnostic);

private:
    friend struct KeyStorage;
    ValueWriter(KeyStorage* storage, KeyNode* node) : storage_(storage), node_(node) {}
    KeyStorage* storage_;
    KeyNode* node_;
};

// The lines of a loaded file, read again when a key's values are first needed.
class LineSource {
public:
    virtual ~LineSource() = default;
    // Stores what the lines in bytes [offset, offset + length) of the file say; the first of
    // them is line firstLine.
    virtual void readValues(ValueWriter& key, std::uint64_t offset, std::uint64_t length,
                            std::uint64_t firstLine) = 0;
    // Makes the keys below root that a run of key lines names, each waiting for its values as a
    // loaded key does. Nothing outside root's tree is touched, whatever the lines say now.
    virtual void readKeys(KeyStorage& storage, KeyNode& root, const KeyRun& run) = 0;
};

} // namespace tavlo::platform::portable
