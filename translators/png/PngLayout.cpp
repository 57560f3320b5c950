// SPDX-License-Identifier: MIT
#include "translators/png/PngLayout.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "translators/png/PngChunks.h"
#include "translators/png/PngMetadata.h"

namespace orv::png {

namespace {

// The frame table is kept in memory: bounded like any other block a file declares.
constexpr size_t kMaxFrames = kMaxMetadataBytes / sizeof(ApngFrame);
constexpr size_t kMaxDataChunks = kMaxMetadataBytes / sizeof(DataChunk);

// The acTL, fcTL and fdAT chunks in order, checked as they come; the first fault stops the
// animation there, keeping the frames before it.
class AnimationReader {
public:
    explicit AnimationReader(PngLayout* layout) : fLayout(layout) {}

    void Control(const std::vector<uint8>& data, bool imageDataSeen) {
        if (imageDataSeen || fControlSeen || data.size() != 8) {
            return;  // after the image data, an animation control is not one
        }
        fControlSeen = true;
        fLayout->declaredFrames = ReadBE32(data.data());
        fLayout->plays = ReadBE32(data.data() + 4);
        if (fLayout->declaredFrames == 0) {
            Break("animation PNG sans image", false);
        }
    }

    status_t Frame(const std::vector<uint8>& data, bool imageDataSeen) {
        if (!Live()) {
            return B_OK;
        }
        if (data.size() != 26 || !Sequence(ReadBE32(data.data()))) {
            return Break("animation PNG endommagée", false);
        }
        if (fLayout->frames.size() >= kMaxFrames) {
            return Fail(B_NO_MEMORY, "animation PNG : trop d'images");
        }
        ApngFrame frame;
        frame.width = ReadBE32(&data[4]);
        frame.height = ReadBE32(&data[8]);
        frame.x = ReadBE32(&data[12]);
        frame.y = ReadBE32(&data[16]);
        const uint32 numerator = ReadBE16(&data[20]);
        const uint32 denominator = ReadBE16(&data[22]) == 0 ? 100 : ReadBE16(&data[22]);
        frame.delayMs = uint32(std::lround(numerator * 1000.0 / denominator));
        const uint8 dispose = data[24];
        const uint8 blend = data[25];
        const bool fits = frame.width > 0 && frame.height > 0 && frame.x < fLayout->width &&
                          frame.width <= fLayout->width - frame.x && frame.y < fLayout->height &&
                          frame.height <= fLayout->height - frame.y;
        // The image data's own frame covers the canvas.
        const bool whole = frame.x == 0 && frame.y == 0 && frame.width == fLayout->width &&
                           frame.height == fLayout->height;
        if (!fits || dispose > 2 || blend > 1 || (!imageDataSeen && !whole) ||
            (!fLayout->frames.empty() && fLayout->frames.back().data.empty())) {
            return Break("animation PNG endommagée", false);
        }
        frame.dispose = Dispose(dispose);
        frame.blend = Blend(blend);
        fIdatFrame = !imageDataSeen;
        fLayout->frames.push_back(std::move(frame));
        return B_OK;
    }

    // A chunk of image data: an IDAT belongs to the animation only when an fcTL came
    // before the first one; otherwise it is a still picture shown by readers that know no
    // animation.
    status_t Data(const DataChunk& chunk, uint32 sequence) {
        if (!Live()) {
            return B_OK;
        }
        const bool idatFrame = fIdatFrame && fLayout->frames.size() == 1;
        if (!chunk.fdat) {
            return idatFrame ? Append(chunk) : B_OK;
        }
        if (fLayout->frames.empty() || idatFrame) {
            return Break("animation PNG endommagée", false);
        }
        if (chunk.length < 4 || !Sequence(sequence)) {
            return Break("animation PNG endommagée", true);
        }
        return Append(chunk);
    }

    bool Live() const { return fControlSeen && fDamage.empty(); }

    // The frames to give once the walk is over, and what was wrong.
    void Finish() {
        std::vector<ApngFrame>& frames = fLayout->frames;
        if (!frames.empty() && frames.back().data.empty()) {
            frames.pop_back();
        }
        if (frames.size() > fLayout->declaredFrames) {
            frames.resize(fLayout->declaredFrames);
        }
        if (!fControlSeen) {
            return;
        }
        if (frames.empty()) {
            fLayout->damage = "animation PNG illisible : seule l'image fixe est gardée";
        } else if (!fDamage.empty()) {
            fLayout->damage = fDamage + " : " + std::to_string(frames.size()) + " images sur " +
                              std::to_string(fLayout->declaredFrames) + " gardées";
        } else if (frames.size() < fLayout->declaredFrames) {
            fLayout->damage =
                std::string(fLayout->ended ? "animation PNG incomplète" : "fichier PNG tronqué") +
                " : " + std::to_string(frames.size()) + " images sur " +
                std::to_string(fLayout->declaredFrames);
        }
        // A single frame that is the image data is a still picture.
        if (frames.size() == 1 && fIdatFrame) {
            frames.clear();
        }
    }

private:
    bool Sequence(uint32 number) { return number == fNextSequence++; }

    status_t Append(const DataChunk& chunk) {
        if (++fDataChunks > kMaxDataChunks) {
            return Fail(B_NO_MEMORY, "animation PNG : trop de blocs de données");
        }
        fLayout->frames.back().data.push_back(chunk);
        return B_OK;
    }

