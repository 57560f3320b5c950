// SPDX-License-Identifier: MIT
// The twelve filters of the filter menu, by position: the position is the only key
// between the menu and the conversion run.
#include "image/OrvImage.h"

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

namespace {

// Each filter as an operation giving a new image and, where it can, on the image itself.
struct FilterOperations {
    std::unique_ptr<OrvImage> (*make)(const OrvImage&);
    bool (*inPlace)(OrvImage&);  // nullptr: the result must be made apart
};

constexpr FilterOperations kOperations[kFilterCount] = {
    {nullptr, nullptr},
    {[](const OrvImage& i) { return i.InvertColors(); },
     [](OrvImage& i) { return i.InvertColorsInPlace(); }},
    {[](const OrvImage& i) { return i.GreyScale(); },
     [](OrvImage& i) { return i.GreyScaleInPlace(); }},
    {[](const OrvImage& i) { return i.Mirror(); }, [](OrvImage& i) { return i.MirrorInPlace(); }},
    {[](const OrvImage& i) { return i.Flip(); }, [](OrvImage& i) { return i.FlipInPlace(); }},
    {[](const OrvImage& i) { return i.Exchange(kSwapRedGreen); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapRedGreen); }},
    {[](const OrvImage& i) { return i.Exchange(kSwapGreenBlue); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapGreenBlue); }},
    {[](const OrvImage& i) { return i.Exchange(kSwapBlueRed); },
     [](OrvImage& i) { return i.ExchangeInPlace(kSwapBlueRed); }},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingLight); }, nullptr},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingBold); }, nullptr},
    {[](const OrvImage& i) { return i.HandDrawing(kDrawingSoft); }, nullptr},
    {[](const OrvImage& i) { return i.Rotate180(); },
     [](OrvImage& i) { return i.Rotate180InPlace(); }},
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
