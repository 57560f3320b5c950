// SPDX-License-Identifier: MIT
// `orvane convert` killed outright at random moments: whatever the moment, every picture is
// afterwards at its place, or in the trash beside a complete output, and nothing hidden or
// half-written is left in the folder.
#include <random>

#include "tests/cli/CliTestSupport.h"

namespace orv::test {
namespace {

std::string NoisePPM(int width, int height, uint32_t seed) {
    std::string bytes = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::minstd_rand noise(seed);
    for (int i = 0; i < width * height * 3; ++i) {
        bytes += char(noise() & 0xff);
    }
    return bytes;
}

bool CompletePNG(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    return bytes.size() >= 12 && bytes.substr(bytes.size() - 8, 4) == "IEND";
}

TEST_F(CliTest, AKillAtAnyMomentLosesNoPictureAndLeavesNothingHidden) {
    constexpr int kRounds = 6;
    constexpr int kFiles = 6;
    std::minstd_rand moments(7);
    const fs::path trash = fHome / ".local/share/Trash";
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path folder = fWork / ("round" + std::to_string(round));
        fs::create_directories(folder);
        for (int i = 0; i < kFiles; ++i) {
            WriteFile(folder / ("p" + std::to_string(i) + ".ppm"), NoisePPM(900, 700, uint32_t(i)));
        }
        std::unique_ptr<Process> run = Start(
            {"convert", "--to", "png", "--sources", "trash", folder.string()}, false, "killed");
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + moments() % 900));
        kill(run->Pid(), SIGKILL);
        run->Wait(60s);

        for (int i = 0; i < kFiles; ++i) {
            const std::string stem = "p" + std::to_string(i);
            const bool atItsPlace = fs::exists(folder / (stem + ".ppm"));
            const bool trashed = fs::exists(trash / "files" / (stem + ".ppm"));
            EXPECT_NE(atItsPlace, trashed) << stem;
            if (trashed) {
                EXPECT_TRUE(fs::exists(trash / "info" / (stem + ".ppm.trashinfo"))) << stem;
                EXPECT_TRUE(CompletePNG(folder / (stem + ".png"))) << stem;
            }
            if (fs::exists(folder / (stem + ".png"))) {
                EXPECT_TRUE(CompletePNG(folder / (stem + ".png"))) << stem;
            }
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        }
        std::error_code ignored;
        fs::remove_all(trash, ignored);
    }
}

}  // namespace
}  // namespace orv::test
