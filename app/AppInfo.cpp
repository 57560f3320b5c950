// SPDX-License-Identifier: MIT
#include "app/AppInfo.h"

#include <algorithm>
#include <iterator>

namespace orv {

namespace {

constexpr AppResources kResources = {
    kAppSignature,
    B_SINGLE_LAUNCH,
    {2, 0, 0, B_APPV_GAMMA, 0, "Orvane",
     "Program and Tracker add-on to convert pictures\n"
     "Auteur : l’équipe Orvane <orvane@example.org>"},
};

// A variety past the last is a final release.
const char* VarietyName(uint32 variety) {
    return kVarietyNames[std::min<size_t>(variety, std::size(kVarietyNames) - 1)];
}

}  // namespace

const AppResources& Resources() {
    return kResources;
}

BMessage SupportedTypes() {
    BMessage types;
    types.AddString("types", "image");
    return types;
}

std::string VersionNumber(const version_info& version) {
    return std::to_string(version.major) + "." + std::to_string(version.middle) + "." +
           std::to_string(version.minor);
}

std::string VersionText() {
    const AppResources& resources = Resources();
    const version_info& version = resources.version;
    std::string text = std::string(version.short_info) + " " + VersionNumber(version) + " (" +
                       VarietyName(version.variety) + "/" + std::to_string(version.variety) +
                       ", interne " + std::to_string(version.internal) + ")\n";
    text += std::string(version.long_info) + "\n";
    text += std::string("Signature : ") + resources.signature +
            (resources.appFlags == B_SINGLE_LAUNCH ? " (lancement unique)" : "") + "\n";
    text += "Types pris en charge : ";
    const BMessage types = SupportedTypes();
    std::string type;
    for (int32 i = 0; types.FindString("types", i, &type) == B_OK; ++i) {
        text += (i > 0 ? ", " : "") + type;
    }
    return text + "\n";
}

}  // namespace orv
