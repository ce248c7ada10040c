# Makes the downloads out of built trees, the same way for scripts/release
# and for the package checks of scripts/test (scripts/lib/check-packages.sh):
# qj_make_downloads names and fills them all, the Debian package of a Linux
# tree, the zip of a Windows tree and the page. Everything
# made is the same, byte for byte, wherever and whenever it is made from the
# same commit: times are SOURCE_DATE_EPOCH (the last commit's, unless set),
# and neither the umask nor the time zone shows.
# shellcheck shell=bash

# qj_release_environment: exports what makes the files independent of the
# machine's settings and of the time they are made.
qj_release_environment() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=$(git -C "$QJ_ROOT" log -1 --format=%ct)
    fi
    export SOURCE_DATE_EPOCH
    export TZ=UTC LC_ALL=C.UTF-8
    umask 022
}

# qj_release_configure PRESET DIR: configures DIR as scripts/release
# configures its trees: the preset without tests or benchmarks. Its output
# goes to DIR.configure.log, shown when it fails.
qj_release_configure() {
    (cd "$QJ_ROOT" && cmake --preset "$1" -B "$2" -DBUILD_TESTING=OFF \
        -DQUENLIXOR_BUILD_BENCHMARKS=OFF) >"$2.configure.log" 2>&1 ||
        { cat "$2.configure.log" >&2; return 1; }
}

