#!/usr/bin/env bash
# Measures varnock against the decode floor (in both libgd link modes) and the installed peers.
#
# Usage: scripts/bench.sh [--rounds N] [--slow-rounds N] [--quick] [--jobs LIST] [--micro]
#                         [--instructions] [--install-peers] [--baseline VARNOCK]
#   --rounds N      timed rounds per job (default 21)
#   --slow-rounds N timed rounds of the jobs of group limits, which take seconds (default 3)
#   --quick         only the jobs of group quick: the 200 x 150 and 640 x 480 pictures and the
#                   jobs of group resize
#   --jobs LIST     only these jobs (comma-separated: a job, an input, a label such as native,
#                   or a group: resize, limits, quick); a name that matches nothing lists the jobs
#   --micro         also run the micro-benchmarks of the stages
#   --instructions  also count instructions with callgrind (valgrind is installed for it)
#   --install-peers install netpbm, GraphicsMagick and ImageMagick first (apt-get)
#   --baseline VARNOCK  also run this varnock program (an earlier build) in every job and
#                   report the paired time ratio of this tree's varnock to it
#
# It builds two release trees under build-bench/ (libgd static and shared), writes the inputs
# from a fixed seed, then, for every picture and each of three jobs (native size "0 0", a
# quarter of the width with the height derived "W/4 0", twice the size "2W 2H"; the
# 2000 x 1500 photo also at half its width and at 128 x 96, the 640 x 480 one also at
# 1000 x 700), runs all programs interleaved round by round and prints median wall time, CPU
# time, peak memory (maxrss), minor page faults and the median of the paired time ratios to the
# static decode floor measured in the same rounds, with their quartiles and range. At native
# size varnock's peak memory should stay within the floor's plus 1 MiB. Peers are measured when
# installed: netpbm, GraphicsMagick (gm), ImageMagick (convert or magick). The jobs of group
# limits run crafted GIFs: 65535 x 2 in 36 bytes at "1 4095" (the largest enlargement), and
# two storms of LZW clear codes (every pixel of a 4096 x 4096 picture costing libgd a reset of
# its code table, and a 16 x 16 picture behind 32 MiB of clear codes) at "0 0" and at a refused
# "1 65535". The sizes and the path of each job are what bench/resize_plan, built on the
# resampling code, says.
set -euo pipefail

rounds=21
slow_rounds=3
quick=0
only=""
micro=0
instructions=0
peers=0
baseline=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --rounds) rounds="$2"; shift 2 ;;
        --slow-rounds) slow_rounds="$2"; shift 2 ;;
        --quick) quick=1; shift ;;
        --jobs) only="$2"; shift 2 ;;
        --micro) micro=1; shift ;;
        --instructions) instructions=1; shift ;;
        --install-peers) peers=1; shift ;;
        --baseline) baseline="$(realpath "$2")"; shift 2 ;;
        *)
            echo "usage: $0 [--rounds N] [--slow-rounds N] [--quick] [--jobs LIST] [--micro]" \
                "[--instructions] [--install-peers] [--baseline VARNOCK]" >&2
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

build() {  # build TREE STATIC TARGETS...
    local tree="$1" static="$2"
    shift 2
    cmake -S "$root" -B "$out/$tree" -DCMAKE_BUILD_TYPE=Release -DVARNOCK_BUILD_TESTS=OFF \
        -DVARNOCK_BUILD_BENCHMARKS=ON -DVARNOCK_STATIC_GD="$static" >/dev/null
    cmake --build "$out/$tree" -j "$jobs" --target "$@" >/dev/null
}
echo "building release trees in $out ..."
build static ON varnock floor_static floor_shared make_inputs run_timed resize_plan
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

