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

constexpr uint8 kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8 kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The three alphabets a walk meets.
enum class Alphabet { CodeLengths, LiteralsAndLengths, Distances };

// A canonical Huffman code as one table indexed by the next bits: each entry says how many
// bits to skip and what they were. For literals, lengths and distances, the skip takes in the
// extra bits after the code, so the walk spends one look-up per code. Decoding symbols and
// then taking their extra bits apart made the walk 5 % of a batch of photographs to PNG.
class CodeTable {
public:
    enum Kind : uint16 { kInvalid = 0, kSymbol, kLiteral, kLength, kEnd, kDistance };

    bool Build(const uint8* lengths, unsigned symbols, Alphabet alphabet) {
        std::array<uint16, kMaxCodeLength + 1> count{};
        for (unsigned s = 0; s < symbols; s++) {
            count[lengths[s]]++;
        }
        count[0] = 0;
        int left = 1;
        fBits = 1;
        std::array<uint32, kMaxCodeLength + 1> next{};
        for (unsigned length = 1; length <= kMaxCodeLength; length++) {
            left = (left << 1) - count[length];
            if (left < 0) {
                return false;  // more codes than the lengths allow
            }
            next[length] = (next[length - 1] + count[length - 1]) << 1;
            if (count[length] != 0) {
                fBits = length;
            }
        }
        const size_t size = size_t(1) << fBits;
        std::fill_n(fEntries.begin(), size, uint16(0));  // bits no code starts with stay invalid
        for (unsigned s = 0; s < symbols; s++) {
            const unsigned length = lengths[s];
            if (length == 0) {
                continue;
            }
            const uint32 code = next[length]++;
            uint32 reversed = 0;
            for (unsigned bit = 0; bit < length; bit++) {
                reversed |= ((code >> bit) & 1) << (length - 1 - bit);
            }
            const uint16 entry = Entry(s, length, alphabet);
            for (size_t slot = reversed; slot < size; slot += size_t(1) << length) {
                fEntries[slot] = entry;
            }
        }
        return true;
    }

    // The entry for the next bits, after a Refill.
    uint16 Look(const BitReader& bits) const { return fEntries[bits.Peek(fBits)]; }

    static Kind KindOf(uint16 entry) { return Kind((entry >> 5) & 7); }
    static unsigned SkipOf(uint16 entry) { return entry & 31; }    // at most 15 + 13
    static unsigned SymbolOf(uint16 entry) { return entry >> 8; }  // code lengths only

private:
    static uint16 Entry(unsigned symbol, unsigned length, Alphabet alphabet) {
        const auto make = [](Kind kind, unsigned skip, unsigned value) {
            return uint16(value << 8 | kind << 5 | skip);
        };
        switch (alphabet) {
            case Alphabet::CodeLengths:
                return make(kSymbol, length, symbol);
            case Alphabet::LiteralsAndLengths:
                if (symbol < 256) {
                    return make(kLiteral, length, 0);
                }
                if (symbol == 256) {
                    return make(kEnd, length, 0);
                }
                return symbol - 257 < 29 ? make(kLength, length + kLengthExtra[symbol - 257], 0)
                                         : make(kInvalid, 0, 0);
            case Alphabet::Distances:
                return symbol < 30 ? make(kDistance, length + kDistanceExtra[symbol], 0)
                                   : make(kInvalid, 0, 0);
        }
        return 0;
    }

    std::array<uint16, size_t(1) << kMaxCodeLength> fEntries;
    unsigned fBits = 1;
};

// Skips a block's coded data up to and with its end-of-block code. The walk works on a copy
// of the reader, which the compiler then keeps in registers: through the reference, every
// code went through memory and back.
bool SkipCodes(BitReader& reader, const CodeTable& literals, const CodeTable& distances) {
    BitReader bits = reader;
    bool ended = false;
    while (!bits.Overrun()) {
        // A length and its distance take at most 48 bits; a refill leaves at least 56.
        bits.Refill();
        const uint16 entry = literals.Look(bits);
        bits.Drop(CodeTable::SkipOf(entry));
        const CodeTable::Kind kind = CodeTable::KindOf(entry);
        if (kind == CodeTable::kLiteral) {
            continue;
        }
        if (kind == CodeTable::kLength) {
            const uint16 distance = distances.Look(bits);
            bits.Drop(CodeTable::SkipOf(distance));
            if (CodeTable::KindOf(distance) == CodeTable::kDistance) {
                continue;
            }
        }
        ended = kind == CodeTable::kEnd && !bits.Overrun();
        break;
    }
    reader = bits;
    return ended;
}

bool FixedCodes(CodeTable* literals, CodeTable* distances) {
    std::array<uint8, 288> lengths{};
    for (size_t s = 0; s < lengths.size(); s++) {
        lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    std::array<uint8, 30> distanceLengths;
    distanceLengths.fill(5);
    return literals->Build(lengths.data(), 288, Alphabet::LiteralsAndLengths) &&
           distances->Build(distanceLengths.data(), 30, Alphabet::Distances);
}

bool DynamicCodes(BitReader& bits, CodeTable* literals, CodeTable* distances) {
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
    CodeTable lengthCode;
    if (!lengthCode.Build(codeLengths.data(), 19, Alphabet::CodeLengths)) {
        return false;
    }
    std::array<uint8, 286 + 30> lengths{};
    const unsigned total = literalCount + distanceCount;
    for (unsigned index = 0; index < total;) {
        bits.Refill();
        const uint16 entry = lengthCode.Look(bits);
        bits.Drop(CodeTable::SkipOf(entry));
        const unsigned symbol = CodeTable::SymbolOf(entry);
        if (CodeTable::KindOf(entry) != CodeTable::kSymbol || bits.Overrun()) {
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
    return lengths[256] != 0 &&
           literals->Build(lengths.data(), literalCount, Alphabet::LiteralsAndLengths) &&
           distances->Build(lengths.data() + literalCount, distanceCount, Alphabet::Distances);
}

// Where the final block's header is and where its end-of-block code ends, in bits.
bool FindFinalBlock(const uint8* data, size_t size, uint64* header, uint64* end) {
    BitReader bits(data, size);
    CodeTable literals;
    CodeTable distances;
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
