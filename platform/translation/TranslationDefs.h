// SPDX-License-Identifier: MIT
// Records and constants of the translation kit.
#pragma once

#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

using translator_id = uint32;

// Both the group of all picture formats and the type code of the bitmap interchange format.
constexpr uint32 B_TRANSLATOR_BITMAP = FourCC("bits");
constexpr uint32 B_TRANSLATOR_ANY_TYPE = 0;

constexpr int32 B_MIME_TYPE_LENGTH = 251;

// One format a translator reads or writes.
struct translation_format {
    uint32 type;       // four-character type code of the format
    uint32 group;      // B_TRANSLATOR_BITMAP for pictures
    float quality;     // how faithfully the translator handles the format, 0 to 1
    float capability;  // how much of the format it handles, 0 to 1
    char MIME[B_MIME_TYPE_LENGTH];
    char name[B_MIME_TYPE_LENGTH];
};

// What Identify found: the format of a stream and the translator that can read it.
struct translator_info {
    uint32 type;
    translator_id translator;
    uint32 group;
    float quality;
    float capability;
    char name[B_MIME_TYPE_LENGTH];
    char MIME[B_MIME_TYPE_LENGTH];
};

// Header of the bitmap interchange format, stored big-endian in the stream and followed by
// dataSize bytes of pixels, rowBytes per row.
struct TranslatorBitmap {
    uint32 magic;  // B_TRANSLATOR_BITMAP
    BRect bounds;
    uint32 rowBytes;
    color_space colors;
    uint32 dataSize;
};
constexpr size_t kTranslatorBitmapHeaderSize = 32;
