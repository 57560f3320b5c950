// SPDX-License-Identifier: MIT
#include "platform/translation/TranslatorRoster.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"

namespace {

// An add-on that answers more than this is not counting.
constexpr int32 kMaxTranslatorsPerAddOn = 64;

std::string LeafName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

}  // namespace

struct BTranslatorRoster::AddOn {
    void* handle = nullptr;
    ~AddOn() {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
};

BTranslatorRoster::BTranslatorRoster() = default;

BTranslatorRoster::~BTranslatorRoster() {
    // The translators' code lives in the add-ons: delete them before unloading.
    fTranslators.clear();
    fAddOns.clear();
}

BTranslatorRoster* BTranslatorRoster::Default() {
    static BTranslatorRoster* sDefault = [] {
        auto* roster = new BTranslatorRoster();
        for (const std::string& folder : DefaultFolders()) {
            roster->LoadFolder(folder.c_str());
        }
        return roster;
    }();
    return sDefault;
}

std::vector<std::string> BTranslatorRoster::DefaultFolders() {
    const orv::ProgramIdentity identity = orv::CurrentProgramIdentity();
    std::vector<std::string> folders;
    if (const char* list = orv::ProgramEnvironment("TRANSLATORS"); list != nullptr) {
        std::string rest(list);
        for (size_t start = 0; start <= rest.size();) {
            size_t colon = rest.find(':', start);
            if (colon == std::string::npos) {
                colon = rest.size();
            }
            if (colon > start) {
                folders.push_back(rest.substr(start, colon - start));
            }
            start = colon + 1;
        }
    }
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        std::string directory(exe, size_t(length));
        directory.erase(directory.rfind('/'));
        folders.push_back(directory + "/../" + identity.installedTranslators);
        // In a build folder the add-ons sit in translators/ beside the program's folder,
        // so a freshly built program runs without being installed.
        folders.push_back(directory + "/../translators");
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        folders.push_back(std::string(home) + "/.local/lib/" + identity.name + "/translators");
    }
    return folders;
}

