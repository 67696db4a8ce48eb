# Configure (once) and build one preset, quietly unless something fails.
# shellcheck shell=bash

configure_and_build() { # preset [targets...]
    local preset=$1 dir="$repo_root/build/$1" log
    shift
    log=$(mktemp)
    if [ ! -f "$dir/build.ninja" ]; then
        say "Configuring the $preset build"
        if ! cmake --preset "$preset" -S "$repo_root" >"$log" 2>&1; then
            cat "$log" >&2
            rm -f "$log"
            return 1
        fi
    fi
    rm -f "$log"
    say "Building the $preset build"
    if [ $# -gt 0 ]; then
        cmake --build --preset "$preset" --target "$@" -- --quiet
    else
        cmake --build --preset "$preset" -- --quiet
    fi
}
