// SPDX-License-Identifier: MIT
// The name under which a converted picture is written beside its source.
#pragma once

#include <string>
#include <string_view>

class BDirectory;

struct NewFileNameResult {
    std::string name;
    // False when every numbered name up to 65535 was taken too: `name` is then the last one
    // tried and exists, so the caller must not write to it.
    bool isFree = false;
};

// The source's leaf name with A-Z lowered, less its type's first matching extension when
// `removeOldExtension`, plus `newExtension` when `addNewExtension`; when that is taken in
// `directory` (by anything, even a dangling link), " 2", " 3"... up to " 65535" is appended.
// An unknown or empty `sourceType` removes nothing. Null strings count as empty.
// `freeLeaf`, when given, names one entry of the folder that counts as free even though it
// exists: a source that is erased once its output has taken its place.
NewFileNameResult ChooseNewFileName(BDirectory* directory, const char* leafName,
                                    const char* sourceType, std::string_view newExtension,
                                    bool removeOldExtension, bool addNewExtension,
                                    const char* freeLeaf = nullptr);

// The same choice, the name alone.
std::string NewFileName(BDirectory* directory, const char* leafName, const char* sourceType,
                        std::string_view newExtension, bool removeOldExtension,
                        bool addNewExtension);
