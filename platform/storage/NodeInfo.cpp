// SPDX-License-Identifier: MIT
#include "platform/storage/NodeInfo.h"

#include <unistd.h>

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/storage/MimeType.h"
#include "platform/storage/Node.h"

namespace {

constexpr const char* kTypeAttribute = "user.mime_type";
// Enough for every magic rule of the shared MIME-info database worth having here.
constexpr size_t kSniffBytes = 16384;

// The database's answers that mean it recognised nothing.
bool IsNoType(const QMimeType& type) {
    return !type.isValid() || type.isDefault() || type.name() == "application/x-zerosize";
}

std::string LeafOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The type that the content says, or else the name, or else nothing.
std::string SniffType(const BNode& node) {
    const QMimeDatabase database;
    QMimeType byContent;
    if (node.FileDescriptor() >= 0) {
        QByteArray data(qsizetype(kSniffBytes), Qt::Uninitialized);
        ssize_t n;
        do {
            n = pread(node.FileDescriptor(), data.data(), kSniffBytes, 0);
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            data.truncate(qsizetype(n));
            byContent = database.mimeTypeForData(data);
        }
    }
    // Content without a magic rule is only guessed to be text; a name can say better.
    if (!IsNoType(byContent) && byContent.name() != "text/plain") {
        return byContent.name().toStdString();
    }
    const std::string leaf = LeafOf(node.Path());
    std::string registered = BMimeType::RegisteredTypeForName(leaf.c_str());
    if (!registered.empty()) {
        return registered;
    }
    const QMimeType byName =
        database.mimeTypeForFile(QString::fromStdString(leaf), QMimeDatabase::MatchExtension);
    if (!IsNoType(byName)) {
        return byName.name().toStdString();
    }
    return IsNoType(byContent) ? std::string() : byContent.name().toStdString();
}

}  // namespace

BNodeInfo::BNodeInfo() = default;

BNodeInfo::BNodeInfo(BNode* node) {
    SetTo(node);
}

BNodeInfo::~BNodeInfo() = default;

status_t BNodeInfo::SetTo(BNode* node) {
    fNode = nullptr;
    if (node == nullptr || node->InitCheck() != B_OK) {
        return B_BAD_VALUE;
    }
    fNode = node;
    return B_OK;
}

status_t BNodeInfo::InitCheck() const {
    return fNode != nullptr ? B_OK : B_NO_INIT;
}

status_t BNodeInfo::GetType(char* type) const {
    if (type == nullptr) {
        return B_BAD_VALUE;
    }
    type[0] = '\0';
    if (fNode == nullptr || fNode->InitCheck() != B_OK) {
        return B_NO_INIT;
    }
    std::string found;
    char stored[BMimeType::kMaxLength + 2];
    const ssize_t length =
        fNode->ReadAttr(kTypeAttribute, B_MIME_STRING_TYPE, 0, stored, sizeof(stored) - 1);
    if (length > 0) {
        // Some tools store the terminating zero too. An attribute that is not a well-formed
        // type (too long, or anything else) is ignored like a missing one.
        size_t end = size_t(length);
        while (end > 0 && stored[end - 1] == '\0') {
            --end;
        }
        stored[end] = '\0';
        if (std::strlen(stored) == end && BMimeType::IsValid(stored)) {
            found = stored;
        }
    }
    if (found.empty()) {
        found = SniffType(*fNode);
    }
    if (found.empty() || found.size() > BMimeType::kMaxLength) {
        return B_ENTRY_NOT_FOUND;
    }
    std::memcpy(type, found.c_str(), found.size() + 1);
    return B_OK;
}

status_t BNodeInfo::SetType(const char* type) {
    if (fNode == nullptr || fNode->InitCheck() != B_OK) {
        return B_NO_INIT;
    }
    status_t status;
    if (type == nullptr) {
        status = fNode->RemoveAttr(kTypeAttribute);
        if (status == B_ENTRY_NOT_FOUND) {
            status = B_OK;
        }
    } else {
        if (!BMimeType::IsValid(type)) {
            return B_BAD_VALUE;
        }
        const ssize_t written =
            fNode->WriteAttr(kTypeAttribute, B_MIME_STRING_TYPE, 0, type, std::strlen(type));
        status = written < 0 ? status_t(written) : B_OK;
    }
    // A file system without user attributes (or a file kind that may not carry them) just
    // does not keep types; the type is then found again by sniffing.
    if (status == B_UNSUPPORTED || status == B_NOT_ALLOWED) {
        return B_OK;
    }
    return status;
}
