// SPDX-License-Identifier: MIT
#include "platform/translation/TranslatorRoster.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/storage/File.h"
#include "platform/storage/SafeWrite.h"
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

// The cache's layout; a cache of another version is ignored.
constexpr int32 kCacheVersion = 1;
// The cache is small; one that claims more is not ours.
constexpr off_t kMaxCacheBytes = off_t(4) << 20;

std::vector<translation_format> CopyFormats(const translation_format* formats, int32 count) {
    if (formats == nullptr || count <= 0) {
        return {};
    }
    return std::vector<translation_format>(formats, formats + count);
}

// What identifies an add-on file from one start to the next.
struct FileStamp {
    int64 size = 0;
    int64 modified = 0;  // nanoseconds
};

bool StampOf(const std::string& path, FileStamp* stamp) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    stamp->size = st.st_size;
    stamp->modified = int64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::string DefaultCachePath() {
    const std::string name = orv::CurrentProgramIdentity().name;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
        return std::string(cache) + "/" + name + "/translators.cache";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.cache/" + name + "/translators.cache";
    }
    return {};
}

}  // namespace

struct BTranslatorRoster::AddOn {
    std::string path;
    void* handle = nullptr;
    bool failed = false;
    ~AddOn() {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
};

// A translator, or, while its add-on is not loaded, what the add-on said of it last time.
struct BTranslatorRoster::Entry {
    std::unique_ptr<BTranslator> translator;
    AddOn* addOn = nullptr;  // null for a translator registered in this process
    int32 index = 0;         // its number in the add-on's orv_make_translator
    std::string name;
    std::string info;
    int32 version = 0;
    std::vector<translation_format> inputs;
    std::vector<translation_format> outputs;

