#!/usr/bin/env bash
# Set-up, build and start of ZelqorHDR: ./build.sh run | test | bench | package
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libjpeg62-turbo-dev libpng-dev libfftw3-dev
          libgtest-dev libgmock-dev libbenchmark-dev fonts-ipafont-gothic clang-format git
          clang-16 libclang-rt-16-dev llvm-16 desktop-file-utils appstream qt6-translations-l10n
          liblcms2-dev libjpeg-turbo-progs libxcb1-dev colord-data
          libheif-dev libwebp-dev libtiff-dev libjxl-dev
          libheif-examples webp libjxl-tools libtiff-tools libimage-exiftool-perl)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

mode=${1:-run}
case "$mode" in
run)
    install_missing
    build release
    exec ./build/release/app/zelqorhdr
    ;;
test)
    install_missing
    # Unformatted code fails the run, as a reviewer would send it back.
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
    build release
    (cd build/release && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)")
    # The pure layers must build without Qt at all; the batch tool proves they link alone.
    build noqt
    # Memory faults and undefined behaviour (float-to-int overflow included) stop the test at once.
    # Without a named symbolizer the reports gave bare addresses instead of functions and lines.
    build ci-asan
    QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1 \
        ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-16 ctest --preset ci-asan -j "$(nproc)"
    # Only the suites that run workers beside the window; Debian's Qt and GLib are not
    # instrumented, so their own calls are suppressed.
    build ci-tsan
    QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="suppressions=$PWD/tests/app/tsan-qt.supp" \
        ctest --preset ci-tsan -j "$(nproc)"
    ;;
package)
    # dpkg-shlibdeps computes the Depends line; lintian judges the result as Debian would.
    packages+=(dpkg-dev file lintian)
    install_missing
    build release
    (cd build/release && cpack -G DEB)
    deb=$(ls build/release/zelqorhdr_*_amd64.deb)
    lintian --tag-display-limit 0 --display-info "$deb" | tee build/release/lintian.txt
    if grep -q '^E: ' build/release/lintian.txt; then
        echo "lintian found errors in $deb" >&2
        exit 1
    fi
    echo "$deb"
    ;;
bench)
    install_missing
    build release
    for b in build/release/bench/bench_*; do "$b" "${@:2}"; done
    ;;
*)
    echo "usage: $0 run|test|bench|package" >&2
    exit 2
    ;;
esac
