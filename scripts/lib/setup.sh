# Shared set-up for scripts/demo and scripts/test: Debian packages, then the
# Windows builds of jsoncpp and Boost.Thread, cached under .cache/ so that a
# second run neither downloads nor compiles anything.
# shellcheck shell=bash

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache_dir="$repo_root/.cache"
mingw_prefix="$cache_dir/mingw"

say() { printf '==> %s\n' "$*" >&2; }

debian_packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
    libjsoncpp-dev libboost-dev libboost-thread-dev googletest
    openssl osslsigncode nsis xz-utils ca-certificates
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=() p
    for p in "${debian_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "Installing Debian packages: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# apt-get source through a private configuration: the machine's own apt set-up
# is left alone and no mirror address is written into the repository.
private_apt() {
    local apt_dir="$cache_dir/apt"
    if [ ! -f "$apt_dir/apt.conf" ]; then
        mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
        local src
        for src in /etc/apt/sources.list.d/*.sources; do
            [ -f "$src" ] || continue
            sed 's/^Types:.*/Types: deb-src/' "$src" >"$apt_dir/sources/$(basename "$src")"
        done
        if [ -f /etc/apt/sources.list ]; then
            grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
                >"$apt_dir/sources/legacy.list" || true
            # SourceParts only reads *.sources and *.list files from the folder.
        fi
        cat >"$apt_dir/apt.conf" <<CONF
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "$apt_dir/sources";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir/cache";
CONF
    fi
    APT_CONFIG="$apt_dir/apt.conf" "$@"
}

fetch_source_package() { # name -> prints the orig tarball path
    local name=$1 dl="$cache_dir/downloads"
    mkdir -p "$dl"
    if ! ls "$dl/${name}"_*.orig.tar.* >/dev/null 2>&1; then
        say "Fetching the Debian source package $name"
        [ -n "$(ls -A "$cache_dir/apt/lists" 2>/dev/null | grep -v partial)" ] ||
            private_apt apt-get update -qq
        (cd "$dl" && private_apt apt-get source --download-only -qq "$name" >/dev/null 2>&1) || {
            private_apt apt-get update -qq
            (cd "$dl" && private_apt apt-get source --download-only -qq "$name" >/dev/null)
        }
    fi
    ls "$dl/${name}"_*.orig.tar.* | head -n 1
}

mingw_cxx=x86_64-w64-mingw32-g++-posix
mingw_ar=x86_64-w64-mingw32-ar

build_mingw_jsoncpp() {
    local stamp="$mingw_prefix/.jsoncpp-done"
    [ -f "$stamp" ] && return 0
    local tarball work
    tarball=$(fetch_source_package libjsoncpp)
    say "Building jsoncpp for Windows"
    work="$cache_dir/build/jsoncpp"
    rm -rf "$work" && mkdir -p "$work" "$mingw_prefix/include" "$mingw_prefix/lib"
    tar -xf "$tarball" -C "$work" --strip-components=1
    local objs=() f
    for f in json_reader json_value json_writer; do
        "$mingw_cxx" -std=c++17 -O2 -w -I"$work/include" -c "$work/src/lib_json/$f.cpp" \
            -o "$work/$f.o"
        objs+=("$work/$f.o")
    done
    rm -f "$mingw_prefix/lib/libjsoncpp.a"
    "$mingw_ar" rcs "$mingw_prefix/lib/libjsoncpp.a" "${objs[@]}"
    rm -rf "$mingw_prefix/include/json"
    cp -r "$work/include/json" "$mingw_prefix/include/json"
    touch "$stamp"
}

build_mingw_boost_thread() {
    local stamp="$mingw_prefix/.boost-thread-done"
    [ -f "$stamp" ] && return 0
    local tarball work
    tarball=$(fetch_source_package boost1.74)
    say "Building Boost.Thread for Windows"
    work="$cache_dir/build/boost-thread"
    rm -rf "$work" && mkdir -p "$work/src" "$work/inc" "$mingw_prefix/lib" "$mingw_prefix/include"
    tar -xf "$tarball" -C "$work/src" --strip-components=1 --wildcards '*/libs/thread/src/*'
    # Only Debian's Boost headers may be seen, never the rest of /usr/include.
    ln -sfn /usr/include/boost "$work/inc/boost"
    local objs=() f
    for f in win32/thread.cpp win32/thread_primitives.cpp win32/tss_dll.cpp win32/tss_pe.cpp \
        future.cpp; do
        local o="$work/$(basename "$f" .cpp).o"
        "$mingw_cxx" -std=c++17 -O2 -w -DBOOST_THREAD_BUILD_LIB -DBOOST_THREAD_USE_LIB \
            -DBOOST_THREAD_WIN32 -I"$work/inc" -c "$work/src/libs/thread/src/$f" -o "$o"
        objs+=("$o")
    done
    rm -f "$mingw_prefix/lib/libboost_thread.a"
    "$mingw_ar" rcs "$mingw_prefix/lib/libboost_thread.a" "${objs[@]}"
    ln -sfn /usr/include/boost "$mingw_prefix/include/boost"
    touch "$stamp"
}

# Debian's shim-signed, unpacked and never installed: a real signed PE file
# whose certificate table holds more than one entry, read by the packer tests.
shim_signed_dir="$cache_dir/shim-signed"

fetch_shim_signed() {
    [ -f "$shim_signed_dir/usr/lib/shim/shimx64.efi.signed" ] && return 0
    local dl="$cache_dir/downloads" deb
    mkdir -p "$dl"
    if ! ls "$dl"/shim-signed_*.deb >/dev/null 2>&1; then
        say "Fetching Debian's shim-signed package (test input only)"
        (cd "$dl" && apt-get download -qq shim-signed >/dev/null 2>&1) || {
            as_root apt-get update -qq
            (cd "$dl" && apt-get download -qq shim-signed >/dev/null 2>&1)
        }
    fi
    deb=$(ls "$dl"/shim-signed_*.deb | head -n 1)
    rm -rf "$shim_signed_dir.tmp" && mkdir -p "$shim_signed_dir.tmp"
    dpkg-deb -x "$deb" "$shim_signed_dir.tmp"
    rm -rf "$shim_signed_dir" && mv "$shim_signed_dir.tmp" "$shim_signed_dir"
}

setup_all() {
    ensure_packages
    build_mingw_jsoncpp
    build_mingw_boost_thread
    fetch_shim_signed
}
