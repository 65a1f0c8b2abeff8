// The fuzz targets: every input the installer parses, each through the public functions of its
// parser, with the invariants that must hold beyond "no crash".
#pragma once

#include <string>
#include <vector>

#include "tests/support/fuzz/fuzz_engine.h"

namespace fuzz {

struct SeedSources {
    std::wstring skinArchive;  // the skin archive the installer carries
    std::wstring dataDir;      // generated test data (the archive tests' 7z files)
    std::wstring sandbox;      // an empty folder that extractions may write below
};

// Layouts (with includes, controls, box layout and paint), the text table, markup, image strings
// and attribute values.
std::vector<Target> toolkitTargets(const SeedSources& sources);
// Language files, the service documents, the run identity and install folders.
std::vector<Target> engineTargets(const SeedSources& sources);
// The resource archive extractor.
std::vector<Target> archiveTargets(const SeedSources& sources);

inline std::vector<Target> allTargets(const SeedSources& sources) {
    std::vector<Target> targets = toolkitTargets(sources);
    for (auto& t : engineTargets(sources)) targets.push_back(std::move(t));
    for (auto& t : archiveTargets(sources)) targets.push_back(std::move(t));
    return targets;
}

// Entries of the skin archive whose names end in the suffix (and, when given, start with the
// prefix), as seeds.
std::vector<Bytes> skinEntries(const SeedSources& sources, const std::wstring& prefix,
                               const std::wstring& suffix);

// UTF-16LE bytes of a wide text, and back (an odd last byte is dropped).
Bytes utf16Bytes(const std::wstring& text);
std::wstring wideOf(const Bytes& bytes);

}  // namespace fuzz
