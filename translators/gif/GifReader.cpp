// SPDX-License-Identifier: MIT
#include "translators/gif/GifReader.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"

namespace orv {

namespace {

constexpr int kExtensionIntroducer = 0x21;
constexpr int kImageSeparator = 0x2c;
constexpr int kTrailer = 0x3b;
constexpr int kGraphicControlLabel = 0xf9;
constexpr int kApplicationLabel = 0xff;

// What a frame's graphic control extension says; a frame without one keeps the defaults.
enum Disposal { kUnspecified = 0, kKeep = 1, kClear = 2, kRestore = 3 };
struct FrameControl {
    int disposal = kUnspecified;
    uint32 delayCentiseconds = 0;
    int transparent = -1;
};

// The stream read forward through a buffer: the walk over the blocks reads a byte at a
// time, and giflib asks for each block's length byte before the block.
class GifSource {
public:
    explicit GifSource(BPositionIO& io) : fIO(io), fBuffer(kBufferSize) {}

    // Up to `size` bytes; fewer only at the end of the stream or after a read error.
    size_t Read(uint8* out, size_t size) {
        size_t done = 0;
        while (done < size && (fStart < fEnd || Fill())) {
            const size_t n = std::min(size - done, fEnd - fStart);
            std::memcpy(out + done, fBuffer.data() + fStart, n);
            fStart += n;
            done += n;
        }
        return done;
    }

    bool ReadExactly(uint8* out, size_t size) { return Read(out, size) == size; }

    int ReadByte() {
        uint8 byte = 0;
        return Read(&byte, 1) == 1 ? byte : -1;
    }

    bool Skip(size_t size) {
        while (size > 0 && (fStart < fEnd || Fill())) {
            const size_t n = std::min(size, fEnd - fStart);
            fStart += n;
            size -= n;
        }
        return size == 0;
    }

    // Skips data sub-blocks up to and with the empty one that ends them; false when the
    // stream ends first.
    bool SkipSubBlocks() {
        for (int length = ReadByte(); length != 0; length = ReadByte()) {
            if (length < 0 || !Skip(size_t(length))) {
                return false;
            }
        }
        return true;
    }

    off_t Position() const { return fBufferPosition + off_t(fStart); }

    void Seek(off_t position) {
        if (position >= fBufferPosition && position <= fBufferPosition + off_t(fEnd)) {
            fStart = size_t(position - fBufferPosition);
        } else {
            fBufferPosition = position;
            fStart = fEnd = 0;
        }
    }

    bool Failed() const { return fFailed; }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool Fill() {
        const off_t next = fBufferPosition + off_t(fEnd);
        const ssize_t got = fIO.ReadAt(next, fBuffer.data(), fBuffer.size());
        if (got <= 0) {
            fFailed = fFailed || got < 0;
            return false;
        }
        fBufferPosition = next;
        fStart = 0;
        fEnd = size_t(got);
        return true;
    }

    BPositionIO& fIO;
    std::vector<uint8> fBuffer;
    off_t fBufferPosition = 0;  // where fBuffer[0] lies in the stream
    size_t fStart = 0;
    size_t fEnd = 0;
    bool fFailed = false;
};

int ReadForGiflib(GifFileType* gif, GifByteType* buffer, int size) {
    return int(static_cast<GifSource*>(gif->UserData)->Read(buffer, size_t(std::max(size, 0))));
}

enum class Next { Image, End, Truncated, Garbage };

// Reads the blocks before the next frame, up to and with its image separator: the frame's
// graphic control (the last one before it counts) and, when `loop` is given and still -1,
// the loop count of the first application extension that states one. Nothing is kept
// beyond one 255-byte block, so comments and extensions of any length cost no memory.
Next ReadUpToImage(GifSource& in, FrameControl* control, int32* loop) {
    *control = FrameControl{};
    uint8 block[255];
    for (;;) {
        const int introducer = in.ReadByte();
        // A file that ends between blocks lacks only its trailer: its frames are whole.
        if (introducer < 0 || introducer == kTrailer) {
            return Next::End;
        }
        if (introducer == kImageSeparator) {
            return Next::Image;
        }
        if (introducer != kExtensionIntroducer) {
            return Next::Garbage;
        }
        const int label = in.ReadByte();
        int length = in.ReadByte();
        if (label < 0 || length < 0 || !in.ReadExactly(block, size_t(length))) {
            return Next::Truncated;
        }
        if (label == kGraphicControlLabel && length >= 4) {
            control->disposal = (block[0] >> 2) & 7;
            control->delayCentiseconds = ReadLE16(block + 1);
            control->transparent = (block[0] & 1) != 0 ? block[3] : -1;
        }
        const bool looping = label == kApplicationLabel && length == 11 &&
                             (std::memcmp(block, "NETSCAPE2.0", 11) == 0 ||
                              std::memcmp(block, "ANIMEXTS1.0", 11) == 0);
        while (length != 0) {
            length = in.ReadByte();
            if (length < 0 || !in.ReadExactly(block, size_t(length))) {
                return Next::Truncated;
            }
            if (looping && loop != nullptr && *loop < 0 && length >= 3 && block[0] == 1) {
                *loop = ReadLE16(block + 1);
            }
        }
    }
}

void CloseDecoder(GifFileType* gif) {
    DGifCloseFile(gif, nullptr);
}
using GifDecoder = std::unique_ptr<GifFileType, FreeWith<CloseDecoder>>;

// The part of the canvas a frame covers, clipped to it.
struct Area {
    uint32 left = 0, top = 0, width = 0, height = 0;
};

class GifPictureReader final : public PictureReader {
public:
    explicit GifPictureReader(BPositionIO& source) : fSource(source) {}

