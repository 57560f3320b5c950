#!/bin/bash
# SPDX-License-Identifier: MIT
# Does a photograph stay the same photograph? A real photograph is made Adobe RGB
# (compatibleWithAdobeRGB1998.icc) and tagged with exiftool (date taken, camera, GPS,
# orientation 6, XMP, IPTC, 300 dpi), then converted into every output format. Prints, per
# format:
#   - the mean CIEDE2000 difference from the source, both shown through their own profile
#     (else sRGB), at the default settings; the same for an sRGB copy of the photograph,
#     where no colour is converted (what the compression alone costs); and at the format's
#     best setting;
#   - what exiftool reads in an 800-pixel-wide conversion: date taken, camera, GPS,
#     orientation, size, profile;
# then what --strip leaves, and the processor time of a batch with metadata kept and
# stripped.
#
#   bench/colour/colour.sh [BUILD_DIR]     (default: build; needs orvane, the add-ons and
#                                           bench/orvane_deltae built there)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$repo" && realpath -m "${1:-build}")
orvane=$build/app/orvane
deltae=$build/bench/orvane_deltae
for tool in "$orvane" "$deltae"; do
    [ -x "$tool" ] || { echo "$tool manque : construisez-le d'abord" >&2; exit 1; }
done
need=()
for package in imagemagick libimage-exiftool-perl icc-profiles-free time; do
    dpkg -s $package >/dev/null 2>&1 || need+=($package)
done
if [ ${#need[@]} -gt 0 ]; then
    echo "installation de ${need[*]}..."
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
icc=/usr/share/color/icc
convert=/usr/bin/convert  # ImageMagick's, whatever else PATH may put before it

work=$(mktemp -d /tmp/orvane-colour.XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$repo/scripts/photos.sh" "$work/photos" >/dev/null
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export ORVANE_TRANSLATORS=$build/translators
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
cd "$work"

tag() {
    exiftool -q -overwrite_original -DateTimeOriginal="2024:05:06 07:08:09" -Make=Orvane \
        -Model=Test -GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 \
        -GPSLongitudeRef=E -Orientation#=6 -XMP-dc:Title="Éléphants" -IPTC:Keywords=safari \
        -XResolution=300 -YResolution=300 -ResolutionUnit=inches "$@"
}
photo=photos/jpg/Elephants.jpg
"$convert" "$photo" -profile $icc/sRGB.icc -profile $icc/compatibleWithAdobeRGB1998.icc \
    -quality 95 adobe.jpg
"$convert" "$photo" -strip -profile $icc/sRGB.icc -quality 95 srgb.jpg
tag adobe.jpg srgb.jpg
for f in adobe srgb; do
    "$convert" $f.jpg -auto-orient -profile $icc/sRGB.icc -depth 16 ref_$f.ppm
done

# convert_one DIR FORMAT SOURCE [OPTIONS...]: converts a copy of SOURCE in a fresh DIR and
# prints the output's name.
convert_one() {
    local dir=$1 format=$2 source=$3
    shift 3
    rm -rf "$dir"
    mkdir "$dir"
    cp "$source" "$dir/"
    (cd "$dir" && "$orvane" convert --to "$format" "$@" "$source" >/dev/null 2>&1)
    ls "$dir" | grep -v "^$source\$" | head -1
}

# measure FORMAT SOURCE: mean ΔE of FORMAT's output against SOURCE's reference. ImageMagick
# 6.9 ignores the profile of AVIF and HEIF files and the origin of TGA files: those are read
# back by Orvane into PNG, which keeps the profile.
measure() {
    local out
    out=$(convert_one d "$1" "$2.jpg")
    case $1 in
        avif | heif | tga | jxl | qoi)
            mkdir d/back
            cp "d/$out" d/back/
            (cd d/back && "$orvane" convert --to png "$out" >/dev/null 2>&1)
            "$convert" d/back/*.png -profile $icc/sRGB.icc -depth 16 o.ppm
            ;;
        *) "$convert" "d/$out" -profile $icc/sRGB.icc -depth 16 o.ppm ;;
    esac
    "$deltae" "ref_$2.ppm" o.ppm | cut -d' ' -f1
}
best() {
    case $1 in
        jpeg) echo "quality=100 subsampling=2" ;;
        webp | avif | jxl) echo "lossless=true" ;;
        heif) echo "quality=100" ;;
    esac
}

formats=(jpeg png webp tiff avif jxl heif bmp gif tga ppm qoi)
echo "ΔE 2000 moyen, photographie Adobe RGB $(identify -format %wx%h "$photo")"
printf '%-6s %9s %9s %9s   %s\n' format "Adobe RGB" sRGB "meilleur" "exiftool, en 800 px de large"
for format in "${formats[@]}"; do
    adobe=$(measure "$format" adobe)
    srgb=$(measure "$format" srgb)
    top=-
    if [ -n "$(best "$format")" ]; then
        cp -r home home.saved
        "$orvane" settings "$format" $(best "$format") >/dev/null
        top=$(measure "$format" adobe)
        rm -rf home
        mv home.saved home
    fi
    out=$(convert_one s "$format" adobe.jpg --width 800)
    tags=$(exiftool -s -s -s -DateTimeOriginal -Model -GPSLatitude -Orientation -ImageSize \
        -ProfileDescription "s/$out" 2>/dev/null | tr '\n' '|' || true)
    printf '%-6s %9s %9s %9s   %s\n' "$format" "$adobe" "$srgb" "$top" "$tags"
done

echo
echo "--strip : étiquettes lues par exiftool (date, appareil, GPS, mots-clés, titre XMP)"
for format in "${formats[@]}"; do
    out=$(convert_one s "$format" adobe.jpg --strip)
    printf '%-6s %s\n' "$format" "$(exiftool -s -s -s -DateTimeOriginal -Model -GPSLatitude \
        -Keywords -XMP:Title "s/$out" 2>/dev/null | tr '\n' '|')"
done

echo
echo "Coût des métadonnées : les JPEG du jeu, Adobe RGB et étiquetés, temps processeur moyen"
mkdir batch
for f in photos/jpg/*.jpg; do
    "$convert" "$f" -profile $icc/sRGB.icc -profile $icc/compatibleWithAdobeRGB1998.icc \
        -quality 92 "batch/$(basename "$f")"
done
tag batch/*.jpg
for format in jpeg webp; do
    declare -A cpu=([keep]=0 [strip]=0)
    runs=5
    for ((r = 0; r < runs; r++)); do
        for mode in keep strip; do
            rm -rf run
            cp -r batch run
            option=()
            [ $mode = strip ] && option=(--strip)
            /usr/bin/time -f "%U %S" -o t.txt "$orvane" convert --to $format "${option[@]}" \
                --sources keep run >/dev/null 2>&1
            cpu[$mode]=$(awk -v s="${cpu[$mode]}" '{ print s + $1 + $2 }' t.txt)
        done
    done
    awk -v f=$format -v k="${cpu[keep]}" -v s="${cpu[strip]}" -v n=$runs \
        'BEGIN { printf "%-5s gardées %.2f s, retirées %.2f s : %+.1f %%\n", f, k / n, s / n, (k / s - 1) * 100 }'
done
