// SPDX-License-Identifier: MIT
// BTranslationUtils: a picture file or stream into a new bitmap, through the roster.
#pragma once

#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/support/EntryRef.h"
#include "platform/translation/TranslatorRoster.h"

class BTranslationUtils {
public:
    // A new bitmap the caller owns, or null when the file cannot be read or no translator
    // reads it; the reason is then set on this thread. A null roster means the default.
    static BBitmap* GetBitmap(const entry_ref* ref, BTranslatorRoster* roster = nullptr);
    static BBitmap* GetBitmap(BPositionIO* stream, BTranslatorRoster* roster = nullptr);

    // The same with the status, for callers that list failures: B_OK and *bitmap set, or
    // the error with the reason set and *bitmap empty.
    static status_t GetBitmap(const entry_ref* ref, std::unique_ptr<BBitmap>* bitmap,
                              BTranslatorRoster* roster = nullptr);
    static status_t GetBitmap(BPositionIO* stream, std::unique_ptr<BBitmap>* bitmap,
                              BTranslatorRoster* roster = nullptr);
};