    status_t Open();
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    enum class Ending { Whole, CutInLastFrame, CutAfterFrame, Garbage };

    status_t Walk(Ending* ending);
    void Dispose();
    // Decodes the frame giflib has just described onto the canvas; how many of its rows
    // were decoded, and whether giflib read it to its end.
    bool Draw(const FrameControl& control, uint32* rowsDecoded, bool* readToEnd);

    GifSource fSource;
    GifDecoder fGif;
    std::unique_ptr<BBitmap> fCanvas;
    uint32 fFramesRead = 0;
    bool fCutInLastFrame = false;
    // The frame shown last, whose disposal comes before the next frame is drawn.
    Area fShown;
    int fShownDisposal = kUnspecified;
    std::vector<uint8> fSaved;  // what fShown covered before it, for kRestore
};

status_t GifPictureReader::Walk(Ending* ending) {
    uint8 screen[13];
    if (!fSource.ReadExactly(screen, 6) ||
        (std::memcmp(screen, "GIF87a", 6) != 0 && std::memcmp(screen, "GIF89a", 6) != 0)) {
        return fSource.Failed() ? Fail(B_IO_ERROR, "lecture du GIF impossible")
                                : Fail(B_NO_TRANSLATOR, "ce fichier n'est pas un GIF");
    }
    if (!fSource.ReadExactly(screen + 6, 7) ||
        ((screen[10] & 0x80) != 0 && !fSource.Skip(size_t(3) << ((screen[10] & 7) + 1)))) {
        return fSource.Failed() ? Fail(B_IO_ERROR, "lecture du GIF impossible")
                                : Fail(B_BAD_DATA, "fichier GIF tronqué");
    }
    fInfo.width = ReadLE16(screen + 6);
    fInfo.height = ReadLE16(screen + 8);
    if (status_t status = CheckImageSize(fInfo.width, fInfo.height); status != B_OK) {
        return status;
    }

    // Frames are counted without decoding them: each one's data is only skipped, block by
    // block. The canvas needs alpha when the first frame leaves some of it bare or has a
    // transparent colour, or a frame is disposed of before another.
    int32 loop = -1;
    uint32 frames = 0;
    bool alpha = false;
    int disposal = kUnspecified;
    *ending = Ending::Whole;
    while (frames < UINT32_MAX) {
        FrameControl control;
        const Next next = ReadUpToImage(fSource, &control, &loop);
        if (next != Next::Image) {
            *ending = next == Next::End         ? Ending::Whole
                      : next == Next::Truncated ? Ending::CutAfterFrame
                                                : Ending::Garbage;
            break;
        }
        uint8 descriptor[9];
        if (!fSource.ReadExactly(descriptor, 9) ||
            ((descriptor[8] & 0x80) != 0 &&
             !fSource.Skip(size_t(3) << ((descriptor[8] & 7) + 1))) ||
            fSource.ReadByte() < 0) {
            *ending = Ending::CutAfterFrame;
            break;
        }
        if (frames == 0) {
            const bool covers = ReadLE16(descriptor) == 0 && ReadLE16(descriptor + 2) == 0 &&
                                ReadLE16(descriptor + 4) >= fInfo.width &&
                                ReadLE16(descriptor + 6) >= fInfo.height;
            alpha = !covers || control.transparent >= 0;
        } else if (disposal == kClear || disposal == kRestore) {
            alpha = true;
        }
        disposal = control.disposal;
        frames++;
        if (!fSource.SkipSubBlocks()) {
            *ending = Ending::CutInLastFrame;
            break;
        }
    }
    if (fSource.Failed()) {
        return Fail(B_IO_ERROR, "lecture du GIF impossible");
    }
    if (frames == 0) {
        return Fail(B_BAD_DATA, *ending == Ending::Whole     ? "fichier GIF sans image"
                                : *ending == Ending::Garbage ? "fichier GIF endommagé"
                                                             : "fichier GIF tronqué");
    }
    fInfo.frameCount = frames;
    // The application extension counts the repeats after the first showing, 0 for ever;
    // without one the animation plays once.
    fInfo.loopCount = loop < 0 ? 1 : loop == 0 ? 0 : loop + 1;
    // A first frame cut short leaves the rest of the canvas bare.
    fInfo.alpha = alpha || (frames == 1 && *ending == Ending::CutInLastFrame);
    return B_OK;
}

status_t GifPictureReader::Open() {
    Ending ending = Ending::Whole;
    if (status_t status = Walk(&ending); status != B_OK) {
        return status;
    }
    const std::string count = std::to_string(fInfo.frameCount);
    switch (ending) {
        case Ending::Whole:
            break;
        case Ending::CutInLastFrame:
            // How much of a single picture is missing is known once it is decoded; an
            // animation's last frame is only decoded if all frames are wanted.
            fCutInLastFrame = true;
            if (fInfo.frameCount > 1) {
                ReportDamage("fichier tronqué : la dernière des " + count +
                             " images est incomplète");
            }
            break;
        case Ending::CutAfterFrame:
            ReportDamage(fInfo.frameCount > 1 ? "fichier tronqué : la fin de l'animation manque"
                                              : "fichier tronqué : la fin du fichier manque");
            break;
        case Ending::Garbage:
            ReportDamage("fichier GIF endommagé : la fin du fichier est illisible");
            break;
    }

    fSource.Seek(0);
    int error = 0;
    fGif.reset(DGifOpen(&fSource, ReadForGiflib, &error));
    if (fGif == nullptr) {
        return Fail(B_BAD_DATA, "fichier GIF endommagé" + GifErrorDetail(error));
    }
    return B_OK;
}

uint8* CanvasRow(BBitmap& canvas, uint32 y) {
    return static_cast<uint8*>(canvas.Bits()) + size_t(y) * size_t(canvas.BytesPerRow());
}

void GifPictureReader::Dispose() {
    if (fShown.width == 0 || fShown.height == 0) {
        return;
    }
    const size_t rowBytes = size_t(fShown.width) * 4;
    for (uint32 y = 0; y < fShown.height; y++) {
        uint8* row = CanvasRow(*fCanvas, fShown.top + y) + size_t(fShown.left) * 4;
        if (fShownDisposal == kClear) {
            // Viewers clear to transparent, not to the background colour the file names.
            std::memset(row, 0, rowBytes);
        } else if (fShownDisposal == kRestore) {
            std::memcpy(row, fSaved.data() + y * rowBytes, rowBytes);
        }
    }
}

bool GifPictureReader::Draw(const FrameControl& control, uint32* rowsDecoded, bool* readToEnd) {
    GifFileType* gif = fGif.get();
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    *rowsDecoded = 0;
    *readToEnd = false;
    if (map == nullptr || uint64(frame.Width) * uint64(frame.Height) > kMaxImagePixels) {
        return false;
    }
    // Indices past the colour map show black, as they do in browsers.
    std::array<std::array<uint8, 4>, 256> colors;
    colors.fill({0, 0, 0, 255});
    for (int i = 0; i < std::min(map->ColorCount, 256); i++) {
        colors[size_t(i)] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 255};
    }
    const uint32 width = uint32(frame.Width), height = uint32(frame.Height);
    const uint32 right = std::min(uint32(frame.Left) + width, fCanvas->PixelWidth());
    const uint32 bottom = std::min(uint32(frame.Top) + height, fCanvas->PixelHeight());
    std::vector<GifPixelType> line(width);
    static constexpr uint32 kPassStart[] = {0, 4, 2, 1};
    static constexpr uint32 kPassStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; pass++) {
        const uint32 step = frame.Interlace ? kPassStep[pass] : 1;
        for (uint32 row = frame.Interlace ? kPassStart[pass] : 0; row < height; row += step) {
            const uint32 y = uint32(frame.Top) + row;
            // Rows in order past the canvas's foot show nowhere: the rest is skipped.
            if (!frame.Interlace && y >= bottom) {
                return true;
            }
            if (DGifGetLine(gif, line.data(), int(width)) != GIF_OK) {
                return false;
            }
            ++*rowsDecoded;
            if (y >= bottom) {
                continue;
            }
            uint8* out = CanvasRow(*fCanvas, y);
            for (uint32 x = uint32(frame.Left); x < right; x++) {
                const GifPixelType index = line[x - uint32(frame.Left)];
                if (index != control.transparent) {
                    std::memcpy(out + size_t(x) * 4, colors[index].data(), 4);
                }
            }
        }
    }
    *readToEnd = true;
    return true;
}

