// SPDX-License-Identifier: MIT
// Joining deflate streams compressed apart into one. libdeflate compresses a whole buffer at
// a time and ends it with a final block; to compress a big picture in independent slices
// (in parallel, and without holding it all) and still give one zlib stream, each slice but
// the last must lose its final mark and end on a byte boundary, as a flush would leave it.
// That needs where the final block starts, which only a walk through the blocks tells: the
// walk decodes the Huffman codes and skips what they code, writing nothing.
#pragma once

#include <vector>

#include "platform/support/SupportDefs.h"

namespace orv::png {

// Turns the raw deflate stream of `size` bytes at `stream` (one whole stream, as libdeflate
// gives it) into one that goes on: its final block is marked as not final, and `tail` gets
// the bytes to write after it (the end of an empty stored block, which aligns it on a
// byte), so that another raw deflate stream may follow directly. The stream's bytes change
// in place and keep their length. False, leaving them unspecified, when the stream is not a
// valid one.
bool MakeContinuable(uint8* stream, size_t size, std::vector<uint8>* tail);

}  // namespace orv::png
