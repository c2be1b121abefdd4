#!/usr/bin/env bash
# Installs a build into a temporary prefix and builds the example host (examples/read_alarms)
# against the installed tree twice: through find_package(Quorvel32 CONFIG) and through
# pkg-config (quorvel32, quorvel32-legacy). Each program reads alarm tables written by the
# installed libraries, and its output is compared with the rows that were written.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR [CXX]
set -euo pipefail

build_dir=$1
source_dir=$2
cxx=${3:-g++}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export TZ=UTC

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- Install -------------------------------------------------------------------------------------
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for f in lib/libQuorvel32.so lib/libQuorvel32.so.1 lib/libQuorvel32Legacy.so \
    lib/libQuorvel32Legacy.so.1 include/Quorvel32/Quorvel32.h \
    lib/cmake/Quorvel32/Quorvel32Config.cmake lib/cmake/Quorvel32/Quorvel32ConfigVersion.cmake \
    lib/pkgconfig/quorvel32.pc lib/pkgconfig/quorvel32-legacy.pc; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
for f in LogLayout.h LogReaderOps.h; do
    [ ! -e "$prefix/include/Quorvel32/$f" ] || fail "internal header installed: $f"
done

# --- pkg-config builds: the table writer and the example, once per layout ------------------------
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
pc_build() {  # OUT SOURCE PACKAGE
    # shellcheck disable=SC2046  # the flags are meant to split into words
    "$cxx" -std=c++17 -Wall -Wextra -Werror -o "$1" "$2" $(pkg-config --cflags --libs "$3")
}
pc_build "$work/make_current" "$source_dir/tests/install/make_alarm_table.cpp" quorvel32
pc_build "$work/make_legacy" "$source_dir/tests/install/make_alarm_table.cpp" quorvel32-legacy
pc_build "$work/pc_current" "$source_dir/examples/read_alarms/main.cpp" quorvel32
pc_build "$work/pc_legacy" "$source_dir/examples/read_alarms/main.cpp" quorvel32-legacy

# --- find_package build ---------------------------------------------------------------------------
cmake -S "$source_dir/examples/read_alarms" -B "$work/cmake" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS=-Werror \
    >/dev/null
cmake --build "$work/cmake" >/dev/null

# Every program runs on the installed libraries only.
export LD_LIBRARY_PATH=$prefix/lib
programs=("$work/pc_current" "$work/pc_legacy" "$work/cmake/read_alarms"
    "$work/cmake/read_alarms_legacy")
for p in "${programs[@]}"; do
    deps=$(ldd "$p")
    [[ $deps == *"=> $prefix/lib/libQuorvel32"* ]] || fail "$p does not load the installed library"
done

# --- Tables and expected output -------------------------------------------------------------------
"$work/make_current" "$work/current.dbf"
"$work/make_legacy" "$work/legacy.dbf"

long_tag=PLANT_NORTH.AREA_07.LINE_3.TANK_12.LEVEL_TRANSMITTER_LT1203.HI
long_text="Level above high-high limit in tank 12 of line 3, area 7 of the north plant; operator \
to check the inlet valve and the transmitter calibration at once.."
expected() {  # TAG_WIDTH TEXT_WIDTH: the rows as read into members of those widths
    echo "alarm log, layout version 2"
    echo "2024-03-15 08:00:01  TANK1.LEVEL  value=12.5  severity=3  High level"
    echo "2024-03-15 08:05:30  PUMP2.PRESSURE  value=-3.25  severity=7  Low pressure"
    echo "2024-03-16 23:59:59  ${long_tag:0:$1}  value=1000  severity=9  ${long_text:0:$2}"
}
full=$(expected 255 254)
cut=$(expected 40 132)

check() {  # PROGRAM TABLE EXPECTED
    local out
    out=$("$1" "$2") || fail "$1 $2 exited with $?"
    if [ "$out" != "$3" ]; then
        echo "--- $1 $2: expected" >&2
        echo "$3" >&2
        echo "--- got" >&2
        echo "$out" >&2
        fail "$1 $2"
    fi
}
# The current layout reads both tables in full; the legacy layout cuts the current table's texts
# to its members; the legacy table holds only what its narrower columns took.
for build in pc cmake; do
    if [ $build = pc ]; then
        current=$work/pc_current legacy=$work/pc_legacy
    else
        current=$work/cmake/read_alarms legacy=$work/cmake/read_alarms_legacy
    fi
    check "$current" "$work/current.dbf" "$full"
    check "$current" "$work/legacy.dbf" "$cut"
    check "$legacy" "$work/current.dbf" "$cut"
    check "$legacy" "$work/legacy.dbf" "$cut"
done

# --- The installed tool, when the build has it -----------------------------------------------------
if [ -x "$prefix/bin/quorvel" ]; then
    env -u LD_LIBRARY_PATH "$prefix/bin/quorvel" sample --kind alarm --version 2 --rows 5 \
        "$work/sample.dbf" >/dev/null
    for p in "${programs[@]}"; do
        rows=$("$p" "$work/sample.dbf" | tail -n +2 | wc -l)
        [ "$rows" -eq 5 ] || fail "$p read $rows rows of the tool's 5-row sample"
    done
fi

echo "install test passed: find_package and pkg-config hosts, both layouts"
