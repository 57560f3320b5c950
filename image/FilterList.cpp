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

std::unique_ptr<OrvImage> ApplyFilter(const OrvImage& image, int32 index) {
    switch (index) {
        case kNegativeFilter:
            return image.InvertColors();
        case kGreyScaleFilter:
            return image.GreyScale();
        case kMirrorFilter:
            return image.Mirror();
        case kFlipFilter:
            return image.Flip();
        case kSwapRedGreenFilter:
            return image.Exchange(kSwapRedGreen);
        case kSwapGreenBlueFilter:
            return image.Exchange(kSwapGreenBlue);
        case kSwapBlueRedFilter:
            return image.Exchange(kSwapBlueRed);
        case kLightDrawingFilter:
            return image.HandDrawing(kDrawingLight);
        case kBoldDrawingFilter:
            return image.HandDrawing(kDrawingBold);
        case kSoftDrawingFilter:
            return image.HandDrawing(kDrawingSoft);
        case kRotate180Filter:
            return image.Rotate180();
        default:
            return nullptr;
    }
}
