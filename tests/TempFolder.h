// SPDX-License-Identifier: MIT
// A fresh folder under /tmp for one test, removed with everything in it afterwards, and
// small helpers to fill it and read it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvtest {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/orvane-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        fPath = made != nullptr ? made : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return fPath; }
    std::string operator/(const std::string& leaf) const { return fPath + "/" + leaf; }

private:
    std::string fPath;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted; none when it cannot be read.
inline std::vector<std::string> Listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline bool Present(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Sets an environment variable for the life of the object, then puts back the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : fName(name) {
        const char* old = getenv(name);
        fHad = old != nullptr;
        if (fHad) {
            fOld = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (fHad) {
            setenv(fName.c_str(), fOld.c_str(), 1);
        } else {
            unsetenv(fName.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string fName;
    std::string fOld;
    bool fHad = false;
};

}  // namespace orvtest
