#!/usr/bin/env bash
# Measures varnock against the decode floor (in both libgd link modes) and the installed peers.
#
# Usage: scripts/bench.sh [--rounds N] [--quick] [--micro] [--instructions] [--install-peers]
#                         [--baseline VARNOCK]
#   --rounds N      timed rounds per job (default 21)
#   --quick         only the 200 x 150 and 640 x 480 pictures
#   --micro         also run the micro-benchmarks of the stages
#   --instructions  also count instructions with callgrind (valgrind is installed for it)
#   --install-peers install netpbm, GraphicsMagick and ImageMagick first (apt-get)
#   --baseline VARNOCK  also run this varnock program (an earlier build) in every job and
#                   report the paired time ratio of this tree's varnock to it
#
# It builds two release trees under build-bench/ (libgd static and shared), writes the inputs
# from a fixed seed, then, for every input and each of three jobs (native size "0 0", a
# quarter of the width with the height derived "W/4 0", twice the size "2W 2H"; the
# 2000 x 1500 photo also at half its width), runs all programs interleaved round by round and
# prints median wall time, peak memory (maxrss), minor page faults and the median of the paired
# time ratios to the static decode floor measured in the same rounds. At native size varnock's
# peak memory should stay within the floor's plus 1 MiB. Peers are measured when installed:
# netpbm, GraphicsMagick (gm), ImageMagick (convert or magick).
set -euo pipefail

rounds=21
quick=0
micro=0
instructions=0
peers=0
baseline=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --rounds) rounds="$2"; shift 2 ;;
        --quick) quick=1; shift ;;
        --micro) micro=1; shift ;;
        --instructions) instructions=1; shift ;;
        --install-peers) peers=1; shift ;;
        --baseline) baseline="$(realpath "$2")"; shift 2 ;;
        *)
            echo "usage: $0 [--rounds N] [--quick] [--micro] [--instructions] [--install-peers]" \
                "[--baseline VARNOCK]" >&2
            exit 2
            ;;
    esac
done

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build-bench"
jobs="${BENCH_JOBS:-2}"

extra=(libbenchmark-dev)
if [[ $instructions -eq 1 ]]; then extra+=(valgrind); fi
if [[ $peers -eq 1 ]]; then extra+=(netpbm graphicsmagick imagemagick); fi
"$root/scripts/deps.sh" "${extra[@]}"

build() {  # build TREE STATIC TARGETS...: the preset bench-TREE, whose libgd is STATIC
    local tree="$1"
    shift 2
    (cd "$root" && cmake --preset "bench-$tree" >/dev/null &&
        cmake --build --preset "bench-$tree" -j "$jobs" --target "$@" >/dev/null)
}
echo "building release trees in $out ..."
build static ON varnock floor_static floor_shared make_inputs run_timed
build shared OFF varnock
if [[ $micro -eq 1 ]]; then build static ON varnock_stages; fi

bin="$out/static"
varnock_static="$bin/src/app/varnock"
varnock_shared="$out/shared/src/app/varnock"
floor_static="$bin/bench/floor_static"
floor_shared="$bin/bench/floor_shared"

# Scratch folder: every varnock run writes cv.html into its working folder.
work="$out/run"
rm -rf "$work"
mkdir -p "$work/in"
"$bin/bench/make_inputs" "$work/in"

have_netpbm=0
if command -v giftopnm >/dev/null && command -v pamscale >/dev/null &&
    command -v pamditherbw >/dev/null && command -v pbmtowbmp >/dev/null; then
    have_netpbm=1
fi
gm_cmd=""
if command -v gm >/dev/null; then gm_cmd="gm convert"; fi
im_cmd=""
if command -v magick >/dev/null; then
    im_cmd="magick"
elif [[ -x /usr/bin/convert ]] && /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
    im_cmd="/usr/bin/convert"
elif command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick; then
    im_cmd="convert"
fi

inputs=(photo-200x150 photo-640x480 photo-2000x1500 drawing-1200x900)
if [[ $quick -eq 1 ]]; then inputs=(photo-200x150 photo-640x480); fi

echo "rounds per job: $rounds; times in ms, peak = maxrss in KiB (largest process of a pipeline)," \
    "faults = minor page faults"
echo "peers: netpbm=$([[ $have_netpbm -eq 1 ]] && echo yes || echo no)" \
    "gm=${gm_cmd:-no} imagemagick=${im_cmd:-no}"
