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
        cmake --build "$build_dir" --target quenlixor-julia julia-frames quenlixor-packaging-files \
            >>"$log" 2>&1 &&
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
