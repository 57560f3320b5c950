// SPDX-License-Identifier: MIT
#include "platform/translation/TranslationUtils.h"

#include "platform/storage/File.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"

status_t BTranslationUtils::GetBitmap(BPositionIO* stream, std::unique_ptr<BBitmap>* bitmap,
                                      BTranslatorRoster* roster) {
    if (bitmap == nullptr) {
        return B_BAD_VALUE;
    }
    bitmap->reset();
    if (stream == nullptr) {
        return orv::Fail(B_BAD_VALUE, "aucun fichier à lire");
    }
    if (roster == nullptr) {
        roster = BTranslatorRoster::Default();
    }
    orv::ClearErrorReason();
    // A translator of this process hands its new bitmap to the stream itself, so the
    // pixels are written once, by the decoder, and never copied.
    BBitmapStream decoded;
    status_t status = roster->Translate(stream, nullptr, nullptr, &decoded, B_TRANSLATOR_BITMAP);
    BBitmap* result = nullptr;
    if (status == B_OK && decoded.DetachBitmap(&result) != B_OK) {
        status = orv::Fail(B_ERROR, "le traducteur n'a rendu aucune image");
    }
    if (status != B_OK) {
        if (orv::ErrorReason().empty()) {
            orv::SetErrorReason("image illisible");
        }
        return status;
    }
    bitmap->reset(result);
    return B_OK;
}

status_t BTranslationUtils::GetBitmap(const entry_ref* ref, std::unique_ptr<BBitmap>* bitmap,
                                      BTranslatorRoster* roster) {
    if (bitmap == nullptr) {
        return B_BAD_VALUE;
    }
    bitmap->reset();
    if (ref == nullptr) {
        return orv::Fail(B_BAD_VALUE, "aucun fichier à lire");
    }
    orv::ClearErrorReason();
    BFile file(ref, B_READ_ONLY);
    if (status_t status = file.InitCheck(); status != B_OK) {
        if (orv::ErrorReason().empty()) {
            orv::SetErrorReason(StatusText(status));
        }
        return status;
    }
    return GetBitmap(static_cast<BPositionIO*>(&file), bitmap, roster);
}

BBitmap* BTranslationUtils::GetBitmap(const entry_ref* ref, BTranslatorRoster* roster) {
    std::unique_ptr<BBitmap> bitmap;
    GetBitmap(ref, &bitmap, roster);
    return bitmap.release();
}

BBitmap* BTranslationUtils::GetBitmap(BPositionIO* stream, BTranslatorRoster* roster) {
    std::unique_ptr<BBitmap> bitmap;
    GetBitmap(stream, &bitmap, roster);
    return bitmap.release();
}
