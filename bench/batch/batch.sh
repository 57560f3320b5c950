#!/bin/bash
# SPDX-License-Identifier: MIT
# Times `orvane convert` against ImageMagick and libvips on the same real photographs, in
# the same run: JPEG to PNG, JPEG to JPEG at width 800, PNG to WebP, greyscale, a half turn
# and JPEG to AVIF, then one picture of 100 megapixels to PNG and to an 800-pixel JPEG.
#
# libvips is run at its best: one call per file one after another, the same with as many
# calls at once as there are cores, and, for thumbnails, vipsthumbnail on every file in one
# call; its best time is the one compared. ImageMagick's mogrify takes every file in one
# call and uses the cores itself. Orvane runs as a user runs it (every core by default).
# Prints, per task, each tool's time, Orvane's time as a ratio to libvips' best and to
# ImageMagick, the processor time of Orvane and of libvips' best (what the cores spent: a
# batch that keeps every core busy goes no faster without spending less), each tool's peak
# memory and output bytes, and the load average around it;
# then Orvane's time on the set's largest file alone, the least the batch can take, and
# that time as a ratio to libvips' best on the whole batch.
#
#   bench/batch/batch.sh [BUILD_DIR]     (default: build; built here when orvane is missing)
#   REPEAT=3 bench/batch/batch.sh        best of three runs per tool and task
#   BIG=0 bench/batch/batch.sh           without the 100-megapixel picture
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$repo" && realpath -m "${1:-build}")
repeat=${REPEAT:-1}
big=${BIG:-1}
quality=90  # JPEG and WebP quality, the same for every tool (orvane's default)
cores=$(nproc)

need=()
dpkg -s imagemagick >/dev/null 2>&1 || need+=(imagemagick)
dpkg -s libvips-tools >/dev/null 2>&1 || need+=(libvips-tools)
dpkg -s time >/dev/null 2>&1 || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
    echo "installation de ${need[*]}..."
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# ImageMagick's own programs, whatever else PATH may put before them.
mogrify=/usr/bin/mogrify

if [ ! -x "$build/app/orvane" ]; then
    [ -f "$build/build.ninja" ] || cmake -S "$repo" -B "$build" -G Ninja >/dev/null
    addons=$(ninja -C "$build" -t targets all | grep -o '^orvtr_[a-z0-9]*_addon' | sort -u)
    cmake --build "$build" --target orvane $addons
fi
orvane=$build/app/orvane

