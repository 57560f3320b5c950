// SPDX-License-Identifier: MIT
#include "platform/translation/PictureTranslation.h"

#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ImageTranslator.h"

namespace orv {

namespace {

// A translator of another kind takes its one picture through the interchange stream.
class StreamWriter final : public PictureWriter {
public:
    StreamWriter(BTranslator& translator, translator_id id, uint32 type, BPositionIO& destination)
        : fTranslator(translator), fId(id), fType(type), fDestination(destination) {}

    status_t Begin(const PictureInfo&) override { return B_OK; }

    status_t WriteFrame(const BBitmap& frame, const FrameTiming&) override {
        if (fWritten) {
            return Fail(B_NOT_ALLOWED, "ce format ne garde qu'une image par fichier");
        }
        fWritten = true;
        // The stream only reads the bitmap it is lent, and gives it back before returning.
        BBitmapStream stream(const_cast<BBitmap*>(&frame));
        translator_info info{};
        info.type = B_TRANSLATOR_BITMAP;
        info.translator = fId;
        info.group = B_TRANSLATOR_BITMAP;
        const status_t status =
            fTranslator.Translate(&stream, &info, nullptr, fType, &fDestination);
        BBitmap* lent = nullptr;
        stream.DetachBitmap(&lent);
        if (status != B_OK && ErrorReason().empty()) {
            return Fail(status, "l'encodage a échoué");
        }
        return status;
    }

    status_t Finish() override { return fWritten ? B_OK : Fail(B_ERROR, "aucune image à écrire"); }

private:
    BTranslator& fTranslator;
    translator_id fId;
    uint32 fType;
    BPositionIO& fDestination;
    bool fWritten = false;
};

}  // namespace

status_t OpenPicture(BPositionIO& source, BTranslatorRoster* roster,
                     std::unique_ptr<PictureReader>* reader, const char* hintMIME) {
    reader->reset();
    if (roster == nullptr) {
        roster = BTranslatorRoster::Default();
    }
    ClearErrorReason();
    translator_info info{};
    if (status_t status =
            roster->Identify(&source, nullptr, &info, 0, hintMIME, B_TRANSLATOR_BITMAP);
        status != B_OK) {
        return status;
    }
    BTranslator* translator = roster->Translator(info.translator);
    if (translator == nullptr) {
        return Fail(B_NO_TRANSLATOR, "traducteur inconnu");
    }
    if (auto* own = dynamic_cast<ImageTranslator*>(translator); own != nullptr) {
        const status_t status = own->OpenReader(source, reader);
        if (status != B_OK && ErrorReason().empty()) {
            return Fail(status, "image illisible");
        }
        return status;
    }
    BBitmapStream decoded;
    status_t status = translator->Translate(&source, &info, nullptr, B_TRANSLATOR_BITMAP, &decoded);
    BBitmap* bitmap = nullptr;
    if (status == B_OK && decoded.DetachBitmap(&bitmap) != B_OK) {
        status = B_ERROR;
    }
    if (status != B_OK) {
        return ErrorReason().empty() ? Fail(status, "image illisible") : status;
    }
    DecodedImage picture;
    picture.bitmap.reset(bitmap);
    *reader = std::make_unique<SingleImageReader>(std::move(picture));
    return B_OK;
}

status_t OpenPictureWriter(BTranslatorRoster* roster, uint32 type, BPositionIO& destination,
                           PictureOutput* output) {
    *output = PictureOutput{};
    if (roster == nullptr) {
        roster = BTranslatorRoster::Default();
    }
    translator_id id = 0;
    if (status_t status = roster->FindWriter(type, &id); status != B_OK) {
        return status;
    }
    BTranslator* translator = roster->Translator(id);
    if (translator == nullptr) {
        return Fail(B_NO_TRANSLATOR, "traducteur inconnu");
    }
    if (auto* own = dynamic_cast<ImageTranslator*>(translator); own != nullptr) {
        output->traits = own->Writes();
        output->settings = &own->Settings();
        return own->OpenWriter(type, destination, &output->writer);
    }
    output->writer = std::make_unique<StreamWriter>(*translator, id, type, destination);
    return B_OK;
}

}  // namespace orv
