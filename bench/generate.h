// The benchmarks' inputs, generated once into a data folder and reused while they are there:
// registry files of a realistic shape, directory trees to search, and a Wine prefix whose
// catalogue registers many installed applications. The same seed always gives the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace tavlo::bench {

enum class RegFormat { Wine, Regedit };

// Mixed: keys of every size, as in a lived-in registry. KeyDense: many keys of none to two short
// values each, as in the class and interface registrations that fill most of a fresh
// system.reg, where the cost of a load is in its key lines.
enum class RegShape { Mixed, KeyDense };

// A registry file of at least targetBytes: Wine's UTF-8 text, or a regedit export in UTF-16LE
// with CRLF line ends as regedit writes it.
std::string registryFile(const std::string& dataDir, RegFormat format, std::size_t targetBytes,
                         RegShape shape = RegShape::Mixed);

struct SearchTree {
    std::string root;
    std::string sought; // a unique name, the last entry of a depth-first walk in listing order
    std::string found;  // its path below root, '/'-separated
};

// A tree of entries (files and directories, the root not counted), no directory holding more
// than a few dozen of them.
SearchTree searchTree(const std::string& dataDir, std::size_t entries);

// A Wine prefix whose catalogue registers apps applications, all installed; the host program
// that the ".pc3" association names belongs to the last one registered.
std::string cataloguePrefix(const std::string& dataDir, std::size_t apps);

} // namespace tavlo::bench
