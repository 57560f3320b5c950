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
        case 1:
            return image.InvertColors();
        case 2:
            return image.GreyScale();
        case 3:
            return image.Mirror();
        case 4:
            return image.Flip();
        case 5:
            return image.Exchange(0xFFFF00);
        case 6:
            return image.Exchange(0xFFFF);
        case 7:
            return image.Exchange(0xFF00FF);
        case 8:
            return image.HandDrawing(1);
        case 9:
            return image.HandDrawing(2);
        case 10:
            return image.HandDrawing(3);
        case 11:
            return image.Rotate180();
        default:
            return nullptr;
    }
}
