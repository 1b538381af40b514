#!/usr/bin/env bash
# Builds the libFuzzer targets and runs one or all of them: tests/fuzz/run.sh TARGET|all SECONDS
set -euo pipefail
here="$(dirname "$(readlink -f "$0")")"
root="$(readlink -f "$here/../..")"
targets=(jpeg_segment_read jpeg_segment_insert exif_set_size jpeg_decode bmp_decode view_settings
    picture_extent metadata_orientation icc_profile_cost
    heif_decode webp_decode tiff_decode jxl_decode jpeg_restart_split png_decode)

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 TARGET|all SECONDS   (targets: ${targets[*]})" >&2
    exit 2
fi
which=$1
seconds=$2
build="$root/build/fuzz"
testdata="${ZELQOR_TESTDATA_DIR:-$root/../shared/testdata}"
work="${FUZZ_WORK_DIR:-$build/work}"

# Two runs started side by side must not build in the same folder at once.
mkdir -p "$build"
(
    flock 9
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER="${FUZZ_CXX:-clang++-16}" -DZELQOR_FUZZ=ON -DZELQOR_WITH_QT=OFF \
        -DZELQOR_BUILD_BENCH=OFF -DZELQOR_TESTDATA_DIR="$testdata" >/dev/null
    cmake --build "$build" --target fuzz_all
) 9>"$build/.fuzz-build.lock"

seeds_for() {
    case $1 in
    jpeg_segment_read | jpeg_segment_insert | jpeg_decode) echo "$testdata/jpeg" ;;
    exif_set_size) echo "$testdata/jpeg/exif $testdata/jpeg/malformed" ;;
    bmp_decode) echo "$testdata/bmp" ;;
    view_settings) echo "$here/seeds/view_settings" ;;
    picture_extent) echo "$here/seeds/picture_extent $testdata/jpeg" ;;
    metadata_orientation) echo "$here/seeds/metadata_orientation $testdata/jpeg/exif" ;;
    icc_profile_cost) echo "$here/seeds/icc_profile_cost" ;;
    heif_decode | webp_decode | tiff_decode | jxl_decode | png_decode) echo "$here/seeds/$1" ;;
    jpeg_restart_split) echo "$here/seeds/$1 $testdata/jpeg" ;;
    esac
}

# Big enough for the 52 KB Exif block and the larger BMP seeds; the fuzzer grows inputs slowly.
max_len_for() {
    case $1 in
    view_settings) echo 16384 ;;
    picture_extent | metadata_orientation) echo 65536 ;;
    bmp_decode | jpeg_decode | jpeg_restart_split) echo 131072 ;;
    *) echo 98304 ;;
    esac
}

run_one() {
    local target=$1
    local corpus="$work/corpus/$target" artifacts="$work/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    local regressions="$here/regressions/$target"
    local dirs=("$corpus")
    [ -d "$regressions" ] && dirs+=("$regressions")
    # shellcheck disable=SC2207
    dirs+=($(seeds_for "$target"))
    echo "== $target: ${seconds}s, log $work/$target.log"
    # The decoders take up to 2^28 pixels (a 1 GiB bitmap), so the memory limit leaves room for
    # one such picture; -timeout catches an input that makes the decoder loop for long.
    # One forked worker keeps fuzzing after a crash, hang or leak: each finding is saved in the
    # artifacts folder and the run goes on. New inputs go into the first folder only.
    "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -malloc_limit_mb=2048 -timeout=10 -max_len="$(max_len_for "$target")" \
        -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -artifact_prefix="$artifacts/" "${dirs[@]}" >"$work/$target.log" 2>&1 ||
        echo "== $target: libFuzzer exited with $?"
    echo "$target: $(grep -E '^#[0-9]+.*cov:' "$work/$target.log" | tail -1)"
    echo "$target findings: $(ls "$artifacts" | tr '\n' ' ')"
}

if [ "$which" = all ]; then
    # FUZZ_PARALLEL targets at a time (default 1); each target's fuzzer uses one core.
    parallel=${FUZZ_PARALLEL:-1}
    for t in "${targets[@]}"; do
        while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
        run_one "$t" &
    done
    wait
else
    printf '%s\n' "${targets[@]}" | grep -qx "$which" || {
        echo "unknown target $which" >&2
        exit 2
    }
    run_one "$which"
fi