status_t BTranslatorRoster::AddTranslator(BTranslator* translator, translator_id* id) {
    if (translator == nullptr) {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(fLock);
    fTranslators.emplace_back(translator);
    if (id != nullptr) {
        *id = translator_id(fTranslators.size());
    }
    return B_OK;
}

void BTranslatorRoster::AddFailure(const std::string& path, const std::string& reason) {
    std::lock_guard lock(fLock);
    fFailures.push_back({path, reason});
}

status_t BTranslatorRoster::LoadFolder(const char* folder) {
    if (folder == nullptr) {
        return B_BAD_VALUE;
    }
    DIR* directory = opendir(folder);
    if (directory == nullptr) {
        return B_OK;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (EndsWith(name, ".so")) {
            names.push_back(name);
        }
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        LoadAddOn((std::string(folder) + "/" + name).c_str());
    }
    return B_OK;
}

status_t BTranslatorRoster::LoadAddOn(const char* path) {
    if (path == nullptr) {
        return B_BAD_VALUE;
    }
    const std::string leaf = LeafName(path);
    {
        std::lock_guard lock(fLock);
        if (std::find(fLoadedNames.begin(), fLoadedNames.end(), leaf) != fLoadedNames.end()) {
            return B_OK;  // shadowed by the same add-on from an earlier folder
        }
    }
    auto addOn = std::make_unique<AddOn>();
    // NODELETE: codec libraries register exit handlers and thread-local state that must
    // outlive the roster, and a report about their memory must still name their code.
    addOn->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (addOn->handle == nullptr) {
        const char* error = dlerror();
        const std::string reason = std::string("module illisible : ") + (error ? error : "?");
        AddFailure(path, reason);
        return orv::Fail(B_ERROR, reason);
    }
    auto make =
        reinterpret_cast<orv_make_translator_func>(dlsym(addOn->handle, kMakeTranslatorSymbol));
    if (make == nullptr) {
        AddFailure(path, "ce module n'est pas un traducteur (orv_make_translator absent)");
        return orv::Fail(B_ERROR, "ce module n'est pas un traducteur");
    }
    std::vector<std::unique_ptr<BTranslator>> made;
    for (int32 n = 0; n < kMaxTranslatorsPerAddOn; ++n) {
        BTranslator* translator = make(n);
        if (translator == nullptr) {
            break;
        }
        made.emplace_back(translator);
    }
    if (made.empty()) {
        AddFailure(path, "ce module ne fournit aucun traducteur");
        return orv::Fail(B_ERROR, "ce module ne fournit aucun traducteur");
    }
    std::lock_guard lock(fLock);
    for (auto& translator : made) {
        fTranslators.push_back(std::move(translator));
    }
    fAddOns.push_back(std::move(addOn));
    fLoadedNames.push_back(leaf);
    return B_OK;
}

std::vector<BTranslatorRoster::LoadFailure> BTranslatorRoster::LoadFailures() const {
    std::lock_guard lock(fLock);
    return fFailures;
}

BTranslator* BTranslatorRoster::Translator(translator_id id) const {
    std::lock_guard lock(fLock);
    if (id == 0 || id > fTranslators.size()) {
        return nullptr;
    }
    return fTranslators[id - 1].get();
}

status_t BTranslatorRoster::GetAllTranslators(translator_id** ids, int32* count) const {
    if (ids == nullptr || count == nullptr) {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(fLock);
    *count = int32(fTranslators.size());
    *ids = nullptr;
    if (fTranslators.empty()) {
        return B_OK;
    }
    *ids = new translator_id[fTranslators.size()];
    for (size_t i = 0; i < fTranslators.size(); ++i) {
        (*ids)[i] = translator_id(i + 1);
    }
    return B_OK;
}

status_t BTranslatorRoster::GetTranslatorInfo(translator_id id, const char** name,
                                              const char** info, int32* version) const {
    BTranslator* translator = Translator(id);
    if (translator == nullptr) {
        return B_NO_TRANSLATOR;
    }
    if (name != nullptr) {
        *name = translator->TranslatorName();
    }
    if (info != nullptr) {
        *info = translator->TranslatorInfo();
    }
    if (version != nullptr) {
        *version = translator->TranslatorVersion();
    }
    return B_OK;
}

status_t BTranslatorRoster::GetOutputFormats(translator_id id, const translation_format** formats,
                                             int32* count) const {
    BTranslator* translator = Translator(id);
    if (formats == nullptr || count == nullptr) {
        return B_BAD_VALUE;
    }
    if (translator == nullptr) {
        return B_NO_TRANSLATOR;
    }
    *formats = translator->OutputFormats(count);
    return B_OK;
}

status_t BTranslatorRoster::GetConfigurationMessage(translator_id id, BMessage* ioExtension) {
    BTranslator* translator = Translator(id);
    if (ioExtension == nullptr) {
        return B_BAD_VALUE;
    }
    return translator != nullptr ? translator->GetConfigurationMessage(ioExtension)
                                 : B_NO_TRANSLATOR;
}

status_t BTranslatorRoster::MakeConfigurationView(translator_id id, BMessage* ioExtension,
                                                  BView** outView, BRect* outExtent) {
    BTranslator* translator = Translator(id);
    if (outView == nullptr || outExtent == nullptr) {
        return B_BAD_VALUE;
    }
    return translator != nullptr
               ? translator->MakeConfigurationView(ioExtension, outView, outExtent)
               : B_NO_TRANSLATOR;
}

namespace {

// How well `translator` writes `type`: its quality × capability for it (1 for "any").
float OutputWeight(const BTranslator& translator, uint32 type) {
    if (type == B_TRANSLATOR_ANY_TYPE) {
        return 1.0f;
    }
    int32 count = 0;
    const translation_format* formats = translator.OutputFormats(&count);
    for (int32 i = 0; formats != nullptr && i < count; ++i) {
        if (formats[i].type == type) {
            return formats[i].quality * formats[i].capability;
        }
    }
    return 0.0f;
}

}  // namespace

status_t BTranslatorRoster::Identify(BPositionIO* source, BMessage* ioExtension,
                                     translator_info* info, uint32 hintType, const char* hintMIME,
                                     uint32 wantType) {
    if (source == nullptr || info == nullptr) {
        return B_BAD_VALUE;
    }
    std::vector<BTranslator*> translators;
    {
        std::lock_guard lock(fLock);
        for (const auto& translator : fTranslators) {
            translators.push_back(translator.get());
        }
    }
    const off_t start = source->Position();
    bool found = false;
    float bestScore = -1;
    bool bestHinted = false;
    for (size_t i = 0; i < translators.size(); ++i) {
        source->Seek(start, SEEK_FROM_START);
        translator_info candidate{};
        if (translators[i]->Identify(source, nullptr, ioExtension, &candidate, wantType) != B_OK) {
            continue;
        }
        const float score =
            candidate.quality * candidate.capability * OutputWeight(*translators[i], wantType);
        const bool hinted = (hintType != 0 && candidate.type == hintType) ||
                            (hintMIME != nullptr && std::strcmp(candidate.MIME, hintMIME) == 0);
        if (!found || score > bestScore || (score == bestScore && hinted && !bestHinted)) {
            found = true;
            bestScore = score;
            bestHinted = hinted;
            *info = candidate;
            info->translator = translator_id(i + 1);
        }
    }
    source->Seek(start, SEEK_FROM_START);
    if (!found) {
        return orv::Fail(B_NO_TRANSLATOR,
                         wantType == B_TRANSLATOR_ANY_TYPE || wantType == B_TRANSLATOR_BITMAP
                             ? "aucun traducteur ne sait lire ce fichier"
                             : "aucun traducteur ne sait écrire ce format");
    }
    return B_OK;
}

status_t BTranslatorRoster::FindWriter(uint32 type, translator_id* id) const {
    if (id == nullptr) {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(fLock);
    float bestScore = 0;
    *id = 0;
    for (size_t i = 0; i < fTranslators.size(); ++i) {
        const BTranslator& translator = *fTranslators[i];
        int32 count = 0;
        const translation_format* inputs = translator.InputFormats(&count);
        float inputWeight = 0;
        for (int32 k = 0; inputs != nullptr && k < count; ++k) {
            if (inputs[k].type == B_TRANSLATOR_BITMAP) {
                inputWeight = inputs[k].quality * inputs[k].capability;
                break;
            }
        }
        const float score = inputWeight * OutputWeight(translator, type);
        if (score > bestScore) {
            bestScore = score;
            *id = translator_id(i + 1);
        }
    }
    return *id != 0 ? B_OK
                    : orv::Fail(B_NO_TRANSLATOR, "aucun traducteur ne sait écrire ce format");
}

status_t BTranslatorRoster::Translate(BPositionIO* source, const translator_info* info,
                                      BMessage* ioExtension, BPositionIO* destination,
                                      uint32 wantOutType, uint32 hintType, const char* hintMIME) {
    if (source == nullptr || destination == nullptr) {
        return B_BAD_VALUE;
    }
    translator_info chosen{};
    if (info == nullptr) {
        if (status_t status =
                Identify(source, ioExtension, &chosen, hintType, hintMIME, wantOutType);
            status != B_OK) {
            return status;
        }
        info = &chosen;
    }
    BTranslator* translator = Translator(info->translator);
    if (translator == nullptr) {
        return orv::Fail(B_NO_TRANSLATOR, "traducteur inconnu");
    }
    return translator->Translate(source, info, ioExtension, wantOutType, destination);
}
