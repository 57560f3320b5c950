// SPDX-License-Identifier: MIT
// BMimeType: a MIME type and what the shared MIME-info database knows of it.
//
// The database of the system does not know every type a translator may write (Debian 12's
// has no image/qoi), so translators can register extensions of their own; those are
// consulted before the database, for extensions and for guessing a type from a file name.
#pragma once

#include <string>
#include <vector>

#include "platform/support/SupportDefs.h"

class BMessage;

class BMimeType {
public:
    // The longest type accepted, without its terminating zero.
    static constexpr size_t kMaxLength = 250;

    BMimeType();
    explicit BMimeType(const char* type);
    ~BMimeType();

    status_t SetTo(const char* type);
    void Unset();
    // B_OK for a well-formed type ("supertype/subtype" or a bare supertype), whether or
    // not the database knows it.
    status_t InitCheck() const;
    bool IsValid() const { return InitCheck() == B_OK; }
    static bool IsValid(const char* type);

    // The type as given, or null when not initialised.
    const char* Type() const;

    // True when the type is registered here or known to the database (aliases included).
    bool IsInstalled() const;

    // Replaces the string field "extensions" of `extensions` with the type's extensions,
    // without dot, registered ones first, then the database's in its own order
    // (image/jpeg: jpg, jpeg, jpe). B_OK with no field when the type has none;
    // B_BAD_VALUE for a malformed type.
    status_t GetFileExtensions(BMessage* extensions) const;

    // Adds extensions (without dot) for `type`, e.g. RegisterExtensions("image/qoi",
    // {"qoi"}). Safe to call from any thread; repeated extensions are kept once.
    static status_t RegisterExtensions(const char* type, const std::vector<std::string>& exts);
    // The registered type whose extension ends `fileName` (compared without regard to ASCII
    // case), or an empty string.
    static std::string RegisteredTypeForName(const char* fileName);

private:
    std::string fType;
    bool fValid = false;
};
