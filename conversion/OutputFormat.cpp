// SPDX-License-Identifier: MIT
#include "conversion/OutputFormat.h"

#include <memory>
#include <string_view>

#include "platform/storage/MimeType.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {
namespace {

// The qualifying formats one translator writes (or reads); none when the roster has none to
// give.
std::vector<const translation_format*> QualifyingFormats(const BTranslatorRoster* roster,
                                                         translator_id id, bool read = false) {
    const translation_format* formats = nullptr;
    int32 count = 0;
    std::vector<const translation_format*> found;
    const status_t status = read ? roster->GetInputFormats(id, &formats, &count)
                                 : roster->GetOutputFormats(id, &formats, &count);
    if (status != B_OK || formats == nullptr) {
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

// The type's first file extension, with its dot; empty when the MIME database has none.
std::string FirstExtension(const std::string& MIME) {
    BMessage extensions;
    BMimeType(MIME.c_str()).GetFileExtensions(&extensions);
    const char* first = nullptr;
    if (extensions.FindString("extensions", 0, &first) != B_OK || first == nullptr ||
        *first == '\0') {
        return {};
    }
    return std::string(".") + first;
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

            entry.extension = FirstExtension(entry.MIME);
            if (entry.extension.empty()) {
                // A type the system's MIME database does not know has its extensions
                // registered by its add-on when that is loaded, which a catalogue built from
                // the add-ons' cached descriptions has not done yet.
                roster->Translator(ids[t]);
                entry.extension = FirstExtension(entry.MIME);
            }
        }
    }
    return catalogue;
}

std::vector<translation_format> ReadableFormats(const BTranslatorRoster& roster) {
    std::vector<translation_format> formats;
    translator_id* rawIds = nullptr;
    int32 count = 0;
    if (roster.GetAllTranslators(&rawIds, &count) != B_OK || rawIds == nullptr) {
        return formats;
    }
    const std::unique_ptr<translator_id[]> ids(rawIds);
    for (int32 t = 0; t < count; ++t) {
        for (const translation_format* format : QualifyingFormats(&roster, ids[t], true)) {
            // The records' fixed buffers need not end in a terminator; these will.
            translation_format& copy = formats.emplace_back(*format);
            copy.MIME[sizeof copy.MIME - 1] = '\0';
            copy.name[sizeof copy.name - 1] = '\0';
        }
    }
    return formats;
}

std::string FormatShortName(const std::string& name) {
    constexpr std::string_view kPrefix = "Image ";
    return name.rfind(kPrefix, 0) == 0 ? name.substr(kPrefix.size()) : name;
}

}  // namespace orv
