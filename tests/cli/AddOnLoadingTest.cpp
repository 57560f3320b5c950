// SPDX-License-Identifier: MIT
// A run pays only for the codecs it uses: once the add-ons are described in the cache, a
// conversion loads the add-ons of the formats it reads and writes, and an add-on that has
// changed is loaded again to be described anew.
#include "tests/cli/CliTestSupport.h"

namespace orv::test {
namespace {

// The add-ons the dynamic loader opened during a run, as LD_DEBUG=files tells.
std::vector<std::string> AddOnsOpened(const std::string& log) {
    std::vector<std::string> opened;
    for (const char* name : {"png.so", "pnm.so", "jxl.so", "heif.so", "jpeg.so"}) {
        if (log.find(std::string("/") + name) != std::string::npos) {
            opened.push_back(name);
        }
    }
    return opened;
}

TEST_F(CliTest, ARunLoadsOnlyTheAddOnsOfItsFormats) {
    const fs::path addOns = fRoot / "addons";
    fs::create_directories(addOns);
    for (const char* name : {"png.so", "pnm.so", "jxl.so", "heif.so", "jpeg.so"}) {
        fs::copy_file(fs::path(ORVANE_BINARY_DIR) / "translators" / name, addOns / name);
    }
    fEnv["ORVANE_TRANSLATORS"] = addOns.string();
    WriteFile(fWork / "a.ppm", "P3\n2 1\n255\n255 0 0 0 255 0\n");
    const auto convert = [&] {
        fs::remove(fWork / "a.png");
        fEnv["LD_DEBUG"] = "files";
        const Outcome outcome = Run({"convert", "--to", "png", "a.ppm"});
        fEnv.erase("LD_DEBUG");
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return AddOnsOpened(outcome.err);
    };

    // The first run knows nothing yet: it loads everything to describe it.
    EXPECT_EQ(convert().size(), 5u);
    EXPECT_EQ(convert(), (std::vector<std::string>{"png.so", "pnm.so"}));
    // A rebuilt add-on is loaded once to be described again.
    fs::last_write_time(addOns / "jxl.so", fs::file_time_type::clock::now());
    EXPECT_EQ(convert(), (std::vector<std::string>{"png.so", "pnm.so", "jxl.so"}));
    EXPECT_EQ(convert(), (std::vector<std::string>{"png.so", "pnm.so"}));

    // A type the MIME database does not know still names its outputs: PAM's extension
    // comes from its add-on.
    EXPECT_EQ(Run({"convert", "--to", "image/x-portable-arbitrarymap", "a.ppm"}).status, 0);
    EXPECT_TRUE(fs::exists(fWork / "a.pam"));

    // The catalogue comes from the descriptions.
    fEnv["LD_DEBUG"] = "files";
    const Outcome formats = Run({"formats"});
    EXPECT_EQ(formats.status, 0);
    // Only the add-on of a type the MIME database lacks is loaded, for its extension.
    EXPECT_EQ(AddOnsOpened(formats.err), std::vector<std::string>{"pnm.so"});
    EXPECT_NE(formats.out.find("image/jxl"), std::string::npos);
}

}  // namespace
}  // namespace orv::test
