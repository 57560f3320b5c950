// SPDX-License-Identifier: MIT
#include "translators/png/DeflateJoin.h"

#include <algorithm>
#include <array>

#include "platform/support/ByteOrder.h"

namespace orv::png {

namespace {

// Bits in the order deflate packs them: from the least significant bit of each byte on.
// Past the end it reads zeros and says so through Overrun().
class BitReader {
public:
    BitReader(const uint8* data, size_t size) : fData(data), fSize(size) {}

    void Refill() {
        // Away from the end, one load of eight bytes: whole bytes fill the buffer to at least
        // 56 bits, and the bits above them are those of the bytes that come next, which the
        // next load puts in the same place again.
        if (fSize - std::min(fNext, fSize) >= 8) {
            fBuffer |= ReadLE64(fData + fNext) << fCount;
            fNext += (63 - fCount) / 8;
            fCount |= 56;
            return;
        }
        while (fCount <= 56) {
            const uint64 byte = fNext < fSize ? fData[fNext] : 0;
            fBuffer |= byte << fCount;
            fNext++;
            fCount += 8;
        }
    }
    // At most 32 bits, after a Refill.
    uint32 Peek(unsigned bits) const { return uint32(fBuffer & ((uint64(1) << bits) - 1)); }
    void Drop(unsigned bits) {
        fBuffer >>= bits;
        fCount -= bits;
    }
    uint32 Take(unsigned bits) {
        if (fCount < bits) {
            Refill();
        }
        const uint32 value = Peek(bits);
        Drop(bits);
        return value;
    }
    void AlignToByte() { Drop(fCount % 8); }
    // Skips whole bytes from a byte boundary.
    void SkipBytes(size_t count) {
        fNext = size_t(Position() / 8) + count;
        fBuffer = 0;
        fCount = 0;
    }
    uint64 Position() const { return uint64(fNext) * 8 - fCount; }
    bool Overrun() const { return Position() > uint64(fSize) * 8; }

private:
    const uint8* fData;
    size_t fSize;
    size_t fNext = 0;  // the next byte to load
    uint64 fBuffer = 0;
    unsigned fCount = 0;  // bits in fBuffer
};

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kFastBits = 10;

// A canonical Huffman code: a table for the codes of up to kFastBits bits, and the counts
// and sorted symbols to decode longer ones bit by bit.
class Huffman {
public:
    bool Build(const uint8* lengths, unsigned symbols) {
        fCount.fill(0);
        for (unsigned s = 0; s < symbols; s++) {
            fCount[lengths[s]]++;
        }
        fCount[0] = 0;
        int left = 1;
        std::array<uint16, kMaxCodeLength + 2> offsets{};
        for (unsigned length = 1; length <= kMaxCodeLength; length++) {
            left = (left << 1) - fCount[length];
            if (left < 0) {
                return false;  // more codes than the lengths allow
            }
            offsets[length + 1] = uint16(offsets[length] + fCount[length]);
        }
        for (unsigned s = 0; s < symbols; s++) {
            if (lengths[s] != 0) {
                fSymbols[offsets[lengths[s]]++] = uint16(s);
            }
        }
        fFast.fill(0);
        uint32 code = 0;
        size_t index = 0;
        for (unsigned length = 1; length <= kFastBits; length++) {
            for (unsigned i = 0; i < fCount[length]; i++, code++, index++) {
                uint32 reversed = 0;
                for (unsigned bit = 0; bit < length; bit++) {
                    reversed |= ((code >> bit) & 1) << (length - 1 - bit);
                }
                for (uint32 slot = reversed; slot < fFast.size(); slot += 1u << length) {
                    fFast[slot] = uint16(fSymbols[index] << 4 | length);
                }
            }
            code <<= 1;
        }
        return true;
    }

