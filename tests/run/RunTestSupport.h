// SPDX-License-Identifier: MIT
// What the run tests add to the program's shared test support: the pixels of a picture file,
// a translator that breaks down midway, and small file systems mounted for one test.
#pragma once

#include <sys/mount.h>

#include "image/OrvImage.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/TranslationUtils.h"
#include "tests/conversion/Pictures.h"
#include "tests/conversion/ProgramTestSupport.h"

namespace orv::test {

// The pixels a picture file decodes to.
inline std::vector<uint32> Pixels(const fs::path& path) {
    const entry_ref ref(path.parent_path().string(), path.filename().string());
    std::unique_ptr<BBitmap> bitmap;
    if (BTranslationUtils::GetBitmap(&ref, &bitmap) != B_OK) {
        return {};
    }
    const auto* pixels = static_cast<const uint32*>(bitmap->Bits());
    return std::vector<uint32>(pixels, pixels + bitmap->BitsLength() / 4);
}

// An encoder that writes part of its file, then fails: a codec error or a device that
// breaks down in the middle of a file.
inline constexpr uint32 kBrokenType = FourCC("BRKN");
inline constexpr const char* kBrokenMIME = "image/x-orvane-broken";

class BrokenEncoder : public ImageTranslator {
public:
    BrokenEncoder() : ImageTranslator(Description()) {}

    status_t IdentifyImage(BPositionIO&, const translation_format**) override {
        return B_NO_TRANSLATOR;
    }
    status_t DecodePicture(BPositionIO&, DecodedImage*) override { return B_NO_TRANSLATOR; }
    status_t EncodePicture(const BBitmap&, const PictureInfo&, uint32,
                           BPositionIO& destination) override {
        const std::string half(100, 'x');
        destination.Write(half.data(), half.size());
        return Fail(B_IO_ERROR, "encodeur en panne");
    }

private:
    static TranslatorDescription Description() {
        static const translation_format outputs[] = {
            {kBrokenType, B_TRANSLATOR_BITMAP, 0.5f, 0.5f, "image/x-orvane-broken", "En panne"}};
        return {"En panne", "encodeur qui échoue", 100, "essai-panne", {}, outputs, {}};
    }
};

// Registers the broken encoder with the default roster once, before any window is made.
inline void RegisterBrokenEncoder() {
    static const bool registered = [] {
        return BTranslatorRoster::Default()->AddTranslator(new BrokenEncoder()) == B_OK;
    }();
    ASSERT_TRUE(registered);
}

// A tmpfs of `size` mounted on a new folder for the test, when the test may mount (root in
// CI); Mounted() is false otherwise and the test skips.
class SmallDisk {
public:
    explicit SmallDisk(const char* size) {
        fs::create_directories(fFolder.Path() / "disk");
        const std::string options = std::string("size=") + size;
        fMounted =
            geteuid() == 0 && mount("tmpfs", Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (fMounted) {
            umount2(Path().c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return fMounted; }
    fs::path Path() const { return fFolder.Path() / "disk"; }
    bool MakeReadOnly() {
        return mount("tmpfs", Path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Fills what is left of the disk.
    void Fill() {
        const std::string block(4096, 'f');
        std::FILE* filler = std::fopen((Path() / "remplissage").c_str(), "wb");
        if (filler == nullptr) {
            return;
        }
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }

private:
    TempDir fFolder;
    bool fMounted = false;
};

}  // namespace orv::test
