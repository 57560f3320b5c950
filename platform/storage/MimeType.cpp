// SPDX-License-Identifier: MIT
#include "platform/storage/MimeType.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/support/Message.h"

namespace {

// Extensions registered by translators, by type in lower case. Add-ons register while the
// roster loads them, possibly on another thread than the one naming files.
struct Registry {
    std::mutex lock;
    std::map<std::string, std::vector<std::string>> extensions;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return AsciiLower(c); });
    return text;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (suffix.size() > text.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), text.end() - ptrdiff_t(suffix.size()),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

// The characters of a MIME token: letters, digits and !#$&-^_.+
bool IsTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("!#$&-^_.+", c) != nullptr;
}

bool IsRegisteredExtension(const std::string& extension) {
    return !extension.empty() && extension.find('/') == std::string::npos &&
           extension.find('\0') == std::string::npos && extension.size() < 64;
}

// MIME types compare without regard to case; the database's names are lower case.
QMimeType DatabaseType(const std::string& type) {
    return QMimeDatabase().mimeTypeForName(QString::fromStdString(AsciiLower(type)));
}

}  // namespace

BMimeType::BMimeType() = default;

BMimeType::BMimeType(const char* type) {
    SetTo(type);
}

BMimeType::~BMimeType() = default;

bool BMimeType::IsValid(const char* type) {
    if (type == nullptr) {
        return false;
    }
    const size_t length = std::strlen(type);
    if (length == 0 || length > kMaxLength) {
        return false;
    }
    int slashes = 0;
    for (size_t i = 0; i < length; ++i) {
        if (type[i] == '/') {
            // Neither half may be empty.
            if (++slashes > 1 || i == 0 || i + 1 == length) {
                return false;
            }
        } else if (!IsTokenChar(type[i])) {
            return false;
        }
    }
    return true;
}

status_t BMimeType::SetTo(const char* type) {
    Unset();
    if (!IsValid(type)) {
        return B_BAD_VALUE;
    }
    fType = type;
    fValid = true;
    return B_OK;
}

void BMimeType::Unset() {
    fType.clear();
    fValid = false;
}

status_t BMimeType::InitCheck() const {
    return fValid ? B_OK : B_NO_INIT;
}

const char* BMimeType::Type() const {
    return fValid ? fType.c_str() : nullptr;
}

bool BMimeType::IsInstalled() const {
    if (!fValid) {
        return false;
    }
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        if (registry.extensions.count(AsciiLower(fType)) != 0) {
            return true;
        }
    }
    return DatabaseType(fType).isValid();
}

status_t BMimeType::GetFileExtensions(BMessage* extensions) const {
    if (extensions == nullptr) {
        return B_BAD_VALUE;
    }
    if (!fValid) {
        return B_BAD_VALUE;
    }
    std::vector<std::string> found;
    bool known = false;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        const auto it = registry.extensions.find(AsciiLower(fType));
        if (it != registry.extensions.end()) {
            found = it->second;
            known = true;
        }
    }
    const QMimeType type = DatabaseType(fType);
    if (type.isValid()) {
        known = true;
        for (const QString& suffix : type.suffixes()) {
            std::string extension = suffix.toStdString();
            if (std::find(found.begin(), found.end(), extension) == found.end()) {
                found.push_back(std::move(extension));
            }
        }
    }
    extensions->RemoveName("extensions");
    for (const std::string& extension : found) {
        const status_t status = extensions->AddString("extensions", extension);
        if (status != B_OK) {
            return status;
        }
    }
    return known ? B_OK : B_ENTRY_NOT_FOUND;
}

status_t BMimeType::RegisterExtensions(const char* type, const std::vector<std::string>& exts) {
    if (!IsValid(type)) {
        return B_BAD_VALUE;
    }
    std::vector<std::string> cleaned;
    for (std::string extension : exts) {
        if (!extension.empty() && extension[0] == '.') {
            extension.erase(0, 1);
        }
        if (!IsRegisteredExtension(extension)) {
            return B_BAD_VALUE;
        }
        cleaned.push_back(std::move(extension));
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::vector<std::string>& known = registry.extensions[AsciiLower(type)];
    for (std::string& extension : cleaned) {
        if (std::find(known.begin(), known.end(), extension) == known.end()) {
            known.push_back(std::move(extension));
        }
    }
    return B_OK;
}

std::string BMimeType::RegisteredTypeForName(const char* fileName) {
    if (fileName == nullptr) {
        return {};
    }
    const std::string name = fileName;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (const auto& [type, extensions] : registry.extensions) {
        for (const std::string& extension : extensions) {
            if (EndsWithNoCase(name, "." + extension)) {
                return type;
            }
        }
    }
    return {};
}