    // The next symbol, or -1 when the bits are no code.
    int Decode(BitReader& bits) const {
        bits.Refill();
        const uint16 entry = fFast[bits.Peek(kFastBits)];
        if (entry != 0) {
            bits.Drop(entry & 15);
            return entry >> 4;
        }
        int code = 0;
        int first = 0;
        int index = 0;
        for (unsigned length = 1; length <= kMaxCodeLength; length++) {
            code |= int(bits.Take(1));
            const int count = fCount[length];
            if (code - first < count) {
                return fSymbols[size_t(index + code - first)];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    std::array<uint16, kMaxCodeLength + 1> fCount{};
    std::array<uint16, 288> fSymbols{};
    std::array<uint16, 1u << kFastBits> fFast{};
};

constexpr uint8 kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8 kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Skips a block's coded data up to and with its end-of-block code.
bool SkipCodes(BitReader& bits, const Huffman& literals, const Huffman& distances) {
    for (;;) {
        if (bits.Overrun()) {
            return false;
        }
        int symbol = literals.Decode(bits);
        if (symbol < 256) {
            if (symbol < 0) {
                return false;
            }
            continue;
        }
        if (symbol == 256) {
            return true;
        }
        symbol -= 257;
        if (symbol >= 29) {
            return false;
        }
        bits.Take(kLengthExtra[symbol]);
        const int distance = distances.Decode(bits);
        if (distance < 0 || distance >= 30) {
            return false;
        }
        bits.Take(kDistanceExtra[distance]);
    }
}

bool FixedCodes(Huffman* literals, Huffman* distances) {
    std::array<uint8, 288> lengths{};
    for (size_t s = 0; s < lengths.size(); s++) {
        lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    std::array<uint8, 30> distanceLengths;
    distanceLengths.fill(5);
    return literals->Build(lengths.data(), 288) && distances->Build(distanceLengths.data(), 30);
}

bool DynamicCodes(BitReader& bits, Huffman* literals, Huffman* distances) {
    const unsigned literalCount = bits.Take(5) + 257;
    const unsigned distanceCount = bits.Take(5) + 1;
    const unsigned lengthCount = bits.Take(4) + 4;
    if (literalCount > 286 || distanceCount > 30) {
        return false;
    }
    static constexpr uint8 kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<uint8, 19> codeLengths{};
    for (unsigned i = 0; i < lengthCount; i++) {
        codeLengths[kOrder[i]] = uint8(bits.Take(3));
    }
    Huffman lengthCode;
    if (!lengthCode.Build(codeLengths.data(), 19)) {
        return false;
    }
    std::array<uint8, 286 + 30> lengths{};
    const unsigned total = literalCount + distanceCount;
    for (unsigned index = 0; index < total;) {
        const int symbol = lengthCode.Decode(bits);
        if (symbol < 0 || bits.Overrun()) {
            return false;
        }
        if (symbol < 16) {
            lengths[index++] = uint8(symbol);
            continue;
        }
        uint8 length = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (index == 0) {
                return false;
            }
            length = lengths[index - 1];
            repeat = 3 + bits.Take(2);
        } else if (symbol == 17) {
            repeat = 3 + bits.Take(3);
        } else {
            repeat = 11 + bits.Take(7);
        }
        if (index + repeat > total) {
            return false;
        }
        while (repeat-- > 0) {
            lengths[index++] = length;
        }
    }
    return lengths[256] != 0 && literals->Build(lengths.data(), literalCount) &&
           distances->Build(lengths.data() + literalCount, distanceCount);
}

// Where the final block's header is and where its end-of-block code ends, in bits.
bool FindFinalBlock(const uint8* data, size_t size, uint64* header, uint64* end) {
    BitReader bits(data, size);
    Huffman literals;
    Huffman distances;
    for (;;) {
        const uint64 start = bits.Position();
        const bool final = bits.Take(1) != 0;
        const uint32 type = bits.Take(2);
        bool ok = false;
        if (type == 0) {
            bits.AlignToByte();
            const uint32 length = bits.Take(16);
            const uint32 complement = bits.Take(16);
            ok = length == (~complement & 0xffff) && bits.Position() / 8 + length <= size;
            bits.SkipBytes(length);
        } else if (type == 1) {
            ok = FixedCodes(&literals, &distances) && SkipCodes(bits, literals, distances);
        } else if (type == 2) {
            ok = DynamicCodes(bits, &literals, &distances) && SkipCodes(bits, literals, distances);
        }
        if (!ok || bits.Overrun()) {
            return false;
        }
        if (final) {
            *header = start;
            *end = bits.Position();
            return true;
        }
    }
}

}  // namespace

bool MakeContinuable(uint8* stream, size_t size, std::vector<uint8>* tail) {
    uint64 header = 0;
    uint64 end = 0;
    if (!FindFinalBlock(stream, size, &header, &end) || (end + 7) / 8 != size) {
        return false;
    }
    stream[size_t(header / 8)] &= uint8(~(1u << (header % 8)));
    const unsigned used = unsigned(end % 8);  // bits of the last byte in use; 0: all of them
    if (used != 0) {
        stream[size - 1] &= uint8((1u << used) - 1);
    }
    // A stored block's header (three zero bits: not final, stored) fits after the last code
    // or takes a new byte; then the stream is on a byte boundary, and the block is empty.
    tail->clear();
    if (used == 0 || 8 - used < 3) {
        tail->push_back(0);
    }
    tail->insert(tail->end(), {0x00, 0x00, 0xff, 0xff});
    return true;
}

}  // namespace orv::png