# The jobs: "ID INPUT ARGS GROUPS", '+' for a blank in ARGS, ',' between the requests of a job
# of group limits. --jobs selects by ID, input, label (the part of ID after ':') or group;
# --quick takes group quick; otherwise every job runs. Group resize: the four resizing jobs whose
# before and after figures the README quotes. Group limits: the crafted GIFs, timed in CPU
# seconds with --slow-rounds rounds, varnock (static) and the static floor only.
job_table=(
    "photo-200x150:native     photo-200x150    0+0             native,quick"
    "photo-200x150:quarter    photo-200x150    50+0            quarter,quick"
    "photo-200x150:double     photo-200x150    400+300         double,quick"
    "photo-640x480:native     photo-640x480    0+0             native,quick"
    "photo-640x480:quarter    photo-640x480    160+0           quarter,quick"
    "photo-640x480:double     photo-640x480    1280+960        double,quick,resize"
    "photo-640x480:1000x700   photo-640x480    1000+700        quick,resize"
    "photo-2000x1500:native   photo-2000x1500  0+0             native"
    "photo-2000x1500:half     photo-2000x1500  1000+0          half,quick,resize"
    "photo-2000x1500:128x96   photo-2000x1500  128+96          quick,resize"
    "photo-2000x1500:quarter  photo-2000x1500  500+0           quarter"
    "photo-2000x1500:double   photo-2000x1500  4000+3000       double"
    "drawing-1200x900:native  drawing-1200x900 0+0             native"
    "drawing-1200x900:quarter drawing-1200x900 300+0           quarter"
    "drawing-1200x900:double  drawing-1200x900 2400+1800       double"
    "ceiling                  ceiling-65535x2  1+4095          limits"
    "storm                    storm-4096x4096  0+0,1+65535     limits"
    "storm-small              storm-16x16      0+0,1+65535     limits"
)

