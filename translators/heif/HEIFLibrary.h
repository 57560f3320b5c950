// SPDX-License-Identifier: MIT
// What the HEIF translator's parts share of libheif: its objects' owners and its start.
#pragma once

#include <libheif/heif.h>

#include <memory>

#include "platform/support/FreeWith.h"

namespace orv {

using HeifContextPtr = std::unique_ptr<heif_context, FreeWith<heif_context_free>>;
using HeifHandlePtr = std::unique_ptr<heif_image_handle, FreeWith<heif_image_handle_release>>;
using HeifImagePtr = std::unique_ptr<heif_image, FreeWith<heif_image_release>>;

// libheif registers its codecs once per process; we never undo it, since other
// translators' libraries may share it.
void InitHeifLibrary();

}  // namespace orv