    void Describe(const BTranslator& from) {
        name = from.TranslatorName();
        info = from.TranslatorInfo();
        version = from.TranslatorVersion();
        int32 count = 0;
        const translation_format* formats = from.InputFormats(&count);
        inputs = CopyFormats(formats, count);
        formats = from.OutputFormats(&count);
        outputs = CopyFormats(formats, count);
    }
    bool Reads(uint32 type, const char* mime) const {
        return std::any_of(inputs.begin(), inputs.end(), [&](const translation_format& f) {
            return (type != 0 && f.type == type) ||
                   (mime != nullptr && std::strcmp(f.MIME, mime) == 0);
        });
    }
    // How well it writes `type`: its quality × capability for it (1 for "any").
    float OutputWeight(uint32 type) const {
        if (type == B_TRANSLATOR_ANY_TYPE) {
            return 1.0f;
        }
        for (const translation_format& format : outputs) {
            if (format.type == type) {
                return format.quality * format.capability;
            }
        }
        return 0.0f;
    }
};

BTranslatorRoster::BTranslatorRoster() = default;

BTranslatorRoster::~BTranslatorRoster() {
    // The translators' code lives in the add-ons: delete them before unloading.
    fEntries.clear();
    fAddOns.clear();
}

BTranslatorRoster* BTranslatorRoster::Default() {
    static BTranslatorRoster* sDefault = [] {
        auto* roster = new BTranslatorRoster();
        roster->UseDescriptionCache(DefaultCachePath());
        for (const std::string& folder : DefaultFolders()) {
            roster->LoadFolder(folder.c_str());
        }
        roster->SaveDescriptionCache();
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
    auto entry = std::make_unique<Entry>();
    entry->translator.reset(translator);
    entry->Describe(*translator);
    std::lock_guard lock(fLock);
    fEntries.push_back(std::move(entry));
    if (id != nullptr) {
        *id = translator_id(fEntries.size());
    }
    return B_OK;
}

void BTranslatorRoster::AddFailure(const std::string& path, const std::string& reason) {
    std::lock_guard lock(fLock);
    fFailures.push_back({path, reason});
}

void BTranslatorRoster::UseDescriptionCache(std::string path) {
    std::lock_guard lock(fLock);
    fCachePath = std::move(path);
    fCache.MakeEmpty();
    fCacheChanged = false;
    if (fCachePath.empty()) {
        return;
    }
    BFile file(fCachePath.c_str(), B_READ_ONLY);
    off_t size = 0;
    if (file.InitCheck() != B_OK || file.GetSize(&size) != B_OK || size <= 0 ||
        size > kMaxCacheBytes) {
        return;
    }
    std::vector<uint8> bytes(static_cast<size_t>(size));
    BMessage read;
    if (file.ReadAt(0, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
        read.Unflatten(bytes.data(), bytes.size()) != B_OK ||
        read.GetInt32("version", 0) != kCacheVersion) {
        return;
    }
    fCache = std::move(read);
}

status_t BTranslatorRoster::SaveDescriptionCache() {
    std::lock_guard lock(fLock);
    if (fCachePath.empty() || !fCacheChanged) {
        return B_OK;
    }
    std::vector<uint8> bytes;
    fCache.RemoveName("version");
    fCache.AddInt32("version", kCacheVersion);
    if (status_t status = fCache.Flatten(&bytes); status != B_OK) {
        return status;
    }
    // A cache that cannot be written only costs the next start its speed.
    const std::string folder = fCachePath.substr(0, fCachePath.rfind('/'));
    for (size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
    orv::SafeWrite write;
    status_t status = write.Open(folder, 0600);
    if (status == B_OK) {
        status = write.File()->WriteExactly(bytes.data(), bytes.size());
    }
    if (status == B_OK) {
        status = write.Replace(fCachePath.substr(fCachePath.rfind('/') + 1).c_str());
    }
    fCacheChanged = status != B_OK;
    return status;
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
    std::lock_guard lock(fLock);
    if (std::find(fLoadedNames.begin(), fLoadedNames.end(), leaf) != fLoadedNames.end()) {
        return B_OK;  // shadowed by the same add-on from an earlier folder
    }
    FileStamp stamp;
    if (!fCachePath.empty() && StampOf(path, &stamp)) {
        BMessage described;
        for (int32 i = 0; fCache.FindMessage("addon", i, &described) == B_OK; ++i) {
            if (described.GetString("path", "") == std::string(path) &&
                described.GetInt64("size", -1) == stamp.size &&
                described.GetInt64("modified", -1) == stamp.modified &&
                AddDescribedAddOn(path, described) == B_OK) {
                fLoadedNames.push_back(leaf);
                return B_OK;
            }
        }
    }
    auto addOn = std::make_unique<AddOn>();
    addOn->path = path;
    std::vector<std::unique_ptr<BTranslator>> made;
    if (status_t status = OpenAddOn(*addOn, &made); status != B_OK) {
        return status;
    }
    const size_t firstEntry = fEntries.size();
    for (size_t n = 0; n < made.size(); ++n) {
        auto entry = std::make_unique<Entry>();
        entry->Describe(*made[n]);
        entry->translator = std::move(made[n]);
        entry->addOn = addOn.get();
        entry->index = int32(n);
        fEntries.push_back(std::move(entry));
    }
    fAddOns.push_back(std::move(addOn));
    fLoadedNames.push_back(leaf);
    if (!fCachePath.empty() && StampOf(path, &stamp)) {
        // Remembered, so that the next start need not load it to know what it does.
        BMessage described;
        described.AddString("path", path);
        described.AddInt64("size", stamp.size);
        described.AddInt64("modified", stamp.modified);
        for (size_t i = firstEntry; i < fEntries.size(); ++i) {
            const Entry& entry = *fEntries[i];
            BMessage translator;
            translator.AddString("name", entry.name);
            translator.AddString("info", entry.info);
            translator.AddInt32("version", entry.version);
            translator.AddData("inputs", B_RAW_TYPE, entry.inputs.data(),
                               ssize_t(entry.inputs.size() * sizeof(translation_format)));
            translator.AddData("outputs", B_RAW_TYPE, entry.outputs.data(),
                               ssize_t(entry.outputs.size() * sizeof(translation_format)));
            described.AddMessage("translator", &translator);
        }
        fCache.AddMessage("addon", &described);
        fCacheChanged = true;
    }
    return B_OK;
}

status_t BTranslatorRoster::AddDescribedAddOn(const std::string& path, const BMessage& described) {
    auto addOn = std::make_unique<AddOn>();
    addOn->path = path;
    std::vector<std::unique_ptr<Entry>> entries;
    BMessage translator;
    for (int32 n = 0; described.FindMessage("translator", n, &translator) == B_OK; ++n) {
        if (n >= kMaxTranslatorsPerAddOn) {
            return B_BAD_DATA;
        }
        auto entry = std::make_unique<Entry>();
        entry->addOn = addOn.get();
        entry->index = n;
        entry->name = translator.GetString("name", "");
        entry->info = translator.GetString("info", "");
        entry->version = translator.GetInt32("version", 0);
        for (auto [field, formats] :
             {std::pair{"inputs", &entry->inputs}, std::pair{"outputs", &entry->outputs}}) {
            const void* data = nullptr;
            ssize_t size = 0;
            if (translator.FindData(field, B_RAW_TYPE, 0, &data, &size) != B_OK ||
                size % ssize_t(sizeof(translation_format)) != 0) {
                return B_BAD_DATA;
            }
            const auto* first = static_cast<const translation_format*>(data);
            formats->assign(first, first + size / ssize_t(sizeof(translation_format)));
            for (translation_format& format : *formats) {
                format.MIME[sizeof format.MIME - 1] = '\0';
                format.name[sizeof format.name - 1] = '\0';
            }
        }
        entries.push_back(std::move(entry));
    }
    if (entries.empty()) {
        return B_BAD_DATA;
    }
    for (auto& entry : entries) {
        fEntries.push_back(std::move(entry));
    }
    fAddOns.push_back(std::move(addOn));
    return B_OK;
}

status_t BTranslatorRoster::OpenAddOn(AddOn& addOn,
                                      std::vector<std::unique_ptr<BTranslator>>* made) const {
    const auto fail = [&](const std::string& reason) {
        addOn.failed = true;
        fFailures.push_back({addOn.path, reason});
        return orv::Fail(B_ERROR, reason);
    };
    // NODELETE: codec libraries register exit handlers and thread-local state that must
    // outlive the roster, and a report about their memory must still name their code.
    addOn.handle = dlopen(addOn.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (addOn.handle == nullptr) {
        const char* error = dlerror();
        return fail(std::string("module illisible : ") + (error ? error : "?"));
    }
    auto make =
        reinterpret_cast<orv_make_translator_func>(dlsym(addOn.handle, kMakeTranslatorSymbol));
    if (make == nullptr) {
        return fail("ce module n'est pas un traducteur (orv_make_translator absent)");
    }
    for (int32 n = 0; n < kMaxTranslatorsPerAddOn; ++n) {
        BTranslator* translator = make(n);
        if (translator == nullptr) {
            break;
        }
        made->emplace_back(translator);
    }
    if (made->empty()) {
        return fail("ce module ne fournit aucun traducteur");
    }
    return B_OK;
}

void BTranslatorRoster::LoadDescribed(AddOn& addOn) const {
    std::vector<std::unique_ptr<BTranslator>> made;
    if (OpenAddOn(addOn, &made) != B_OK) {
        return;
    }
    std::vector<Entry*> described;
    for (const auto& entry : fEntries) {
        if (entry->addOn == &addOn) {
            described.push_back(entry.get());
        }
    }
    if (described.size() != made.size()) {
        addOn.failed = true;
        fFailures.push_back({addOn.path, "ce module a changé depuis son dernier chargement"});
        return;
    }
    for (size_t n = 0; n < made.size(); ++n) {
        described[n]->translator = std::move(made[n]);
    }
}

std::vector<BTranslatorRoster::LoadFailure> BTranslatorRoster::LoadFailures() const {
    std::lock_guard lock(fLock);
    return fFailures;
}

BTranslator* BTranslatorRoster::Translator(translator_id id) const {
    std::lock_guard lock(fLock);
    if (id == 0 || id > fEntries.size()) {
        return nullptr;
    }
    Entry& entry = *fEntries[id - 1];
    if (entry.translator == nullptr && entry.addOn != nullptr && !entry.addOn->failed) {
        LoadDescribed(*entry.addOn);
    }
    return entry.translator.get();
}

status_t BTranslatorRoster::GetAllTranslators(translator_id** ids, int32* count) const {
    if (ids == nullptr || count == nullptr) {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(fLock);
    *count = int32(fEntries.size());
    *ids = nullptr;
    if (fEntries.empty()) {
        return B_OK;
    }
    *ids = new translator_id[fEntries.size()];
    for (size_t i = 0; i < fEntries.size(); ++i) {
        (*ids)[i] = translator_id(i + 1);
    }
    return B_OK;
}

status_t BTranslatorRoster::GetTranslatorInfo(translator_id id, const char** name,
                                              const char** info, int32* version) const {
    std::lock_guard lock(fLock);
    if (id == 0 || id > fEntries.size()) {
        return B_NO_TRANSLATOR;
    }
    const Entry& entry = *fEntries[id - 1];
    if (name != nullptr) {
        *name = entry.name.c_str();
    }
    if (info != nullptr) {
        *info = entry.info.c_str();
    }
    if (version != nullptr) {
        *version = entry.version;
    }
    return B_OK;
}

status_t BTranslatorRoster::GetOutputFormats(translator_id id, const translation_format** formats,
                                             int32* count) const {
    if (formats == nullptr || count == nullptr) {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(fLock);
    if (id == 0 || id > fEntries.size()) {
        return B_NO_TRANSLATOR;
    }
    const Entry& entry = *fEntries[id - 1];
    *formats = entry.outputs.data();
    *count = int32(entry.outputs.size());
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

std::vector<std::pair<translator_id, BTranslator*>> BTranslatorRoster::Candidates(
    uint32 hintType, const char* hintMIME, bool all) const {
    const bool hinted = hintType != 0 || (hintMIME != nullptr && *hintMIME != '\0');
    std::vector<std::pair<translator_id, BTranslator*>> candidates;
    std::lock_guard lock(fLock);
    for (size_t i = 0; i < fEntries.size(); ++i) {
        Entry& entry = *fEntries[i];
        if (entry.translator == nullptr && entry.addOn != nullptr && !entry.addOn->failed &&
            (all || !hinted || entry.Reads(hintType, hintMIME))) {
            LoadDescribed(*entry.addOn);
        }
        if (entry.translator != nullptr) {
            candidates.emplace_back(translator_id(i + 1), entry.translator.get());
        }
    }
    return candidates;
}

status_t BTranslatorRoster::Identify(BPositionIO* source, BMessage* ioExtension,
                                     translator_info* info, uint32 hintType, const char* hintMIME,
                                     uint32 wantType) {
    if (source == nullptr || info == nullptr) {
        return B_BAD_VALUE;
    }
    const off_t start = source->Position();
    bool found = false;
    // The translators loaded and those the hints point to first; every one only when none
    // of them reads the stream.
    for (bool all : {false, true}) {
        float bestScore = -1;
        bool bestHinted = false;
        for (const auto& [id, translator] : Candidates(hintType, hintMIME, all)) {
            source->Seek(start, SEEK_FROM_START);
            translator_info candidate{};
            if (translator->Identify(source, nullptr, ioExtension, &candidate, wantType) != B_OK) {
                continue;
            }
            float weight = 0;
            {
                std::lock_guard lock(fLock);
                weight = fEntries[id - 1]->OutputWeight(wantType);
            }
            const float score = candidate.quality * candidate.capability * weight;
            const bool hinted = (hintType != 0 && candidate.type == hintType) ||
                                (hintMIME != nullptr && std::strcmp(candidate.MIME, hintMIME) == 0);
            if (!found || score > bestScore || (score == bestScore && hinted && !bestHinted)) {
                found = true;
                bestScore = score;
                bestHinted = hinted;
                *info = candidate;
                info->translator = id;
            }
        }
        if (found) {
            break;
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
    for (size_t i = 0; i < fEntries.size(); ++i) {
        const Entry& entry = *fEntries[i];
        float inputWeight = 0;
        for (const translation_format& input : entry.inputs) {
            if (input.type == B_TRANSLATOR_BITMAP) {
                inputWeight = input.quality * input.capability;
                break;
            }
        }
        const float score = inputWeight * entry.OutputWeight(type);
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
