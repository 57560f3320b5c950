// SPDX-License-Identifier: MIT
// Why no decoder took a file, said as a user knows files: an empty file, a file that is no
// picture (a text, a PDF), a picture in a format none of the add-ons reads (PSD), or a
// picture of a known format that is damaged beyond reading.
#pragma once

#include <string>

class BFile;
class BTranslatorRoster;

namespace orv {

struct UnreadableSource {
    std::string reason;  // French, for the user
    // Nothing a user would call a picture: a folder walk skips it rather than fail it.
    bool notAPicture = false;
};

// `type` is the file's MIME type as the system knows it (empty when unknown); `decoders` the
// roster that found no decoder for it.
UnreadableSource WhyNoDecoder(BFile& source, const std::string& type,
                              const BTranslatorRoster& decoders);

}  // namespace orv
