// SPDX-License-Identifier: MIT
#include "app/FormatLookup.h"

#include "app/CommandLine.h"
#include "platform/storage/MimeType.h"

namespace orv::cli {

namespace {

bool SameExtension(const OutputFormat& format, const std::string& wanted) {
    if (!format.extension.empty() && FoldForMatch(format.extension.substr(1)) == wanted) {
        return true;
    }
    BMessage extensions;
    if (BMimeType(format.MIME.c_str()).GetFileExtensions(&extensions) != B_OK) {
        return false;
    }
    std::string extension;
    for (int32 i = 0; extensions.FindString("extensions", i, &extension) == B_OK; ++i) {
        if (FoldForMatch(extension) == wanted) {
            return true;
        }
    }
    return false;
}

}  // namespace

FormatLookup FindFormat(std::span<const OutputFormat> catalogue, std::string_view text) {
    FormatLookup lookup;
    const std::string wanted = FoldForMatch(text);
    const auto first = [&](auto matches) -> std::optional<int32> {
        for (size_t i = 0; i < catalogue.size(); ++i) {
            if (matches(catalogue[i])) {
                return int32(i);
            }
        }
        return std::nullopt;
    };
    lookup.index = first([&](const OutputFormat& f) { return FoldForMatch(f.name) == wanted; });
    if (!lookup.index) {
        lookup.index = first([&](const OutputFormat& f) { return FoldForMatch(f.MIME) == wanted; });
    }
    if (!lookup.index && wanted.find('/') == std::string::npos) {
        const std::string extension =
            !wanted.empty() && wanted[0] == '.' ? wanted.substr(1) : wanted;
        lookup.index = first([&](const OutputFormat& f) { return SameExtension(f, extension); });
    }
    if (!lookup.index) {
        lookup.error =
            catalogue.empty()
                ? std::string("aucun format de sortie : aucun traducteur n’est installé")
                : "format inconnu : « " + std::string(text) + " » (voir « orvane formats »)";
    }
    return lookup;
}

}  // namespace orv::cli
