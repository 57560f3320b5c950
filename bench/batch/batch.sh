#!/bin/bash
# SPDX-License-Identifier: MIT
# Times `orvane convert` against ImageMagick and libvips on the same real photographs, in
# the same run: JPEG to PNG, JPEG to JPEG at width 800, PNG to WebP, greyscale and a half
# turn. Prints the times, the ratios orvane/vips and orvane/magick, and the total size of
# each tool's outputs.
#
#   bench/batch/batch.sh [BUILD_DIR]     (default: build; built here when orvane is missing)
#   REPEAT=3 bench/batch/batch.sh        best of three runs per tool and task
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$repo" && realpath -m "${1:-build}")
repeat=${REPEAT:-1}
quality=90  # JPEG and WebP quality, the same for every tool (orvane's default)

need=()
dpkg -s imagemagick >/dev/null 2>&1 && command -v mogrify >/dev/null 2>&1 || need+=(imagemagick)
dpkg -s libvips-tools >/dev/null 2>&1 || need+=(libvips-tools)
if [ ${#need[@]} -gt 0 ]; then
    echo "installation de ${need[*]}..."
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ ! -x "$build/app/orvane" ]; then
    [ -f "$build/build.ninja" ] || cmake -S "$repo" -B "$build" -G Ninja >/dev/null
    addons=$(ninja -C "$build" -t targets all | grep -o '^orvtr_[a-z0-9]*_addon' | sort -u)
    cmake --build "$build" --target orvane $addons
fi
orvane=$build/app/orvane

work=$(mktemp -d /tmp/orvane-batch.XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$repo/scripts/photos.sh" "$work/photos"

# The benchmark's own settings and trash, nothing of the user's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export ORVANE_TRANSLATORS=$build/translators
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
"$orvane" settings jpeg quality=$quality >/dev/null
"$orvane" settings webp quality=$quality >/dev/null

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }

# run TOOL TASK INPUT_KIND 'COMMAND': copies the inputs into a fresh folder, then times
# COMMAND, evaluated with $in (the inputs) and $out (an empty output folder) set. Keeps the
# best time.
declare -A seconds bytes
run() {
    local tool=$1 task=$2 kind=$3 command=$4
    local best=
    for ((r = 0; r < repeat; r++)); do
        in=$work/run/in out=$work/run/out
        rm -rf "$work/run"
        mkdir -p "$in" "$out"
        cp "$work/photos/$kind"/* "$in/"
        local start end
        start=$(now)
        eval "$command" >/dev/null 2>"$work/run.err" || { cat "$work/run.err" >&2; echo "$tool $task a échoué" >&2; exit 1; }
        end=$(now)
        local t
        t=$(calc "$end - $start")
        if [ -z "$best" ] || [ "$(calc "($t < $best)")" = 1 ]; then best=$t; fi
    done
    seconds[$tool,$task]=$best
    # orvane writes beside its sources, the others into $out: count what is new.
    if [ "$tool" = orvane ]; then
        local total=0 name
        while IFS= read -r name; do
            total=$((total + $(stat -c %s "$in/$name")))
        done < <(comm -13 <(ls "$work/photos/$kind" | sort) <(ls "$in" | sort))
        bytes[$tool,$task]=$total
    else
        bytes[$tool,$task]=$(du -cb "$out"/* | tail -1 | cut -f1)
    fi
}

vips_each() {  # vips_each OPERATION SUFFIX [ARGS...]: one vips call per input
    local op=$1 suffix=$2
    shift 2
    for f in "$in"/*; do
        local base
        base=$(basename "${f%.*}")
        vips "$op" "$f" "$out/$base$suffix" "$@"
    done
}

tasks=(jpeg-png jpeg-800 png-webp gris rotation)
declare -A label=([jpeg-png]="JPEG → PNG" [jpeg-800]="JPEG → JPEG 800 px" [png-webp]="PNG → WebP"
                  [gris]="niveaux de gris (JPEG)" [rotation]="rotation 180° (JPEG)")

run orvane jpeg-png jpg '"$orvane" convert --to png "$in"'
run magick jpeg-png jpg 'mogrify -path "$out" -format png "$in"/*.jpg'
run vips jpeg-png jpg 'vips_each copy .png'

run orvane jpeg-800 jpg '"$orvane" convert --to jpeg --width 800 "$in"'
run magick jpeg-800 jpg 'mogrify -path "$out" -resize 800x -quality $quality "$in"/*.jpg'
run vips jpeg-800 jpg 'for f in "$in"/*.jpg; do vipsthumbnail "$f" -s 800x100000 -o "$out/%s.jpg[Q=$quality]"; done'

run orvane png-webp png '"$orvane" convert --to webp "$in"'
run magick png-webp png 'mogrify -path "$out" -format webp -quality $quality "$in"/*.png'
run vips png-webp png 'vips_each copy ".webp[Q=$quality]"'

run orvane gris jpg '"$orvane" convert --to jpeg --filter 2 "$in"'
run magick gris jpg 'mogrify -path "$out" -colorspace Gray -quality $quality "$in"/*.jpg'
run vips gris jpg 'vips_each colourspace ".jpg[Q=$quality]" b-w'

run orvane rotation jpg '"$orvane" convert --to jpeg --filter 11 "$in"'
run magick rotation jpg 'mogrify -path "$out" -rotate 180 -quality $quality "$in"/*.jpg'
run vips rotation jpg 'vips_each rot ".jpg[Q=$quality]" d180'

echo
echo "$(ls "$work/photos/jpg" | wc -l) JPEG, $(ls "$work/photos/png" | wc -l) PNG ; $(nproc) cœurs ; meilleur de $repeat"
printf '%-24s %9s %9s %9s %12s %12s %10s %10s %10s\n' tâche "orvane s" "vips s" "magick s" orvane/vips orvane/magick "orvane Mo" "vips Mo" "magick Mo"
for task in "${tasks[@]}"; do
    o=${seconds[orvane,$task]} v=${seconds[vips,$task]} m=${seconds[magick,$task]}
    printf '%-24s %9.2f %9.2f %9.2f %12.2f %12.2f %10.1f %10.1f %10.1f\n' "${label[$task]}" "$o" "$v" "$m" \
        "$(calc "$o / $v")" "$(calc "$o / $m")" \
        "$(calc "${bytes[orvane,$task]} / 1000000")" \
        "$(calc "${bytes[vips,$task]} / 1000000")" \
        "$(calc "${bytes[magick,$task]} / 1000000")"
done