    // Ends the animation at a fault; `dropCurrent` when the frame being read is not whole.
    status_t Break(const char* reason, bool dropCurrent) {
        if (fDamage.empty()) {
            fDamage = reason;
        }
        if (dropCurrent && !fLayout->frames.empty()) {
            fLayout->frames.back().data.clear();
        }
        return B_OK;
    }

    PngLayout* fLayout;
    bool fControlSeen = false;
    bool fIdatFrame = false;
    uint32 fNextSequence = 0;
    size_t fDataChunks = 0;
    std::string fDamage;
};

// The keyword of a text chunk, read without reading the text.
std::string_view PeekKeyword(ChunkReader& chunks, uint8 (&buffer)[80]) {
    const size_t size = std::min<size_t>(chunks.Length(), sizeof(buffer));
    if (chunks.ReadPrefix(buffer, size) != B_OK) {
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(buffer), size);
    const size_t end = text.find('\0');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end);
}

}  // namespace

status_t ReadLayout(BPositionIO& source, PngLayout* layout) {
    uint8 signature[sizeof(kSignature)];
    if (source.ReadAtExactly(0, signature, sizeof(signature)) != B_OK ||
        std::memcmp(signature, kSignature, sizeof(kSignature)) != 0) {
        return Fail(B_NO_TRANSLATOR, "ce n'est pas un fichier PNG");
    }
    ChunkReader chunks(source);
    std::vector<uint8> data;
    bool crcOk = false;
    if (!chunks.Next() || !IsType(chunks.Type(), "IHDR") || chunks.Length() != 13 ||
        chunks.ReadData(&data, &crcOk) != B_OK) {
        return Fail(B_BAD_DATA, "en-tête PNG illisible");
    }
    // Every size and type the pixels are read by comes from here: a header that is not the
    // one written cannot be trusted to show anything.
    if (!crcOk) {
        return Fail(B_BAD_DATA, "en-tête PNG endommagé");
    }
    std::copy(data.begin(), data.end(), layout->header);
    layout->width = ReadBE32(layout->header);
    layout->height = ReadBE32(layout->header + 4);
    layout->alpha = (layout->header[9] & 4) != 0;
    if (status_t status = CheckImageSize(layout->width, layout->height); status != B_OK) {
        return status;
    }

    MetadataCollector metadata;
    AnimationReader animation(layout);
    bool imageDataSeen = false;
    while (chunks.Next()) {
        const uint8* type = chunks.Type();
        const bool imageData = IsType(type, "IDAT");
        if (IsType(type, "IEND")) {
            layout->ended = true;
            break;
        }
        if (imageData || IsType(type, "fdAT")) {
            const DataChunk chunk{chunks.DataOffset(), chunks.Length(), chunks.Available(),
                                  !imageData};
            uint8 sequence[4] = {};
            if (!imageData && chunks.Available() >= 4) {
                chunks.ReadPrefix(sequence, 4);
            }
            if (status_t status = animation.Data(chunk, ReadBE32(sequence)); status != B_OK) {
                return status;
            }
            if (imageData) {
                if (layout->imageData.size() >= kMaxDataChunks) {
                    return Fail(B_NO_MEMORY, "PNG : trop de blocs de données");
                }
                layout->imageData.push_back(chunk);
            }
            imageDataSeen = imageDataSeen || imageData;
            continue;
        }
        const bool control = IsType(type, "acTL") || IsType(type, "fcTL");
        const bool palette = (IsType(type, "PLTE") || IsType(type, "tRNS")) && !imageDataSeen;
        uint8 keyword[80];
        if (!control && !palette && !MetadataCollector::Wants(type) &&
            !MetadataCollector::WantsText(type, PeekKeyword(chunks, keyword))) {
            continue;
        }
        // A block declared beyond the bound is refused before anything is read for it,
        // even when the file ends long before its declared end.
        if (status_t status = CheckMetadataSize(chunks.Length(), ChunkName(type).c_str());
            status != B_OK) {
            return status;
        }
        if (chunks.Truncated()) {
            break;  // the file ends inside: said by whoever decodes the pixels
        }
        if (status_t status = chunks.ReadData(&data, &crcOk); status != B_OK) {
            return status;
        }
        if (!crcOk) {
            metadata.AddDamage(ChunkName(type) + " endommagé");
            continue;
        }
        if (palette) {
            layout->alpha = layout->alpha || IsType(type, "tRNS");
            const size_t at = layout->palette.size();
            layout->palette.resize(at + 12 + data.size());
            WriteBE32(&layout->palette[at], uint32(data.size()));
            std::memcpy(&layout->palette[at + 4], type, 4);
            std::copy(data.begin(), data.end(), layout->palette.begin() + ptrdiff_t(at + 8));
            WriteBE32(&layout->palette[at + 8 + data.size()],
                      ChunkCrc(ChunkCrc(0, type, 4), data.data(), data.size()));
        } else if (IsType(type, "acTL")) {
            animation.Control(data, imageDataSeen);
        } else if (IsType(type, "fcTL")) {
            if (status_t status = animation.Frame(data, imageDataSeen); status != B_OK) {
                return status;
            }
        } else {
            metadata.Add(type, data);
        }
    }
    animation.Finish();
    layout->metadata = metadata.Finish();
    if (layout->damage.empty()) {
        layout->damage = metadata.Damage();
    }
    return B_OK;
}

}  // namespace orv::png
