// SPDX-License-Identifier: MIT
#include "platform/translation/Translator.h"

BTranslator::BTranslator() = default;

BTranslator::~BTranslator() = default;

status_t BTranslator::MakeConfigurationView(BMessage*, BView**, BRect*) {
    return B_ERROR;
}

status_t BTranslator::GetConfigurationMessage(BMessage*) {
    return B_ERROR;
}
