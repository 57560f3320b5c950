// SPDX-License-Identifier: MIT
#include "platform/translation/TranslatorSettings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"

namespace orv {

namespace {

// A settings file is a few lines; anything larger is not one of ours.
constexpr size_t kMaxFileSize = 64 * 1024;

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool ParseInteger(std::string_view text, int32* value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* end = text.data() + text.size();
    auto [last, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && last == end && !text.empty();
}

// The value that `text` stands for under `schema`, before any range check.
bool ValueFromText(const SettingSchema& schema, std::string_view text, int32* value) {
    text = Trim(text);
    switch (schema.kind) {
        case SettingSchema::Kind::Bool:
            for (std::string_view yes : {"true", "1", "oui", "yes", "on"}) {
                if (EqualsIgnoringCase(text, yes)) {
                    *value = 1;
                    return true;
                }
            }
            for (std::string_view no : {"false", "0", "non", "no", "off"}) {
                if (EqualsIgnoringCase(text, no)) {
                    *value = 0;
                    return true;
                }
            }
            return false;
        case SettingSchema::Kind::Int:
            return ParseInteger(text, value);
        case SettingSchema::Kind::Choice:
            if (ParseInteger(text, value)) {
                return true;
            }
            for (const SettingChoice& choice : schema.choices) {
                if (EqualsIgnoringCase(text, choice.label)) {
                    *value = choice.value;
                    return true;
                }
            }
            return false;
    }
    return false;
}

std::string SerializeValues(std::span<const SettingSchema> schema,
                            const std::vector<int32>& values) {
    std::string text;
    for (size_t i = 0; i < schema.size(); ++i) {
        text += schema[i].name;
        text += '=';
        if (schema[i].kind == SettingSchema::Kind::Bool) {
            text += values[i] != 0 ? "true" : "false";
        } else {
            text += std::to_string(values[i]);
        }
        text += '\n';
    }
    return text;
}

status_t MakeDirectories(const std::string& path) {
    // Each missing level is made private: these are the user's own settings.
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            return Fail(StatusFromErrno(errno), "impossible de créer le dossier des réglages");
        }
        if (slash == std::string::npos) {
            return B_OK;
        }
    }
}

status_t WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return StatusFromErrno(errno);
        }
        done += size_t(written);
    }
    return B_OK;
}

}  // namespace

TranslatorSettings::TranslatorSettings(std::string key, std::span<const SettingSchema> table)
    : fKey(std::move(key)), fSchema(table) {
    fValues.reserve(fSchema.size());
    for (const SettingSchema& schema : fSchema) {
        fValues.push_back(schema.defaultValue);
    }
}

const SettingSchema* TranslatorSettings::Find(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    for (const SettingSchema& schema : fSchema) {
        if (std::strcmp(schema.name, name) == 0) {
            return &schema;
        }
    }
    return nullptr;
}

bool TranslatorSettings::Accepts(const SettingSchema& schema, int32 value) const {
    switch (schema.kind) {
        case SettingSchema::Kind::Bool:
            return value == 0 || value == 1;
        case SettingSchema::Kind::Int:
            return value >= schema.minimum && value <= schema.maximum;
        case SettingSchema::Kind::Choice:
            for (const SettingChoice& choice : schema.choices) {
                if (choice.value == value) {
                    return true;
                }
            }
            return false;
    }
    return false;
}

int32 TranslatorSettings::Int32(const char* name) const {
    const SettingSchema* schema = Find(name);
    if (schema == nullptr) {
        return 0;
    }
    std::lock_guard lock(fLock);
    return fValues[size_t(schema - fSchema.data())];
}

status_t TranslatorSettings::Set(const char* name, int32 value) {
    const SettingSchema* schema = Find(name);
    if (schema == nullptr) {
        return Fail(B_BAD_VALUE, std::string("réglage inconnu : ") + (name ? name : ""));
    }
    if (!Accepts(*schema, value)) {
        return Fail(B_BAD_VALUE, std::string("valeur hors limites pour ") + schema->name);
    }
    {
        std::lock_guard lock(fLock);
        fValues[size_t(schema - fSchema.data())] = value;
    }
    return Save();
}

status_t TranslatorSettings::SetFromText(const char* name, const char* text) {
    const SettingSchema* schema = Find(name);
    if (schema == nullptr) {
        return Fail(B_BAD_VALUE, std::string("réglage inconnu : ") + (name ? name : ""));
    }
    int32 value = 0;
    if (text == nullptr || !ValueFromText(*schema, text, &value)) {
        return Fail(B_BAD_VALUE, std::string("valeur illisible pour ") + schema->name);
    }
    return Set(name, value);
}

