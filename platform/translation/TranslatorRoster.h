// SPDX-License-Identifier: MIT
// BTranslatorRoster: the translators a program can use, each under a translator_id.
//
// The shared roster (Default) loads the add-ons of the translator folders on first use:
// the folders of $PREFIX_TRANSLATORS (colon-separated), then the folder installed beside
// the executable, then ~/.local/lib/NAME/translators (PREFIX and NAME: the program's, see
// ProgramIdentity.h). An add-on whose file name was
// already loaded from an earlier folder is skipped, so a development build can shadow the
// installed translators. Add-ons that fail to load are skipped and listed with a reason.
//
// A program that converts one file should not pay for loading every codec library: with a
// description cache (UseDescriptionCache, which Default sets), an add-on seen before with the
// same size and time is only described from the cache, and loaded when one of its
// translators is first needed: to write its format, to show its settings, or to read a file
// whose MIME type one of its input formats names (or any file no loaded translator reads).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/support/Message.h"
#include "platform/translation/Translator.h"

class BTranslatorRoster {
public:
    struct LoadFailure {
        std::string path;
        std::string reason;  // French, for the user
    };

    // An empty roster: nothing is loaded until asked.
    BTranslatorRoster();
    BTranslatorRoster(const BTranslatorRoster&) = delete;
    BTranslatorRoster& operator=(const BTranslatorRoster&) = delete;
    // Deletes the translators, then unloads their add-ons.
    virtual ~BTranslatorRoster();

    // The shared roster, loaded on first use; never freed.
    static BTranslatorRoster* Default();
    // The folders Default() reads, in order.
    static std::vector<std::string> DefaultFolders();

    // Registers a translator in this process; the roster owns it from then on.
    status_t AddTranslator(BTranslator* translator, translator_id* id = nullptr);
    // Describes the add-ons of later LoadFolder calls from the cache file at `path` where it
    // still matches them, loading them only when needed, and records there those it had to
    // load. An unreadable or damaged cache is ignored and rewritten.
    void UseDescriptionCache(std::string path);
    // Every add-on (*.so) of `folder`, in name order, loaded (or, with a description cache,
    // described); a missing folder is no error.
    status_t LoadFolder(const char* folder);
    // Writes the description cache when LoadFolder learned something new.
    status_t SaveDescriptionCache();
    // Loads one add-on and registers every translator it makes.
    status_t LoadAddOn(const char* path);
    std::vector<LoadFailure> LoadFailures() const;

    // The ids of all translators, in the order they were added; the caller delete[]s the
    // array (null when there is none).
    status_t GetAllTranslators(translator_id** ids, int32* count) const;
    status_t GetTranslatorInfo(translator_id id, const char** name, const char** info,
                               int32* version) const;
    // The array stays owned by the translator and valid while the roster lives.
    status_t GetOutputFormats(translator_id id, const translation_format** formats,
                              int32* count) const;
    status_t GetConfigurationMessage(translator_id id, BMessage* ioExtension);
    status_t MakeConfigurationView(translator_id id, BMessage* ioExtension, BView** outView,
                                   BRect* outExtent);
    // The translator itself, loading its add-on when it was only described; null for an
    // unknown id or an add-on that failed to load.
    BTranslator* Translator(translator_id id) const;

    // The translator that reads `source` best, able to turn it into wantType (0 for any):
    // the highest quality × capability of the stream's format, weighed by the translator's
    // quality × capability for wantType. Ties go to the earlier translator; a stream whose
    // format or MIME type matches the hint wins a tie. B_NO_TRANSLATOR when none.
    status_t Identify(BPositionIO* source, BMessage* ioExtension, translator_info* info,
                      uint32 hintType = 0, const char* hintMIME = nullptr, uint32 wantType = 0);
    // The translator Translate would choose to write a bitmap as `type`: among those that
    // read the interchange format and write `type`, the highest product of the two formats'
    // quality × capability; ties go to the earlier translator. B_NO_TRANSLATOR when none.
    status_t FindWriter(uint32 type, translator_id* id) const;
    // Translates `source` into `destination` as wantOutType, with the translator of `info`,
    // or, when info is null, the one Identify chooses.
    status_t Translate(BPositionIO* source, const translator_info* info, BMessage* ioExtension,
                       BPositionIO* destination, uint32 wantOutType, uint32 hintType = 0,
                       const char* hintMIME = nullptr);

private:
    struct AddOn;
    struct Entry;

    void AddFailure(const std::string& path, const std::string& reason);
    // Opens the add-on and makes its translators, recording a failure with its reason.
    // Called with fLock held, as are the two below.
    status_t OpenAddOn(AddOn& addOn, std::vector<std::unique_ptr<BTranslator>>* made) const;
    // Loads an add-on described from the cache and gives its entries their translators.
    void LoadDescribed(AddOn& addOn) const;
    status_t AddDescribedAddOn(const std::string& path, const BMessage& described);
    // The entries a file with these hints may be for, loaded: those already loaded and
    // those whose inputs name the hint; all of them when there is no hint or `all`.
    std::vector<std::pair<translator_id, BTranslator*>> Candidates(uint32 hintType,
                                                                   const char* hintMIME,
                                                                   bool all) const;

    mutable std::mutex fLock;
    std::vector<std::unique_ptr<Entry>> fEntries;  // id n is fEntries[n - 1]
    std::vector<std::unique_ptr<AddOn>> fAddOns;
    std::vector<std::string> fLoadedNames;  // file names of the add-ons taken
    mutable std::vector<LoadFailure> fFailures;
    std::string fCachePath;
    BMessage fCache;  // the add-ons described, as read and as learned
    bool fCacheChanged = false;
};
