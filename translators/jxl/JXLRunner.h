// SPDX-License-Identifier: MIT
// The thread pool libjxl decodes and encodes one picture on.
#pragma once

#include <jxl/thread_parallel_runner.h>

#include <memory>

#include "platform/support/FreeWith.h"
#include "translators/common/CodecThreads.h"

namespace orv {

using JxlRunnerPtr = std::unique_ptr<void, FreeWith<JxlThreadParallelRunnerDestroy>>;

inline JxlRunnerPtr NewJxlRunner() {
    return JxlRunnerPtr(JxlThreadParallelRunnerCreate(nullptr, size_t(CodecThreadCount())));
}

}  // namespace orv
