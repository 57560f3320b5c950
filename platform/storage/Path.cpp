// SPDX-License-Identifier: MIT
#include "platform/storage/Path.h"

#include <unistd.h>

#include <vector>

#include "platform/storage/StorageDefs.h"

BPath::BPath() = default;

BPath::BPath(const char* path, const char* leaf) {
    SetTo(path, leaf);
}

BPath::BPath(const entry_ref* ref) {
    SetTo(ref);
}

std::string BPath::Normalize(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    std::string full = path;
    if (full[0] != '/') {
        std::vector<char> cwd(B_PATH_NAME_LENGTH);
        if (getcwd(cwd.data(), cwd.size()) == nullptr) {
            return {};
        }
        full = std::string(cwd.data()) + "/" + full;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == std::string::npos) {
            end = full.size();
        }
        std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

status_t BPath::SetTo(const char* path, const char* leaf) {
    Unset();
    if (path == nullptr || *path == '\0') {
        return fStatus = B_BAD_VALUE;
    }
    std::string joined = path;
    if (leaf != nullptr) {
        if (*leaf == '/') {
            return fStatus = B_BAD_VALUE;
        }
        joined += "/";
        joined += leaf;
    }
    fPath = Normalize(joined);
    return fStatus = fPath.empty() ? B_ERROR : B_OK;
}

status_t BPath::SetTo(const entry_ref* ref) {
    if (ref == nullptr || !ref->IsValid()) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    return SetTo(ref->Path().c_str());
}

void BPath::Unset() {
    fPath.clear();
    fStatus = B_NO_INIT;
}

status_t BPath::InitCheck() const {
    return fStatus;
}

const char* BPath::Path() const {
    return fStatus == B_OK ? fPath.c_str() : nullptr;
}

status_t BPath::GetParent(BPath* parent) const {
    if (parent == nullptr) {
        return B_BAD_VALUE;
    }
    if (fStatus != B_OK) {
        return B_NO_INIT;
    }
    if (fPath == "/") {
        return B_ENTRY_NOT_FOUND;
    }
    const size_t slash = fPath.rfind('/');
    return parent->SetTo(slash == 0 ? "/" : fPath.substr(0, slash).c_str());
}

status_t BPath::Append(const char* relativePath) {
    if (fStatus != B_OK) {
        return B_NO_INIT;
    }
    if (relativePath == nullptr || *relativePath == '/') {
        return B_BAD_VALUE;
    }
    const std::string base = fPath;
    return SetTo(base.c_str(), relativePath);
}