void TranslatorSettings::Parse(const std::string& text) {
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        line = Trim(line);
        const size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) {
            continue;
        }
        const std::string name(Trim(line.substr(0, equals)));
        const SettingSchema* schema = Find(name.c_str());
        int32 value = 0;
        if (schema == nullptr || !ValueFromText(*schema, line.substr(equals + 1), &value) ||
            !Accepts(*schema, value)) {
            continue;
        }
        std::lock_guard lock(fLock);
        fValues[size_t(schema - fSchema.data())] = value;
    }
}

std::string TranslatorSettings::Serialize() const {
    std::lock_guard lock(fLock);
    return SerializeValues(fSchema, fValues);
}

status_t TranslatorSettings::Load() {
    {
        std::lock_guard lock(fLock);
        for (size_t i = 0; i < fSchema.size(); ++i) {
            fValues[i] = fSchema[i].defaultValue;
        }
    }
    if (fKey.empty() || fKey.find('/') != std::string::npos) {
        return Fail(B_BAD_VALUE, "nom de réglages invalide");
    }
    const std::string path = Directory() + "/" + fKey + ".settings";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        // No file yet means the defaults: not an error.
        return errno == ENOENT ? B_OK : Fail(StatusFromErrno(errno), "réglages illisibles");
    }
    std::string text;
    char buffer[4096];
    status_t status = B_OK;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            status = Fail(StatusFromErrno(errno), "réglages illisibles");
            break;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, size_t(got));
        if (text.size() > kMaxFileSize) {
            status = Fail(B_BAD_DATA, "fichier de réglages trop grand");
            break;
        }
    }
    close(fd);
    if (status == B_OK) {
        Parse(text);
    }
    return status;
}

status_t TranslatorSettings::Save() const {
    if (fKey.empty() || fKey.find('/') != std::string::npos) {
        return Fail(B_BAD_VALUE, "nom de réglages invalide");
    }
    const std::string directory = Directory();
    // Holding the lock through the rename keeps two saves of this object in order: the
    // file always ends with the latest values, never an older snapshot.
    std::lock_guard lock(fLock);
    if (status_t status = MakeDirectories(directory); status != B_OK) {
        return status;
    }
    const std::string path = directory + "/" + fKey + ".settings";
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return Fail(StatusFromErrno(errno), "impossible d'enregistrer les réglages");
    }
    status_t status = WriteAll(fd, SerializeValues(fSchema, fValues));
    if (status == B_OK && fsync(fd) != 0) {
        status = StatusFromErrno(errno);
    }
    if (close(fd) != 0 && status == B_OK) {
        status = StatusFromErrno(errno);
    }
    if (status == B_OK && rename(temporary.c_str(), path.c_str()) != 0) {
        status = StatusFromErrno(errno);
    }
    if (status != B_OK) {
        unlink(temporary.c_str());
        return Fail(status, "impossible d'enregistrer les réglages");
    }
    return B_OK;
}

void TranslatorSettings::ToMessage(BMessage* message) const {
    if (message == nullptr) {
        return;
    }
    std::lock_guard lock(fLock);
    for (size_t i = 0; i < fSchema.size(); ++i) {
        const SettingSchema& schema = fSchema[i];
        message->RemoveName(schema.name);
        if (schema.kind == SettingSchema::Kind::Bool) {
            message->AddBool(schema.name, fValues[i] != 0);
        } else {
            message->AddInt32(schema.name, fValues[i]);
        }
    }
}

status_t TranslatorSettings::FromMessage(const BMessage& message) {
    bool changed = false;
    bool refused = false;
    for (size_t i = 0; i < fSchema.size(); ++i) {
        const SettingSchema& schema = fSchema[i];
        int32 value = 0;
        bool flag = false;
        if (schema.kind == SettingSchema::Kind::Bool &&
            message.FindBool(schema.name, &flag) == B_OK) {
            value = flag ? 1 : 0;
        } else if (message.FindInt32(schema.name, &value) != B_OK) {
            continue;
        }
        if (!Accepts(schema, value)) {
            refused = true;
            continue;
        }
        std::lock_guard lock(fLock);
        changed = changed || fValues[i] != value;
        fValues[i] = value;
    }
    status_t status = changed ? Save() : B_OK;
    if (refused) {
        return Fail(B_BAD_VALUE, "valeur de réglage hors limites");
    }
    return status;
}

std::string TranslatorSettings::Directory() {
    const std::string name = CurrentProgramIdentity().name;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/" + name + "/translators";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config/" + name + "/translators";
}

}  // namespace orv
