// SPDX-License-Identifier: MIT
// Settings files are text anyone can edit: parsing must take anything, keep every value
// within its schema, and what it writes back must read back the same.
#include <cstdlib>
#include <string>

#include "platform/translation/TranslatorSettings.h"

namespace {

constexpr orv::SettingChoice kChoices[] = {{-3, "moins"}, {0, "zéro"}, {7, "sept"}};
constexpr orv::SettingSchema kSchema[] = {
    {"quality", orv::SettingSchema::Kind::Int, "Qualité", 90, 1, 100},
    {"negative", orv::SettingSchema::Kind::Int, "Négatif", -5, -2147483647 - 1, -1},
    {"flag", orv::SettingSchema::Kind::Bool, "Drapeau", 1},
    {"mode", orv::SettingSchema::Kind::Choice, "Mode", 0, 0, 0, kChoices},
};

bool WithinSchema(const orv::TranslatorSettings& settings) {
    const int32 quality = settings.Int32("quality");
    const int32 flag = settings.Int32("flag");
    const int32 mode = settings.Int32("mode");
    return quality >= 1 && quality <= 100 && settings.Int32("negative") <= -1 &&
           (flag == 0 || flag == 1) && (mode == -3 || mode == 0 || mode == 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orv::TranslatorSettings settings("fuzz", kSchema);
    settings.Parse(std::string(reinterpret_cast<const char*>(data), size));
    if (!WithinSchema(settings)) {
        std::abort();
    }
    const std::string text = settings.Serialize();
    orv::TranslatorSettings again("fuzz", kSchema);
    again.Parse(text);
    if (again.Serialize() != text) {
        std::abort();
    }
    return 0;
}
