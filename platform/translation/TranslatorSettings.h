// SPDX-License-Identifier: MIT
// A translator's settings: declared as data (the schema), kept per translator in
// $XDG_CONFIG_HOME/NAME/translators/<key>.settings (NAME: the program's, see
// ProgramIdentity.h), changed from the settings window or the program's command line, read
// by the codec each time it runs.
#pragma once

#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/support/Message.h"
#include "platform/support/SupportDefs.h"

namespace orv {

struct SettingChoice {
    int32 value;
    const char* label;  // French
};

struct SettingSchema {
    enum class Kind { Bool, Int, Choice };

    const char* name;  // key in messages, files and on the command line
    Kind kind;
    const char* label;   // French label shown in the settings window
    int32 defaultValue;  // Bool: 0 or 1; Choice: one of the choices' values
    int32 minimum = 0;   // Int only
    int32 maximum = 0;   // Int only
    std::span<const SettingChoice> choices = {};  // Choice only
};

class TranslatorSettings {
public:
    // `key` names the settings file (the translator's short name, such as "png").
    TranslatorSettings(std::string key, std::span<const SettingSchema> table);

    std::span<const SettingSchema> Schema() const { return fSchema; }
    const std::string& Key() const { return fKey; }

    // Current values; a name outside the schema is a programming error and gives 0.
    int32 Int32(const char* name) const;
    bool Bool(const char* name) const { return Int32(name) != 0; }

    // Changes one value after checking it against the schema, and saves the file.
    // B_BAD_VALUE with a reason for an unknown name or a value out of range.
    status_t Set(const char* name, int32 value);
    // The same from text, as typed on the command line: "true"/"false"/"1"/"0" for a Bool,
    // a number for an Int, a choice's value or label for a Choice.
    status_t SetFromText(const char* name, const char* text);

    // Reads the file; unknown keys and out-of-range values are ignored (defaults stay).
    status_t Load();
    status_t Save() const;
    // Parses a settings file's text into values; what the fuzzer drives.
    void Parse(const std::string& text);
    std::string Serialize() const;

    // Every value as a message field of the setting's name (bool or int32).
    void ToMessage(BMessage* message) const;
    // Takes the fields of `message` that match the schema; ignores the rest.
    status_t FromMessage(const BMessage& message);

    // $XDG_CONFIG_HOME/NAME/translators (or ~/.config/NAME/translators).
    static std::string Directory();

private:
    const SettingSchema* Find(const char* name) const;
    bool Accepts(const SettingSchema& schema, int32 value) const;

    std::string fKey;
    std::span<const SettingSchema> fSchema;
    std::vector<int32> fValues;
    mutable std::mutex fLock;
};

}  // namespace orv