selected=()
for row in "${job_table[@]}"; do
    read -r id input _ groups <<<"$row"
    if [[ -n $only ]]; then
        for wanted in ${only//,/ }; do
            if [[ $wanted == "$id" || $wanted == "$input" || $wanted == "${id#*:}" ||
                ,$groups, == *",$wanted,"* ]]; then
                selected+=("$row")
                break
            fi
        done
    elif [[ $quick -eq 0 || ,$groups, == *,quick,* ]]; then
        selected+=("$row")
    fi
done
if [[ ${#selected[@]} -eq 0 ]]; then
    echo "no job matches --jobs $only; jobs:" >&2
    for row in "${job_table[@]}"; do echo "  $row" >&2; done
    exit 2
fi

# What varnock does with ARGS on INPUT, as the resampling code decides it ("W H PATH").
plan() {  # plan INPUT ARGS...
    local size="${1##*-}"
    shift
    "$bin/bench/resize_plan" "${size%x*}" "${size#*x}" "$@"
}

echo "rounds per job: $rounds (limits jobs: $slow_rounds); times in ms, cpu = user + system," \
    "peak = maxrss in KiB (largest process of a pipeline), faults = minor page faults"
echo "peers: netpbm=$([[ $have_netpbm -eq 1 ]] && echo yes || echo no)" \
    "gm=${gm_cmd:-no} imagemagick=${im_cmd:-no}"
for row in "${selected[@]}"; do
    read -r id input argsets groups <<<"$row"
    gif="in/$input.gif"
    echo
    if [[ ,$groups, == *,limits,* ]]; then
        echo "== $id: $gif ($(stat -c %s "$work/$gif") bytes), CPU seconds and peak memory"
        {
            printf 'floor-static\t%s %s\n' "$floor_static" "$gif"
            for set in ${argsets//,/ }; do
                args="${set//+/ }"
                read -r -a words <<<"$args"
                read -r tw th path < <(plan "$input" "${words[@]}")
                echo "   varnock $args: -> ${tw}x${th}, $path" >&2
                status=0
                if [[ $path == refused-* ]]; then status=1; fi
                for program in varnock baseline; do
                    command="$varnock_static"
                    if [[ $program == baseline ]]; then command="$baseline"; fi
                    if [[ -z $command ]]; then continue; fi
                    printf '%s-%s\t%s %s out.wbmp %s\n' "$program" "$set" "$command" "$gif" "$args"
                    printf 'status\t%s-%s\t%s\n' "$program" "$set" "$status"
                    printf 'pair\t%s-%s\tfloor-static\n' "$program" "$set"
                done
            done
            printf 'clean\tout.wbmp\n'
        } | "$bin/bench/run_timed" "$slow_rounds" "$work"
        continue
    fi
    args="${argsets//+/ }"
    read -r -a words <<<"$args"
    read -r tw th path < <(plan "$input" "${words[@]}")
    echo "== $id: varnock $gif out.wbmp $args  (-> ${tw}x${th}, $path)"
    status=0
    if [[ $path == refused-* ]]; then
        status=1
        echo "   (varnock refuses this request by design: it is timed as a refusal)"
    fi
    {
        printf 'floor-static\t%s %s\n' "$floor_static" "$gif"
        printf 'varnock\t%s %s v-static.wbmp %s\n' "$varnock_static" "$gif" "$args"
        printf 'varnock-shared-gd\t%s %s v-shared.wbmp %s\n' "$varnock_shared" "$gif" "$args"
        printf 'floor-shared\t%s %s\n' "$floor_shared" "$gif"
        printf 'status\tvarnock\t%s\nstatus\tvarnock-shared-gd\t%s\n' "$status" "$status"
        if [[ -n $baseline ]]; then
            printf 'baseline\t%s %s b.wbmp %s\n' "$baseline" "$gif" "$args"
            printf 'status\tbaseline\t%s\n' "$status"
            printf 'pair\tvarnock\tbaseline\n'
        fi
        if [[ $status -eq 0 && $have_netpbm -eq 1 ]]; then
            printf 'netpbm\tgiftopnm %s | pamscale -width %s -height %s | ppmtopgm | pamditherbw -fs | pamtopnm | pbmtowbmp > n.wbmp\n' \
                "$gif" "$tw" "$th"
        fi
        if [[ $status -eq 0 && -n $gm_cmd ]]; then
            printf 'graphicsmagick\t%s %s -scale %sx%s! -colorspace gray -dither -map pattern:gray50 g.wbmp\n' \
                "$gm_cmd" "$gif" "$tw" "$th"
        fi
        if [[ $status -eq 0 && -n $im_cmd ]]; then
            printf 'imagemagick\t%s %s -scale %sx%s! -grayscale Average -dither FloydSteinberg -remap pattern:gray50 i.wbmp\n' \
                "$im_cmd" "$gif" "$tw" "$th"
        fi
        printf 'clean\tv-static.wbmp v-shared.wbmp b.wbmp n.wbmp g.wbmp i.wbmp\n'
        printf 'pair\tvarnock\tfloor-static\n'
        printf 'pair\tvarnock-shared-gd\tfloor-shared\n'
        if [[ $path == native ]]; then  # floor + 1 MiB
            printf 'budget\tvarnock\tfloor-static\t1024\n'
            printf 'budget\tvarnock-shared-gd\tfloor-shared\t1024\n'
        fi
    } | "$bin/bench/run_timed" "$rounds" "$work"
done

if [[ $instructions -eq 1 ]]; then
    if command -v valgrind >/dev/null; then
        echo
        echo "== instructions (callgrind, whole process including start-up), jobs at native size" \
            "(both link modes) and of group resize (static)"
        count() {
            (cd "$work" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 \
                >/dev/null | sed -n 's/.*Collected : *//p')
        }
        ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
        for row in "${selected[@]}"; do
            read -r id input argsets groups <<<"$row"
            if [[ ,$groups, != *,native,* && ,$groups, != *,resize,* ]]; then continue; fi
            gif="in/$input.gif"
            read -r -a words <<<"${argsets//+/ }"
            vs=$(count "$varnock_static" "$gif" out.wbmp "${words[@]}")
            fs=$(count "$floor_static" "$gif")
            line="static: varnock $vs floor $fs ratio $(ratio "$vs" "$fs")"
            if [[ ,$groups, == *,native,* ]]; then
                vd=$(count "$varnock_shared" "$gif" out.wbmp "${words[@]}")
                fd=$(count "$floor_shared" "$gif")
                line+=" | shared: varnock $vd floor $fd ratio $(ratio "$vd" "$fd")"
            fi
            if [[ -n $baseline ]]; then
                bs=$(count "$baseline" "$gif" out.wbmp "${words[@]}")
                line+=" | baseline $bs ratio $(ratio "$bs" "$fs")"
            fi
            printf '  %-28s %s\n' "$id" "$line"
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
