// SPDX-License-Identifier: MIT
// BBitmapStream: a BBitmap seen as a stream in the bitmap interchange format, a 32-byte
// big-endian header (TranslatorBitmap) followed by the rows.
//
// Read, it presents the bitmap it holds. Written, it takes such a stream and builds the
// bitmap as the header arrives, checking it first: a header that names an impossible size,
// an unknown colour space or rows that do not match the bitmap's own is refused before any
// pixel memory is taken. Translators in this process reach the bitmap itself through
// Bitmap() and AdoptBitmap(), so no pixel is copied between a codec and its caller.
#pragma once

#include <array>
#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/translation/TranslationDefs.h"

class BBitmapStream : public BPositionIO {
public:
    // The stream owns `bitmap` (which may be null: an empty stream waiting to be written)
    // until DetachBitmap.
    explicit BBitmapStream(BBitmap* bitmap = nullptr);
    ~BBitmapStream() override;

    ssize_t ReadAt(off_t position, void* buffer, size_t size) override;
    ssize_t WriteAt(off_t position, const void* buffer, size_t size) override;
    off_t Seek(off_t position, uint32 seekMode) override;
    off_t Position() const override;
    status_t SetSize(off_t size) override;
    status_t GetSize(off_t* size) const override;

    // Hands the bitmap to the caller, who then owns it; the stream is empty afterwards.
    // B_ERROR when there is no bitmap (nothing written yet, or already detached).
    status_t DetachBitmap(BBitmap** bitmap);

    // The bitmap the stream holds (null when none), for translators in this process.
    BBitmap* Bitmap() const { return fBitmap; }

    // Gives an empty stream its bitmap without copying it: how a decoder in this process
    // delivers its result. B_NOT_ALLOWED when the stream already holds or received data.
    status_t AdoptBitmap(BBitmap* bitmap);

private:
    void SetHeaderFrom(const BBitmap& bitmap);
    status_t TakeHeaderBytes(off_t position, const uint8* data, size_t size);

    BBitmap* fBitmap = nullptr;
    std::array<uint8, kTranslatorBitmapHeaderSize> fHeader{};
    size_t fHeaderBytes = 0;   // header bytes known: all of them once there is a bitmap
    status_t fRefusal = B_OK;  // once a written header is refused, so is every later write
    off_t fPosition = 0;
};

namespace orv {

// The header in its stream form, and back. ParseBitmapHeader checks everything the
// header claims (magic, bounds, colour space, row length, data size, CheckImageSize)
// and fails with a reason when the stream could not be the image it says.
void FormatBitmapHeader(const TranslatorBitmap& header,
                        uint8 (&bytes)[kTranslatorBitmapHeaderSize]);
TranslatorBitmap BitmapHeaderFor(const BBitmap& bitmap);
status_t ParseBitmapHeader(const uint8* bytes, TranslatorBitmap* header);

// Reads a whole interchange stream, from the current position, into a new bitmap.
status_t ReadInterchangeBitmap(BPositionIO& source, std::unique_ptr<BBitmap>* image);
// Writes `image` as an interchange stream at the current position.
status_t WriteInterchangeBitmap(const BBitmap& image, BPositionIO& destination);

}  // namespace orv
