#!/bin/sh
# Makes the release ZIP from the build's install rules, unpacks it into a fresh folder, runs a
# job with the unpacked qvdhost.exe and DLL, then configures and builds a small host project
# against the unpacked CMake package (mingw-w64) and runs it under Wine.
# Usage: BUILD_DIR SOURCE_DIR SIGNED_INSTALLER
set -eu
build=$1 source=$2 installer=$3
work=$(mktemp -d "$build/package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "package test: $*" >&2
    exit 1
}
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
wine_run() { "$source/cmake/wine-run" "$build/wineprefix" "$@"; }
objdump=x86_64-w64-mingw32-objdump

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$(ls "$work"/cpack/*.zip)
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
unpacked=$work/unpacked
for file in bin/QVDPlugin64.dll bin/QVDPlugin64.dll.debug bin/qvdhost.exe bin/qvdpack.exe \
    include/QVDHostInterface.h README.md docs/README.md docs/outcomes.md \
    lib/cmake/QVDPlugin64/QVDPlugin64Config.cmake; do
    [ -f "$unpacked/$file" ] || fail "the ZIP has no $file"
done

# The DLL is stripped and names its debug file, which holds the debug information.
$objdump -h "$unpacked/bin/QVDPlugin64.dll" | grep -q '\.gnu_debuglink' ||
    fail "the DLL has no .gnu_debuglink"
! $objdump -h "$unpacked/bin/QVDPlugin64.dll" | grep -q '\.debug_info' ||
    fail "the DLL is not stripped"
$objdump -h "$unpacked/bin/QVDPlugin64.dll.debug" | grep -q '\.debug_info' ||
    fail "the debug file holds no debug information"
strings -a "$unpacked/bin/QVDPlugin64.dll" | grep -q '^QVDPlugin64.dll.debug$' ||
    fail "the debug link does not name QVDPlugin64.dll.debug"

# A job through the unpacked host and DLL: the maker's installer starts and ends with a
# reported code (state 8).
cp "$installer" "$work/setup.exe"
printf 'exit_code=0x80070070\n' >"$work/setup.exe.behaviour"
json_path=$(winpath "$work/setup.exe" | sed 's/\\/\\\\/g')
printf '{"job_id": "package-test", "file_array": [{"type": "job_installer", "destination_file": "%s"}]}\n' \
    "$json_path" >"$work/job.json"
output=$(wine_run "$unpacked/bin/qvdhost.exe" --expect-state 8 \
    "$(winpath "$unpacked/bin/QVDPlugin64.dll")" "$(winpath "$work/job.json")" | tr -d '\r') ||
    { printf '%s\n' "$output"; fail "the unpacked host did not end the job in state 8"; }
printf '%s\n' "$output" | grep -q "^host: loaded .*unpacked.bin.QVDPlugin64.dll, version " ||
    { printf '%s\n' "$output"; fail "the unpacked host did not load the unpacked DLL"; }

# A host project built against the unpacked package.
cmake -S "$source/tests/package/host-project" -B "$work/host" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$unpacked" >"$work/host.log" 2>&1 ||
    { cat "$work/host.log"; fail "the host project does not configure"; }
cmake --build "$work/host" >>"$work/host.log" 2>&1 ||
    { cat "$work/host.log"; fail "the host project does not build"; }
output=$(wine_run "$work/host/tiny_host.exe" | tr -d '\r') ||
    { printf '%s\n' "$output"; fail "the host project's program failed"; }
printf '%s\n' "$output"
printf '%s\n' "$output" | grep -q "^created one plug-in object in state 0; 0 objects left$" ||
    fail "the host project's program did not create and release a plug-in object"
