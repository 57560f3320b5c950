// SPDX-License-Identifier: MIT
// A translator that only declares formats: enough for the catalogue, which never translates.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/translation/Translator.h"

namespace orv::test {

inline translation_format Format(uint32 type, uint32 group, const char* mime, const char* name) {
    translation_format format{};
    format.type = type;
    format.group = group;
    format.quality = 0.5f;
    format.capability = 0.5f;
    std::strncpy(format.MIME, mime, sizeof(format.MIME) - 1);
    std::strncpy(format.name, name, sizeof(format.name) - 1);
    return format;
}

class FakeTranslator : public BTranslator {
public:
    FakeTranslator(std::vector<translation_format> outputs, std::string setting = "")
        : fOutputs(std::move(outputs)), fSetting(std::move(setting)) {}

    const char* TranslatorName() const override { return "Essai"; }
    const char* TranslatorInfo() const override { return "traducteur d'essai"; }
    int32 TranslatorVersion() const override { return 100; }
    const translation_format* InputFormats(int32* count) const override {
        *count = 0;
        return nullptr;
    }
    const translation_format* OutputFormats(int32* count) const override {
        *count = int32(fOutputs.size());
        return fOutputs.empty() ? nullptr : fOutputs.data();
    }
    status_t Identify(BPositionIO*, const translation_format*, BMessage*, translator_info*,
                      uint32) override {
        return B_NO_TRANSLATOR;
    }
    status_t Translate(BPositionIO*, const translator_info*, BMessage*, uint32,
                       BPositionIO*) override {
        return B_NO_TRANSLATOR;
    }
    status_t GetConfigurationMessage(BMessage* message) override {
        if (fSetting.empty()) {
            return B_ERROR;
        }
        return message->AddString("setting", fSetting);
    }

private:
    std::vector<translation_format> fOutputs;
    std::string fSetting;
};

}  // namespace orv::test
