// SPDX-License-Identifier: MIT
#include "conversion/UnreadableSource.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "conversion/OutputFormat.h"
#include "platform/storage/File.h"
#include "platform/storage/MimeType.h"
#include "platform/support/Message.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {

namespace {

bool IsPictureType(const std::string& type) {
    return type.rfind("image/", 0) == 0;
}

// Whether some translator of `roster` says it reads `type`.
bool SomeDecoderReads(const BTranslatorRoster& roster, const std::string& type) {
    const std::vector<translation_format> formats = ReadableFormats(roster);
    return std::any_of(formats.begin(), formats.end(),
                       [&type](const translation_format& format) { return type == format.MIME; });
}

// The name a user knows a picture format by: its usual extension in capitals (PSD, XCF,
// SVG), from the MIME database; the type itself when the database gives none.
std::string FormatName(const std::string& type) {
    BMessage extensions;
    std::string first;
    if (BMimeType(type.c_str()).GetFileExtensions(&extensions) == B_OK &&
        extensions.FindString("extensions", 0, &first) == B_OK && !first.empty()) {
        for (char& c : first) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
        }
        return first;
    }
    return type;
}

// Whether the file starts as a text does: no control characters but the usual white space.
// A text named .jpg is no damaged picture, whatever its name says.
bool LooksLikeText(BFile& source) {
    char head[512];
    const ssize_t got = source.ReadAt(0, head, sizeof head);
    if (got <= 0) {
        return false;
    }
    return std::all_of(head, head + got, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 || byte == '\n' || byte == '\r' || byte == '\t' || byte == '\f';
    });
}

}  // namespace

UnreadableSource WhyNoDecoder(BFile& source, const std::string& type,
                              const BTranslatorRoster& decoders) {
    off_t size = 0;
    if (source.GetSize(&size) == B_OK && size == 0) {
        return {"fichier vide", true};
    }
    if (!IsPictureType(type)) {
        return {"ce n'est pas une image", true};
    }
    if (SomeDecoderReads(decoders, type)) {
        // The file's name says it is of a format that is read: its content is not.
        if (LooksLikeText(source)) {
            return {"ce n'est pas une image", true};
        }
        return {"image " + FormatName(type) + " illisible", false};
    }
    return {"format " + FormatName(type) + " non pris en charge", false};
}

}  // namespace orv
