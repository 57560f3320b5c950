// SPDX-License-Identifier: MIT
#include "conversion/OutputFormat.h"

#include <memory>

#include "platform/storage/MimeType.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {
namespace {

// The qualifying formats of one translator; an empty span when the roster has none to give.
std::vector<const translation_format*> QualifyingFormats(BTranslatorRoster* roster,
                                                         translator_id id) {
    const translation_format* formats = nullptr;
    int32 count = 0;
    std::vector<const translation_format*> found;
    if (roster->GetOutputFormats(id, &formats, &count) != B_OK || formats == nullptr) {
        return found;
    }
    for (int32 i = 0; i < count; ++i) {
        if (IsCatalogueFormat(formats[i])) {
            found.push_back(&formats[i]);
        }
    }
    return found;
}

// The records hold fixed buffers; a name filling its buffer has no terminator to rely on.
std::string CopyField(const char (&field)[B_MIME_TYPE_LENGTH]) {
    size_t length = 0;
    while (length < sizeof(field) && field[length] != '\0') {
        ++length;
    }
    return std::string(field, length);
}

}  // namespace

bool IsCatalogueFormat(const translation_format& format) {
    return format.group == B_TRANSLATOR_BITMAP && format.type != B_TRANSLATOR_BITMAP;
}

std::vector<OutputFormat> BuildOutputFormats(BTranslatorRoster* roster) {
    std::vector<OutputFormat> catalogue;
    if (roster == nullptr) {
        return catalogue;
    }
    translator_id* rawIds = nullptr;
    int32 translatorCount = 0;
    if (roster->GetAllTranslators(&rawIds, &translatorCount) != B_OK || rawIds == nullptr) {
        return catalogue;
    }
    const std::unique_ptr<translator_id[]> ids(rawIds);

    // Counted first so that the array is allocated once, at its final size.
    size_t total = 0;
    for (int32 t = 0; t < translatorCount; ++t) {
        total += QualifyingFormats(roster, ids[t]).size();
    }
    catalogue.reserve(total);

    BMessage extensions;
    for (int32 t = 0; t < translatorCount && catalogue.size() < total; ++t) {
        for (const translation_format* format : QualifyingFormats(roster, ids[t])) {
            if (catalogue.size() == total) {
                break;
            }
            OutputFormat& entry = catalogue.emplace_back();
            entry.translator = ids[t];
            entry.type = format->type;
            entry.name = CopyField(format->name);
            entry.MIME = CopyField(format->MIME);

            BMimeType(entry.MIME.c_str()).GetFileExtensions(&extensions);
            const char* first = nullptr;
            if (extensions.FindString("extensions", 0, &first) == B_OK && first != nullptr &&
                *first != '\0') {
                entry.extension = std::string(".") + first;
            }
            extensions.MakeEmpty();
        }
    }
    return catalogue;
}

}  // namespace orv