work=$(mktemp -d /tmp/orvane-batch.XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$repo/scripts/photos.sh" "$work/photos"
# Each set's largest file alone, with every core to itself: a batch takes at least as long
# as its slowest picture.
for kind in jpg png; do
    mkdir -p "$work/photos/${kind}1"
    cp "$(ls -S "$work/photos/$kind"/* | head -1)" "$work/photos/${kind}1/"
done
if [ "$big" = 1 ]; then
    # 12000 × 8400: the largest photograph enlarged, saved as a baseline JPEG.
    mkdir -p "$work/photos/big"
    largest=$(ls -S "$work/photos/jpg"/*.jpg | head -1)
    vips resize "$largest" "$work/photos/big/big.jpg[Q=92]" "$(awk -v w="$(vipsheader -f width "$largest")" 'BEGIN { print 12000 / w }')"
fi

# The benchmark's own settings and trash, nothing of the user's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export ORVANE_TRANSLATORS=$build/translators
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
"$orvane" settings jpeg quality=$quality >/dev/null
"$orvane" settings webp quality=$quality >/dev/null

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
load() { cut -d' ' -f1 /proc/loadavg; }

# run TOOL TASK INPUT_KIND 'COMMAND': copies the inputs into a fresh folder, then times
# the command (run by bash, with $in, $out, $orvane, $mogrify and $quality set) and asks
# time for its peak memory and processor time. Keeps the best time so far, the peak memory,
# processor time and output bytes of that run, and the load average before it.
declare -A seconds cpu bytes peak loads
run() {
    local tool=$1 task=$2 kind=$3 command=$4
    local best=${seconds[$tool,$task]:-}
    in=$work/run/in out=$work/run/out
    rm -rf "$work/run"
    mkdir -p "$in" "$out"
    cp "$work/photos/$kind"/* "$in/"
    # The copy's own writing is not the tool's work.
    sync
    local before start end t
    before=$(load)
    start=$(now)
    if ! /usr/bin/time -f "%M %U %S" -o "$work/run.time" bash -c "$(declare -f vips_each vips_all); in='$in' out='$out' orvane='$orvane' mogrify='$mogrify' quality=$quality cores=$cores; $command" >/dev/null 2>"$work/run.err"; then
        cat "$work/run.err" >&2
        echo "$tool $task a échoué" >&2
        exit 1
    fi
    end=$(now)
    t=$(calc "$end - $start")
    if [ -n "$best" ] && [ "$(calc "($t < $best)")" = 0 ]; then
        return
    fi
    seconds[$tool,$task]=$t
    local rss user system
    read -r rss user system < <(tail -1 "$work/run.time")
    peak[$tool,$task]=$rss
    cpu[$tool,$task]=$(calc "$user + $system")
    loads[$tool,$task]=$before
    # orvane writes beside its sources, the others into $out: count what is new.
    if [[ $tool == orvane* ]]; then
        local total=0 name
        while IFS= read -r name; do
            total=$((total + $(stat -c %s "$in/$name")))
        done < <(comm -13 <(ls "$work/photos/$kind" | sort) <(ls "$in" | sort))
        bytes[$tool,$task]=$total
    else
        bytes[$tool,$task]=$(du -cb "$out"/* | tail -1 | cut -f1)
    fi
}

# measure TASK TOOL INPUT_KIND 'COMMAND' [TOOL INPUT_KIND 'COMMAND'...]: each tool once per
# round, REPEAT rounds: the machine's speed drifts over minutes, and taking the tools in
# turn lets every one meet the same drift.
measure() {
    local task=$1
    shift
    for ((r = 0; r < repeat; r++)); do
        local tool
        for ((tool = 1; tool <= $#; tool += 3)); do
            # The positions of the tool's name, input kind and command.
            local kind=$((tool + 1)) command=$((tool + 2))
            run "${!tool}" "$task" "${!kind}" "${!command}"
        done
    done
}

# vips_each OPERATION SUFFIX [ARGS...]: one vips call per input, one after another.
vips_each() {
    local op=$1 suffix=$2
    shift 2
    for f in "$in"/*; do
        local base
        base=$(basename "${f%.*}")
        vips "$op" "$f" "$out/$base$suffix" "$@"
    done
}
# vips_all OPERATION SUFFIX [ARGS...]: the same, as many calls at once as there are cores.
vips_all() {
    local op=$1 suffix=$2
    shift 2
    printf '%s\0' "$in"/* | xargs -0 -P "$cores" -I{} bash -c \
        'f=$1; shift; op=$1; suffix=$2; out=$3; shift 3; b=$(basename "${f%.*}"); vips "$op" "$f" "$out/$b$suffix" "$@"' \
        _ {} "$op" "$suffix" "$out" "$@"
}

tasks=(jpeg-png jpeg-800 png-webp gris rotation jpeg-avif)
declare -A label=([jpeg-png]="JPEG → PNG" [jpeg-800]="JPEG → JPEG 800 px" [png-webp]="PNG → WebP"
                  [gris]="niveaux de gris (JPEG)" [rotation]="rotation 180° (JPEG)"
                  [jpeg-avif]="JPEG → AVIF" [big-png]="100 Mpx JPEG → PNG" [big-800]="100 Mpx → JPEG 800 px")

measure jpeg-png \
    orvane jpg '"$orvane" convert --to png "$in"' \
    orvane1 jpg1 '"$orvane" convert --to png "$in"' \
    magick jpg '"$mogrify" -path "$out" -format png "$in"/*.jpg' \
    vips1 jpg 'vips_each copy .png' \
    vipsP jpg 'vips_all copy .png'

measure jpeg-800 \
    orvane jpg '"$orvane" convert --to jpeg --width 800 "$in"' \
    orvane1 jpg1 '"$orvane" convert --to jpeg --width 800 "$in"' \
    magick jpg '"$mogrify" -path "$out" -resize 800x -quality $quality "$in"/*.jpg' \
    vips1 jpg 'for f in "$in"/*.jpg; do vipsthumbnail "$f" -s 800x100000 -o "$out/%s.jpg[Q=$quality]"; done' \
    vipsP jpg 'vipsthumbnail "$in"/*.jpg -s 800x100000 -o "$out/%s.jpg[Q=$quality]"'

measure png-webp \
    orvane png '"$orvane" convert --to webp "$in"' \
    orvane1 png1 '"$orvane" convert --to webp "$in"' \
    magick png '"$mogrify" -path "$out" -format webp -quality $quality "$in"/*.png' \
    vips1 png 'vips_each copy ".webp[Q=$quality]"' \
    vipsP png 'vips_all copy ".webp[Q=$quality]"'

measure gris \
    orvane jpg '"$orvane" convert --to jpeg --filter 2 "$in"' \
    orvane1 jpg1 '"$orvane" convert --to jpeg --filter 2 "$in"' \
    magick jpg '"$mogrify" -path "$out" -colorspace Gray -quality $quality "$in"/*.jpg' \
    vips1 jpg 'vips_each colourspace ".jpg[Q=$quality]" b-w' \
    vipsP jpg 'vips_all colourspace ".jpg[Q=$quality]" b-w'

measure rotation \
    orvane jpg '"$orvane" convert --to jpeg --filter 11 "$in"' \
    orvane1 jpg1 '"$orvane" convert --to jpeg --filter 11 "$in"' \
    magick jpg '"$mogrify" -path "$out" -rotate 180 -quality $quality "$in"/*.jpg' \
    vips1 jpg 'vips_each rot ".jpg[Q=$quality]" d180' \
    vipsP jpg 'vips_all rot ".jpg[Q=$quality]" d180'

# AVIF at each tool's default quality and speed: the sizes column says what that buys.
measure jpeg-avif \
    orvane jpg '"$orvane" convert --to avif "$in"' \
    orvane1 jpg1 '"$orvane" convert --to avif "$in"' \
    magick jpg '"$mogrify" -path "$out" -format avif "$in"/*.jpg' \
    vips1 jpg 'vips_each copy .avif' \
    vipsP jpg 'vips_all copy .avif'

if [ "$big" = 1 ]; then
    tasks+=(big-png big-800)
    measure big-png \
        orvane big '"$orvane" convert --to png "$in"' \
        magick big '"$mogrify" -path "$out" -format png "$in"/*.jpg' \
        vips1 big 'vips_each copy .png' \
        vipsP big 'vips_all copy .png'
    measure big-800 \
        orvane big '"$orvane" convert --to jpeg --width 800 "$in"' \
        magick big '"$mogrify" -path "$out" -resize 800x -quality $quality "$in"/*.jpg' \
        vips1 big 'vipsthumbnail "$in"/*.jpg -s 800x100000 -o "$out/%s.jpg[Q=$quality]"' \
        vipsP big 'vipsthumbnail "$in"/*.jpg -s 800x100000 -o "$out/%s.jpg[Q=$quality]"'
fi

echo
echo "$(ls "$work/photos/jpg" | wc -l) JPEG, $(ls "$work/photos/png" | wc -l) PNG ; $cores cœurs ; meilleur de $repeat"
echo "vips 1 : un appel après l'autre ; vips N : $cores appels à la fois (vipsthumbnail : un appel pour tous)"
printf '%-24s %8s %8s %8s %8s %10s %10s %8s %8s %8s %8s %8s %8s %9s %9s %9s %9s %9s\n' tâche \
    "orvane s" "vips1 s" "vipsN s" "magick s" "/vips" "/magick" "orv CPU" "vips CPU" \
    "orv Mo" "vips Mo" "mag Mo" "orv RSS" "vips RSS" "mag RSS" "charge" "1 fich. s" "1 f./vips"
for task in "${tasks[@]}"; do
    o=${seconds[orvane,$task]} v1=${seconds[vips1,$task]} vp=${seconds[vipsP,$task]} m=${seconds[magick,$task]}
    if [ "$(calc "($v1 < $vp)")" = 1 ]; then vb=vips1; else vb=vipsP; fi
    v=${seconds[$vb,$task]}
    one=${seconds[orvane1,$task]:-}
    if [ -n "$one" ]; then
        floor=$(printf '%9.2f %9.2f' "$one" "$(calc "$one / $v")")
    else
        floor=$(printf '%9s %9s' - -)
    fi
    printf '%-24s %8.2f %8.2f %8.2f %8.2f %10.2f %10.2f %8.2f %8.2f %8.1f %8.1f %8.1f %8.0f %9.0f %9.0f %9s %s\n' "${label[$task]}" \
        "$o" "$v1" "$vp" "$m" "$(calc "$o / $v")" "$(calc "$o / $m")" \
        "${cpu[orvane,$task]}" "${cpu[$vb,$task]}" \
        "$(calc "${bytes[orvane,$task]} / 1000000")" \
        "$(calc "${bytes[$vb,$task]} / 1000000")" \
        "$(calc "${bytes[magick,$task]} / 1000000")" \
        "$(calc "${peak[orvane,$task]} / 1024")" \
        "$(calc "${peak[$vb,$task]} / 1024")" \
        "$(calc "${peak[magick,$task]} / 1024")" \
        "${loads[orvane,$task]}" "$floor"
done
echo "(/vips : temps d'Orvane sur le meilleur de libvips ; CPU : temps processeur en s (utilisateur et système) d'Orvane et du meilleur de libvips ; RSS : mémoire de pointe en Mo du plus gros processus ; charge : moyenne de charge avant la mesure d'Orvane ;"
echo " 1 fich. : Orvane sur le plus gros fichier du lot seul, le moins que le lot puisse prendre, et ce temps sur le meilleur de libvips pour tout le lot)"
