// SPDX-License-Identifier: MIT
// BTranslator: one codec, offering input and output formats, able to identify a stream and
// translate between its formats and the bitmap interchange format.
//
// Translators live in add-ons: shared libraries in the translator folders, each exporting
//     extern "C" BTranslator* orv_make_translator(int32 n);
// which returns the add-on's n-th translator (a new object the roster owns), or nullptr
// past the last one.
#pragma once

#include "platform/support/DataIO.h"
#include "platform/support/Message.h"
#include "platform/translation/TranslationDefs.h"

class BView;

class BTranslator {
public:
    BTranslator();
    BTranslator(const BTranslator&) = delete;
    BTranslator& operator=(const BTranslator&) = delete;
    virtual ~BTranslator();

    virtual const char* TranslatorName() const = 0;
    virtual const char* TranslatorInfo() const = 0;
    virtual int32 TranslatorVersion() const = 0;

    virtual const translation_format* InputFormats(int32* count) const = 0;
    virtual const translation_format* OutputFormats(int32* count) const = 0;

    // B_OK and *outInfo filled when the stream holds a format this translator can turn into
    // outType (0 for any); B_NO_TRANSLATOR otherwise. The stream's position is restored.
    virtual status_t Identify(BPositionIO* source, const translation_format* format,
                              BMessage* ioExtension, translator_info* outInfo, uint32 outType) = 0;
    virtual status_t Translate(BPositionIO* source, const translator_info* info,
                               BMessage* ioExtension, uint32 outType, BPositionIO* destination) = 0;

    // The translator's settings as a view (B_ERROR when it has none) and as a message.
    virtual status_t MakeConfigurationView(BMessage* ioExtension, BView** outView,
                                           BRect* outExtent);
    virtual status_t GetConfigurationMessage(BMessage* ioExtension);
};

extern "C" {
using orv_make_translator_func = BTranslator* (*)(int32 n);
}
constexpr const char* kMakeTranslatorSymbol = "orv_make_translator";
