// SPDX-License-Identifier: MIT
// Every test program starts as the program does: it first tells the platform layer who it
// is, so that folders, temporaries and environment variables carry the program's names.
#include <gtest/gtest.h>

#include "app/Identity.h"

int main(int argc, char** argv) {
    orv::SetProgramIdentity(orv::OrvaneIdentity());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
