// SPDX-License-Identifier: MIT
#include "app/AppInfo.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>

#include "conversion/OutputFormat.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {

namespace {

constexpr AppResources kResources = {
    kAppSignature,
    B_SINGLE_LAUNCH,
    {2, 0, 0, B_APPV_GAMMA, 0, "Orvane",
     "Convertit des images par lots, depuis sa fenêtre, le gestionnaire de fichiers ou la "
     "ligne de commande.\n"
     "Auteur : l’équipe Orvane <orvane@example.org>"},
};

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// `path` without the "build/app/../translators" detours, for a reader.
std::string CleanPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real != nullptr ? std::string(real.get()) : path;
}

// Names each once, in their first order.
void AddOnce(std::vector<std::string>* names, std::string name) {
    if (std::find(names->begin(), names->end(), name) == names->end()) {
        names->push_back(std::move(name));
    }
}

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

std::string VersionText(BTranslatorRoster* roster) {
    const version_info& version = Resources().version;
    std::string text = std::string(version.short_info) + " " + VersionNumber(version) +
                       ", version " + VarietyName(version.variety) + "\n";
    text += std::string(version.long_info) + "\n\n";

    std::vector<std::string> read;
    for (const translation_format& format : ReadableFormats(*roster)) {
        AddOnce(&read, FormatShortName(format.name));
    }
    std::vector<std::string> written;
    for (const OutputFormat& format : BuildOutputFormats(roster)) {
        AddOnce(&written, FormatShortName(format.name));
    }
    text += "Formats lus : " + (read.empty() ? std::string("aucun") : Joined(read)) + "\n";
    text += "Formats écrits : " + (written.empty() ? std::string("aucun") : Joined(written)) + "\n";

    const std::vector<std::string> loaded = roster->AddOnPaths();
    if (loaded.empty()) {
        text += "Aucun module de formats n’a été trouvé.\n";
    }
    // The add-ons by folder, in the order the folders were read.
    std::vector<std::pair<std::string, std::vector<std::string>>> folders;
    for (const std::string& path : loaded) {
        const size_t slash = path.rfind('/');
        const std::string folder =
            CleanPath(slash == std::string::npos ? "." : path.substr(0, slash));
        const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
        if (folders.empty() || folders.back().first != folder) {
            folders.push_back({folder, {}});
        }
        folders.back().second.push_back(leaf);
    }
    for (const auto& [folder, leaves] : folders) {
        text += "Modules chargés depuis " + folder + " : " + Joined(leaves) + "\n";
    }
    for (const BTranslatorRoster::LoadFailure& failure : roster->LoadFailures()) {
        text += "Module non chargé : " + failure.path + " (" + failure.reason + ")\n";
    }
    return text;
}

}  // namespace orv