for name in "${inputs[@]}"; do
    size="${name##*-}"
    sw="${size%x*}"
    sh="${size#*x}"
    gif="in/$name.gif"
    jobs_of_input=(native quarter double)
    if [[ $name == photo-2000x1500 ]]; then jobs_of_input=(native half quarter double); fi
    for job in "${jobs_of_input[@]}"; do
        case "$job" in
            native) args="0 0"; tw=$sw; th=$sh ;;
            half) tw=$((sw / 2)); th=$((tw * sh / sw)); args="$tw 0" ;;
            quarter) tw=$((sw / 4)); th=$((tw * sh / sw)); args="$tw 0" ;;
            double) tw=$((2 * sw)); th=$((2 * sh)); args="$tw $th" ;;
        esac
        echo
        echo "== $name, $job: varnock $gif out.wbmp $args  (-> ${tw}x${th})"
        if [[ $job == double ]]; then
            # The reduction's edges are 32-bit: enlarged size x target size must stay below
            # 2^24 on each axis, so varnock refuses such a job (reported as FAILED below).
            ew=$((((tw + sw - 3) / (sw - 1)) * (sw - 1) + 1))
            eh=$((((th + sh - 3) / (sh - 1)) * (sh - 1) + 1))
            if ((ew * tw > 16777215 || eh * th > 16777215)); then
                echo "   (beyond the reduction's 32-bit range: varnock refuses this job by design)"
            fi
        fi
        {
            printf 'floor-static\t%s %s\n' "$floor_static" "$gif"
            printf 'varnock\t%s %s v-static.wbmp %s\n' "$varnock_static" "$gif" "$args"
            printf 'varnock-shared-gd\t%s %s v-shared.wbmp %s\n' "$varnock_shared" "$gif" "$args"
            printf 'floor-shared\t%s %s\n' "$floor_shared" "$gif"
            if [[ -n $baseline ]]; then
                printf 'baseline\t%s %s b.wbmp %s\n' "$baseline" "$gif" "$args"
                printf 'pair\tvarnock\tbaseline\n'
            fi
            if [[ $have_netpbm -eq 1 ]]; then
                printf 'netpbm\tgiftopnm %s | pamscale -width %s -height %s | ppmtopgm | pamditherbw -fs | pamtopnm | pbmtowbmp > n.wbmp\n' \
                    "$gif" "$tw" "$th"
            fi
            if [[ -n $gm_cmd ]]; then
                printf 'graphicsmagick\t%s %s -scale %sx%s! -colorspace gray -dither -map pattern:gray50 g.wbmp\n' \
                    "$gm_cmd" "$gif" "$tw" "$th"
            fi
            if [[ -n $im_cmd ]]; then
                printf 'imagemagick\t%s %s -scale %sx%s! -grayscale Average -dither FloydSteinberg -remap pattern:gray50 i.wbmp\n' \
                    "$im_cmd" "$gif" "$tw" "$th"
            fi
            printf 'clean\tv-static.wbmp v-shared.wbmp b.wbmp n.wbmp g.wbmp i.wbmp\n'
            printf 'pair\tvarnock\tfloor-static\n'
            printf 'pair\tvarnock-shared-gd\tfloor-shared\n'
            if [[ $job == native ]]; then  # floor + 1 MiB
                printf 'budget\tvarnock\tfloor-static\t1024\n'
                printf 'budget\tvarnock-shared-gd\tfloor-shared\t1024\n'
            fi
        } | "$bin/bench/run_timed" "$rounds" "$work"
    done
done

if [[ $instructions -eq 1 ]]; then
    if command -v valgrind >/dev/null; then
        echo
        echo "== instructions (callgrind, whole process including start-up), native size"
        count() {
            (cd "$work" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 \
                >/dev/null | sed -n 's/.*Collected : *//p')
        }
        for name in "${inputs[@]}"; do
            vs=$(count "$varnock_static" "in/$name.gif" out.wbmp 0 0)
            fs=$(count "$floor_static" "in/$name.gif")
            vd=$(count "$varnock_shared" "in/$name.gif" out.wbmp 0 0)
            fd=$(count "$floor_shared" "in/$name.gif")
            awk -v n="$name" -v vs="$vs" -v fs="$fs" -v vd="$vd" -v fd="$fd" 'BEGIN {
                printf "  %-18s static: varnock %d floor %d ratio %.3f | shared: varnock %d floor %d ratio %.3f\n",
                    n, vs, fs, vs / fs, vd, fd, vd / fd }'
            if [[ -n $baseline ]]; then
                bs=$(count "$baseline" "in/$name.gif" out.wbmp 0 0)
                awk -v bs="$bs" -v fs="$fs" 'BEGIN {
                    printf "  %-18s baseline: %d, ratio to the static floor %.3f\n", "", bs, bs / fs }'
            fi
        done
    else
        echo "valgrind is not installed: no instruction counts"
    fi
fi

if [[ $micro -eq 1 ]]; then
    echo
    echo "== stages (Google Benchmark, libgd static)"
    "$bin/bench/varnock_stages" "$work/in" --benchmark_min_time=0.2
fi
