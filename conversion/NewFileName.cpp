// SPDX-License-Identifier: MIT
#include "conversion/NewFileName.h"

#include <algorithm>

#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/storage/MimeType.h"
#include "platform/support/Message.h"

namespace {

constexpr int kFirstNumber = 2;
constexpr int kLastNumber = 65535;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    return suffix.size() <= text.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - ptrdiff_t(suffix.size()),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// Removes the first of the type's extensions, in the database's order, that ends `base`.
void RemoveTypeExtension(std::string* base, const char* sourceType) {
    if (sourceType == nullptr || *sourceType == '\0') {
        return;
    }
    const BMimeType type(sourceType);
    BMessage extensions;
    type.GetFileExtensions(&extensions);
    type_code found;
    int32 count = 0;
    if (extensions.GetInfo("extensions", &found, &count) != B_OK) {
        return;
    }
    for (int32 i = 0; i < count; ++i) {
        const char* extension = nullptr;
        if (extensions.FindString("extensions", i, &extension) != B_OK) {
            continue;
        }
        const std::string dotted = std::string(".") + extension;
        if (EndsWithNoCase(*base, dotted)) {
            base->erase(base->size() - dotted.size());
            return;
        }
    }
}

}  // namespace

NewFileNameResult ChooseNewFileName(BDirectory* directory, const char* leafName,
                                    const char* sourceType, std::string_view newExtension,
                                    bool removeOldExtension, bool addNewExtension,
                                    const char* freeLeaf) {
    std::string base = leafName != nullptr ? leafName : "";
    std::transform(base.begin(), base.end(), base.begin(), LowerAscii);
    if (removeOldExtension) {
        RemoveTypeExtension(&base, sourceType);
    }
    if (addNewExtension) {
        base += newExtension;
    }

    // Without a folder to look in, no name can be known to be free.
    if (directory == nullptr || directory->InitCheck() != B_OK) {
        return {base, false};
    }
    const std::string_view free = freeLeaf != nullptr ? freeLeaf : "";
    const auto taken = [directory, free](const std::string& name) {
        return (free.empty() || name != free) && BEntry(directory, name.c_str(), false).Exists();
    };
    std::string candidate = base;
    bool exists = taken(candidate);
    for (int number = kFirstNumber; exists && number <= kLastNumber; ++number) {
        candidate = base + " " + std::to_string(number);
        exists = taken(candidate);
    }
    return {candidate, !exists};
}

std::string NewFileName(BDirectory* directory, const char* leafName, const char* sourceType,
                        std::string_view newExtension, bool removeOldExtension,
                        bool addNewExtension) {
    return ChooseNewFileName(directory, leafName, sourceType, newExtension, removeOldExtension,
                             addNewExtension)
        .name;
}
