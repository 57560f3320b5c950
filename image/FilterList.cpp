// SPDX-License-Identifier: MIT
// The twelve filters of the filter menu, by position: the position is the only key
// between the menu and the conversion run.
#include "image/OrvImage.h"
#include "image/PixelJob.h"

const char label_filter[kFilterCount][50] = {
    "Aucun (par défaut)",
    "Image négative",
    "Niveaux de gris",
    "Miroir (Gauche <-> Droite)",
    "Basculement (Haut <-> Bas)",
    "Echanger Rouge et Vert",
    "Echanger Vert et Bleu",
    "Echanger Bleu et Rouge",
    "Dessin à main levée (Léger, contraste élevé)",
    "Dessin à main levée (Gras, contraste élevé)",
    "Dessin à main levée (peu de contraste)",
    "Rotation à 180°",
};

using orv::image::ChannelSwapWork;
using orv::image::GreyWork;
using orv::image::NegativeWork;

namespace {

// Each filter as an operation giving a new image, where it can on the image itself, and
// where it changes each pixel by itself, on rows as a decoder fills them.
struct FilterOperations {
    std::unique_ptr<OrvImage> (*make)(const OrvImage&);
    bool (*inPlace)(OrvImage&);  // nullptr: the result must be made apart
    orv::PixelWork (*pixels)();  // nullptr: the filter moves pixels or reads their neighbours
};

constexpr FilterOperations kOperations[kFilterCount] = {
    {nullptr, nullptr, nullptr},
    {[](const OrvImage& i) { return i.InvertColors(); },
     [](OrvImage& i) { return i.InvertColorsInPlace(); }, NegativeWork},
    {[](const OrvImage& i) { return i.GreyScale(); },
     [](OrvImage& i) { return i.GreyScaleInPlace(); }, GreyWork},
    {[](const OrvImage& i) { return i.Mirror(); }, [](OrvImage& i) { return i.MirrorInPlace(); },
     nullptr},
    {[](const OrvImage& i) { return i.Flip(); }, [](OrvImage& i) { return i.FlipInPlace(); },
     nullptr},
    {[](const OrvImage& i) { return i.Exchange(kSwapRedGreen); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapRedGreen); },
     [] { return ChannelSwapWork(kSwapRedGreen); }},
    {[](const OrvImage& i) { return i.Exchange(kSwapGreenBlue); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapGreenBlue); },
     [] { return ChannelSwapWork(kSwapGreenBlue); }},
    {[](const OrvImage& i) { return i.Exchange(kSwapBlueRed); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapBlueRed); },
     [] { return ChannelSwapWork(kSwapBlueRed); }},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingLight); }, nullptr, nullptr},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingBold); }, nullptr, nullptr},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingSoft); }, nullptr, nullptr},
    {[](const OrvImage& i) { return i.Rotate180(); },
     [](OrvImage& i) { return i.Rotate180InPlace(); }, nullptr},
};

const FilterOperations* Operations(int32 index) {
    return index > kNoFilter && index < kFilterCount ? &kOperations[index] : nullptr;
}

}  // namespace

std::unique_ptr<OrvImage> ApplyFilter(const OrvImage& image, int32 index) {
    const FilterOperations* operations = Operations(index);
    return operations != nullptr ? operations->make(image) : nullptr;
}

bool ApplyFilterInPlace(OrvImage& image, int32 index) {
    const FilterOperations* operations = Operations(index);
    return operations != nullptr && operations->inPlace != nullptr && operations->inPlace(image);
}

orv::PixelWork PixelFilter(int32 index) {
    const FilterOperations* operations = Operations(index);
    return operations != nullptr && operations->pixels != nullptr ? operations->pixels()
                                                                  : orv::PixelWork{};
}