status_t GifPictureReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    frame->reset();
    if (fFramesRead >= fInfo.frameCount) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    // The canvas is only made for the first frame: the caller checks the whole sequence
    // against the pixel limit once the reader is open, before any pixel is allocated.
    if (fCanvas == nullptr) {
        if (status_t status = NewImage(fInfo.width, fInfo.height, fInfo.alpha, &fCanvas);
            status != B_OK) {
            return status;
        }
    }
    Dispose();
    fShown = Area{};
    FrameControl control;
    if (ReadUpToImage(fSource, &control, nullptr) != Next::Image) {
        return fSource.Failed() ? Fail(B_IO_ERROR, "lecture du GIF impossible")
                                : Fail(B_ERROR, "fichier GIF modifié pendant sa lecture");
    }
    GifFileType* gif = fGif.get();
    const bool described = DGifGetImageDesc(gif) == GIF_OK;
    // giflib keeps a record of every frame described, which would grow with the file:
    // one frame at a time is all this reader needs.
    GifFreeSavedImages(gif);
    gif->ImageCount = 0;
    const off_t dataStart = fSource.Position();

    uint32 rowsDecoded = 0;
    bool readToEnd = false;
    bool drawn = described;
    if (described) {
        const GifImageDesc& d = gif->Image;
        fShown.left = std::min(uint32(d.Left), fInfo.width);
        fShown.top = std::min(uint32(d.Top), fInfo.height);
        fShown.width = std::min(uint32(d.Left) + uint32(d.Width), fInfo.width) - fShown.left;
        fShown.height = std::min(uint32(d.Top) + uint32(d.Height), fInfo.height) - fShown.top;
        fShownDisposal = control.disposal;
        // A frame wholly off the screen shows nothing, so it has nothing to save (and
        // Dispose nothing to put back).
        if (control.disposal == kRestore && fShown.width > 0 && fShown.height > 0) {
            const size_t rowBytes = size_t(fShown.width) * 4;
            fSaved.resize(rowBytes * fShown.height);
            for (uint32 y = 0; y < fShown.height; y++) {
                std::memcpy(fSaved.data() + y * rowBytes,
                            CanvasRow(*fCanvas, fShown.top + y) + size_t(fShown.left) * 4,
                            rowBytes);
            }
        }
        drawn = Draw(control, &rowsDecoded, &readToEnd);
    }
    const int error = gif->Error;
    // Where giflib stopped short of the frame's end, the blocks are skipped here, which
    // also tells whether the file goes on.
    bool cut = false;
    if (!readToEnd) {
        fSource.Seek(dataStart);
        cut = !fSource.SkipSubBlocks();
    }
    if (fSource.Failed()) {
        return Fail(B_IO_ERROR, "lecture du GIF impossible");
    }
    fFramesRead++;
    if (!drawn) {
        cut = cut || (fCutInLastFrame && fFramesRead == fInfo.frameCount);
        if (fFramesRead == 1 && rowsDecoded == 0) {
            // Appended rather than joined with operator+: GCC 12 at -O3 takes the join of a
            // literal and a temporary for an overlapping copy.
            std::string reason = cut ? "fichier GIF tronqué" : "fichier GIF endommagé";
            if (!cut) {
                reason.append(GifErrorDetail(error));
            }
            return Fail(B_BAD_DATA, reason);
        }
        const uint32 rows = described ? uint32(gif->Image.Height) : 1;
        const uint64 missing = rows - std::min(rows, rowsDecoded);
        if (fInfo.frameCount == 1 && cut) {
            ReportDamage(TruncationDamage(missing, rows));
        } else {
            std::string damage =
                cut ? "fichier tronqué : environ " : "fichier GIF endommagé : environ ";
            damage.append(std::to_string(MissingPercent(missing, rows))).append(" % de l'image");
            if (fInfo.frameCount != 1) {
                damage.append(" ")
                    .append(std::to_string(fFramesRead))
                    .append(" sur ")
                    .append(std::to_string(fInfo.frameCount));
            }
            ReportDamage(damage.append(" manque"));
        }
    } else if (cut) {
        ReportDamage("fichier tronqué : la fin du fichier manque");
    }

    if (status_t status = NewImage(fInfo.width, fInfo.height, fInfo.alpha, frame); status != B_OK) {
        return status;
    }
    std::memcpy((*frame)->Bits(), fCanvas->Bits(), size_t(fCanvas->BitsLength()));
    timing->delayMs = control.delayCentiseconds * 10;
    return B_OK;
}

}  // namespace

std::string GifErrorDetail(int error) {
    const char* text = error != 0 ? GifErrorString(error) : nullptr;
    return text != nullptr ? std::string(" (") + text + ")" : std::string();
}

status_t OpenGifReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenPictureReader<GifPictureReader>(reader, source);
}

}  // namespace orv
