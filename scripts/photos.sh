#!/bin/bash
# SPDX-License-Identifier: MIT
# Real photographs for the benchmarks and end-to-end runs, from Debian's wallpaper
# packages: photos.sh DIR copies a fixed set of 16 JPEG photographs (1280x1024 to
# 5640x3172) into DIR/jpg and 8 PNG pictures (some with transparency) into DIR/png.
# The packages are installed when missing (as root); they are never copied into the project.
set -euo pipefail
dir=${1:?usage: photos.sh DIR}
packages=(mate-backgrounds ukui-wallpapers)
source=/usr/share/backgrounds

jpg=(2004default.jpg firstgeneration.jpg
     mate/abstract/Elephants.jpg mate/abstract/Elephants_3840x2160.jpg
     mate/abstract/Elephants_5640x3172.jpg
     mate/nature/Aqua.jpg mate/nature/Blinds.jpg mate/nature/Dune.jpg
     mate/nature/FreshFlower.jpg mate/nature/Garden.jpg mate/nature/GreenMeadow.jpg
     mate/nature/LadyBird.jpg mate/nature/RainDrops.jpg mate/nature/Storm.jpg
     mate/nature/TwoWings.jpg mate/nature/Wood.jpg)
png=(calla.png city.png desert.png fluent-color.png goldfish.png
     mate/desktop/Float-into-MATE.png mate/desktop/Stripes.png
     mate/desktop/Ubuntu-Mate-Cold-no-logo.png)

bash "$(dirname "$0")/install-deps.sh" "${packages[@]}"

mkdir -p "$dir/jpg" "$dir/png"
for kind in jpg png; do
    declare -n files=$kind
    for f in "${files[@]}"; do
        cp "$source/$f" "$dir/$kind/"
    done
done
echo "${#jpg[@]} JPEG and ${#png[@]} PNG pictures in $dir"