# qj_downloads_not_built TREE [FILE...]: what the configured tree's one
# target for the release, quenlixor-downloads, would leave out: each file
# that its install rules name (or that lies in a folder they name), and
# each FILE (a path in the tree) the downloads take from it beside them,
# that its build makes by another target only, or that nothing makes and
# is not there. One line each; none, and status 0, when building that
# target gives `cmake --install` (and the downloads) everything.
qj_downloads_not_built() {
    local tree scripts=() index=0 path kind made_path missing=0 taken=0
    tree=$(realpath "$1")
    shift
    ninja -C "$tree" -t query quenlixor-downloads >/dev/null 2>&1 ||
        { echo "$tree: no target quenlixor-downloads"; return 1; }
    # The install scripts cmake --install runs: the tree's, and those it
    # includes for the folders below.
    scripts=("$tree/cmake_install.cmake")
    while [ "$index" -lt ${#scripts[@]} ]; do
        mapfile -t -O ${#scripts[@]} scripts < <(sed -n \
            's/^ *include("\(.*\/cmake_install\.cmake\)")$/\1/p' "${scripts[$index]}")
        index=$((index + 1))
    done
    # Files of the build's graph: all it makes, and what the target needs.
    local -A made=() needed=()
    while read -r path; do
        [ -n "$path" ] || continue
        [[ $path == /* ]] || path=$tree/$path
        made[$path]=1
    done < <(ninja -C "$tree" -t targets all | sed 's/: [^ ]*$//')
    while read -r path; do
        [[ $path == /* ]] || path=$tree/$path
        needed[$path]=1
    done < <(ninja -C "$tree" -t graph quenlixor-downloads |
        sed -n 's/^"[^"]*" \[label="\([^"]*\)"\]$/\1/p')
    # "TYPE PATH" for each file or folder an install rule takes, then the
    # FILEs given.
    while read -r kind path; do
        taken=$((taken + 1))
        [[ $path == /* ]] || path=$tree/$path
        local inside=("$path")
        if [ "$kind" = DIRECTORY ]; then
            inside=()
            for made_path in "${!made[@]}"; do
                [[ $made_path == "${path%/}"/* ]] && inside+=("$made_path")
            done
            if [ ${#inside[@]} -eq 0 ]; then
                [ -d "$path" ] || { echo "$path: in the downloads, but nothing makes it"; missing=1; }
                continue
            fi
        fi
        for path in "${inside[@]}"; do
            if [ -n "${made[$path]:-}" ]; then
                [ -n "${needed[$path]:-}" ] ||
                    { echo "$path: in the downloads, but quenlixor-downloads does not make it"; missing=1; }
            elif [ ! -e "$path" ] && [ ! -L "$path" ]; then
                echo "$path: in the downloads, but nothing makes it"
                missing=1
            fi
        done
    done < <(awk '/^ *file\(INSTALL / { text = ""; taking = 1 }
        taking {
            text = text " " $0
            if ($0 !~ /\) *$/) next
            taking = 0
            kind = text; sub(/.* TYPE /, "", kind); sub(/ .*/, "", kind)
            sub(/.* FILES /, "", text)
            while (match(text, /"[^"]*"/)) {
                print kind, substr(text, RSTART + 1, RLENGTH - 2)
                text = substr(text, RSTART + RLENGTH)
            }
        }' "${scripts[@]}"
        [ $# -eq 0 ] || printf 'FILE %s\n' "$@")
    # (Install scripts read wrong would take nothing, and so pass.)
    [ "$taken" -gt 0 ] || { echo "$tree: its downloads take nothing that was found"; return 1; }
    return $missing
}

# qj_tree_version BUILD_DIR: the project's version, as the tree was
# configured with it.
qj_tree_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# qj_make_deb BUILD_DIR PAGE: makes the Debian package of the configured and
# built Linux tree BUILD_DIR, with the web page PAGE in it, and prints its
# path. The tree is configured for the package's prefix, /usr, which the
# man pages name, and what that changes is built again (cpack builds
# nothing).
qj_make_deb() {
    local build_dir=$1 page=$2 log
    log=$build_dir/packages/cpack.log
    mkdir -p "$build_dir/packages"
    cmake "$build_dir" -DCMAKE_INSTALL_PREFIX=/usr -DQUENLIXOR_PAGE="$page" >"$log" 2>&1 &&
        cmake --build "$build_dir" --target quenlixor-downloads >>"$log" 2>&1 &&
        (cd "$build_dir" && cpack -G DEB) >>"$log" 2>&1 || {
        cat "$log" >&2
        return 1
    }
    sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log"
}

# qj_make_zip BUILD_DIR NAME OUT.zip: the zip of the built Windows tree
# BUILD_DIR: one folder NAME holding what `cmake --install` puts there (the
# two programs and the screen saver, README.txt, LICENSE.txt). Its entries
# are in byte order, each with the time SOURCE_DATE_EPOCH and no other
# attribute than its permission (0755 for the programs and the screen
# saver, 0644 for the rest).
qj_make_zip() {
    local build_dir=$1 name=$2 out stage status
    out=$(realpath -m "$3")
    stage=$(mktemp -d)
    cmake --install "$build_dir" --prefix "$stage/$name" >"$stage.log" 2>&1 || {
        cat "$stage.log" >&2
        rm -rf "$stage" "$stage.log"
        return 1
    }
    find "$stage/$name" -type f -exec chmod 0644 {} + &&
        find "$stage/$name" -type f \( -name '*.exe' -o -name '*.scr' \) -exec chmod 0755 {} + &&
        find "$stage/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} + &&
        rm -f "$out" &&
        (cd "$stage" && find "$name" -type f | LC_ALL=C sort |
            zip -q -X -D -9 "$out" -@)
    status=$?
    rm -rf "$stage" "$stage.log"
    return $status
}

# qj_make_downloads DIST PAGE TREE...: every download made of the built
# trees, into the folder DIST (made anew), named as the README's table of
# downloads names them, with their SHA256SUMS:
#   quenlixor-julia_VERSION_ARCH.deb           each Linux tree's Debian package
#   quenlixor-julia-VERSION-windows-FLAVOUR.zip each Windows tree's zip, x86
#                                              for the 32-bit programs, x64
#                                              for the 64-bit ones
#   quenlixor-julia-VERSION.html               the page PAGE
# VERSION is the trees' (all must have the same). Prints one line
# "FILE TREE" for each file made of a tree, DIST's name of it first.
# scripts/release gives it its release trees; scripts/lib/check-packages.sh
# the trees scripts/test built, and compares what it made with the
# documented layout.
qj_make_downloads() {
    local dist=$1 page=$2 tree version tree_version deb flavour name
    shift 2
    version=$(qj_tree_version "$1")
    [ -n "$version" ] || { qj_warn "no version in $1"; return 1; }
    rm -rf "$dist" && mkdir -p "$dist" || return 1
    install -m 0644 "$page" "$dist/quenlixor-julia-$version.html" || return 1
    for tree in "$@"; do
        tree_version=$(qj_tree_version "$tree")
        [ "$tree_version" = "$version" ] ||
            { qj_warn "$tree is of version '$tree_version', not $version"; return 1; }
        if [ -f "$tree/bin/quenlixor-julia.exe" ]; then
            flavour=$(sed -n 's/^QUENLIXOR_WINDOWS_FLAVOUR_NAME:INTERNAL=//p' "$tree/CMakeCache.txt")
            [ -n "$flavour" ] || { qj_warn "$tree: no Windows flavour (configure it again)"; return 1; }
            name=quenlixor-julia-$version-windows-$flavour
            qj_make_zip "$tree" "$name" "$dist/$name.zip" || return 1
            echo "$name.zip $tree"
        else
            deb=$(qj_make_deb "$tree" "$page") && [ -f "$deb" ] || return 1
            install -m 0644 "$deb" "$dist/" || return 1
            echo "${deb##*/} $tree"
        fi
    done
    (cd "$dist" && sha256sum -- * >SHA256SUMS && chmod 0644 SHA256SUMS)
}
