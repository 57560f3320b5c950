// SPDX-License-Identifier: MIT
// The seam between picture translators and the interface kit: the kit that knows how to
// build controls registers a factory, and every ImageTranslator's configuration view is
// built from its settings schema through it. Until one is registered (the command line,
// the tests), translators offer no view and answer B_ERROR.
#pragma once

#include "platform/support/Message.h"
#include "platform/support/Rect.h"

class BView;

namespace orv {

class ImageTranslator;

// Builds a new view showing `translator`'s settings; `ioExtension` is the settings message
// the caller holds (may be null). Sets *outView (owned by the caller) and *outExtent.
using ConfigurationViewFactory = status_t (*)(ImageTranslator& translator, BMessage* ioExtension,
                                              BView** outView, BRect* outExtent);

// Registers the factory for the whole process (nullptr removes it). Thread-safe.
void SetConfigurationViewFactory(ConfigurationViewFactory factory);
ConfigurationViewFactory GetConfigurationViewFactory();

}  // namespace orv
