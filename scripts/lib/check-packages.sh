#!/usr/bin/env bash
# The downloads made of built trees, checked against their documented layout,
# by Debian's own tools and by running them where a user would. scripts/test
# runs it as one step once the trees are built:
#
#   scripts/lib/check-packages.sh --page PAGE BUILD_DIR...
#   scripts/lib/check-packages.sh --roots    (only makes the Debian roots)
#
# PAGE is the web preset's page (build/web/bin/quenlixor-julia.html). Each
# BUILD_DIR is a built tree: a Linux one (native, linux-arm64) gives a Debian
# package, a Windows one (windows-i686, windows-x86_64) a zip, named and made
# by qj_make_downloads, as scripts/release makes them (scripts/lib/package.sh).
#
# What scripts/release builds: each tree's preset, and the web preset,
# configured anew as the release configures its trees, where its one target
# quenlixor-downloads must make every file the tree's downloads take from
# the build (qj_downloads_not_built).
# The downloads as documented:
# - the file names are those of the README's table of downloads (all five
#   when all four trees are given), and SHA256SUMS holds them;
# - each zip holds one folder of its own name with the two programs and the
#   screen saver (0755), README.txt and LICENSE.txt (0644), and its
#   programs are of the width its name says (x86: i386 in the PE header,
#   x64: x86-64), as its README.txt says too; no DLL is imported beyond
#   Windows' own;
# - each Debian package is of its name's version and processor (the ELF
#   header of its programs says which), holds only the documented tree,
#   files 0644, programs and folders 0755, and its icons are where the
#   desktop entry's Icon= finds them: usr/share/icons/hicolor/SIZExSIZE/apps,
#   a folder of that size in the hicolor theme, each PNG that size;
# - the same checks refuse the package without each documented file in
#   turn, or with a file more, and each zip without its screen saver, or
#   with a file more.
# Debian packages:
# - lintian: no error, warning or info tag (pedantic ones are shown);
# - desktop-file-validate, appstreamcli validate --no-net and man --warnings
#   on the desktop entry, the metainfo and the man pages: nothing said;
# - `cmake --install --strip` of each tree installs the package's files;
# - a package for another processor (arm64 here): the same files as the
#   first, dependencies computed, and its julia-frames (under qemu) writes
#   the same GIF as the build tree's;
# - the package of this machine's processor, installed with apt (no
#   recommended packages) into minimal roots of Debian 12 (bookworm), 13
#   (trixie) and unstable (sid) made by mmdebstrap, each checked the same
#   way, at the same time: both programs say the version; julia-frames
#   there writes a GIF byte-identical to the build tree's; the desktop
#   entry's command opens the window (on an Xvfb of this machine, its socket
#   bound into the root) and a key ends it with status 0; `apt-get purge
#   --autoremove` leaves no file that was not there before. In the sid root,
#   where SDL2 is sdl2-compat on SDL3, the program also runs on weston's
#   headless backend inside the root, as on a Wayland desktop: once with
#   WAYLAND_DISPLAY alone, once with DISPLAY (the Xvfb) beside it, as in a
#   GNOME or KDE session. Each time weston's screenshot must show one frame
#   of the animation as exact 3x3 blocks, no window may open on the X
#   display, and SIGTERM ends it with status 0.
# Zips: unpacked into a folder whose path has spaces and non-ASCII letters,
# both programs run under Wine from there (where this machine can run them:
# it may run no 32-bit x86 code, which is then said and not run),
# julia-frames.exe writing the same GIF as the Linux build.
#
# The minimal roots are made once and kept in build/package-check/ (remove
# one to make it anew), all three at once and beside the rest of the check;
# scripts/test makes them as a job of its own from its start on, beside the
# builds (--roots). Each check installs into an overlay of a root in memory,
# mounted in a mount namespace of the check's own, which goes with it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${QJ_CHECK_PACKAGES_NAMESPACE:-}" ]; then
    exec unshare --mount --propagation private -- \
        env QJ_CHECK_PACKAGES_NAMESPACE=1 bash "$here/check-packages.sh" "$@"
fi
# shellcheck source=common.sh
source "$here/common.sh"
# shellcheck source=package.sh
source "$here/package.sh"
# shellcheck source=wine.sh
source "$here/wine.sh"
# shellcheck source=xvfb.sh
source "$here/xvfb.sh"

usage="usage: scripts/lib/check-packages.sh --page PAGE BUILD_DIR... | --roots"
page=
roots_only=0
build_dirs=()
while [ $# -gt 0 ]; do
    case $1 in
        --page)
            page=${2:-}
            shift 2 || { echo "$usage" >&2; exit 2; }
            ;;
        --roots)
            roots_only=1
            shift
            ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *)
            build_dirs+=("$(realpath -m "$1")")
            shift
            ;;
    esac
done
host_arch=$(dpkg --print-architecture)

# --- the minimal Debian roots ----------------------------------------------
# Debian 12 and 13 from this machine's own package sources (for 13 the same
# sources with its name), unstable from mmdebstrap's default mirror, whose
# release file for it is often stale, and with weston for the Wayland runs.
suites=(bookworm trixie sid)
root_dir() { echo "$QJ_ROOT/build/package-check/$1-$host_arch"; }

# make_root SUITE: makes the suite's root unless it is there, under a lock
# (scripts/test's job and a check run by hand may both try), and says how
# long it took.
make_root() {
    local suite=$1 base
    base=$(root_dir "$suite")
    mkdir -p "$(dirname "$base")"
    (
        flock 9
        [ -f "$base/etc/debian_version" ] && exit 0
        local options=() codename begun
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        case $suite in
            sid) options=(--aptopt='Acquire::Check-Valid-Until "false"' --include=weston sid "$base.new") ;;
            *)
                sed "s/\b$codename\b/$suite/g" /etc/apt/sources.list.d/debian.sources >"$base.sources"
                options=("$suite" "$base.new" "$base.sources")
                ;;
        esac
        begun=$(date +%s)
        rm -rf "$base.new"
        # The root keeps its package lists, so that a check need not fetch
        # them again (it does when they have gone stale).
        nice -n 10 mmdebstrap --quiet --variant=apt --skip=cleanup/apt/lists "${options[@]}" \
            >"$base.log" 2>&1 &&
            mv "$base.new" "$base" ||
            { qj_warn "mmdebstrap $suite: $(tail -5 "$base.log")"; exit 1; }
        qj_say "packages: the $suite root made in $(($(date +%s) - begun)) s (${base#"$QJ_ROOT"/})"
    ) 9>"$base.lock"
}

# make_roots: every root that is missing, all at once.
make_roots() {
    local suite pids=() pid status=0
    for suite in "${suites[@]}"; do
        make_root "$suite" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || status=1
    done
    return $status
}

if [ "$roots_only" -eq 1 ]; then
    [ -z "$page" ] && [ ${#build_dirs[@]} -eq 0 ] || { echo "$usage" >&2; exit 2; }
    make_roots
    exit
fi
[ -n "$page" ] && [ ${#build_dirs[@]} -gt 0 ] || { echo "$usage" >&2; exit 2; }
page=$(realpath -m "$page")
[ -f "$page" ] || { qj_warn "no page at $page (build the web preset first)"; exit 1; }

qj_release_environment
work=$(mktemp -d)
roots_pid=
release_pid=
cleanup() {
    qj_xvfb_stop
    # A root being made is finished, for the next check.
    [ -z "$roots_pid" ] || wait "$roots_pid" 2>/dev/null
    [ -z "$release_pid" ] || wait "$release_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    qj_warn "package check FAILED: $*"
    failures=$((failures + 1))
}
started=$(date +%s)
step() { qj_say "packages ($(($(date +%s) - started)) s): $*"; }

# The roots are made beside everything up to their use.
make_roots >"$work/roots.log" 2>&1 &
roots_pid=$!

# What scripts/release builds: the presets of the trees given, and the web
# preset whose page the packages hold, each configured anew as the release
# configures its trees. The one target the release builds in each,
# quenlixor-downloads, must make every file that the tree's downloads take
# from the build (configured beside the rest of the check).
release_trees() {
    local tree preset status=0 files
    for tree in "${page%/*/*}" "${build_dirs[@]}"; do
        preset=${tree##*/}
        files=()
        [ "$tree" != "${page%/*/*}" ] || files=("${page#"$tree"/}")
        mkdir -p "$work/release"
        if qj_release_configure "$preset" "$work/release/$preset"; then
            qj_downloads_not_built "$work/release/$preset" "${files[@]}" || status=1
        else
            echo "the preset $preset cannot be configured as a release tree"
            status=1
        fi
    done
    return $status
}
release_trees >"$work/release-trees.log" 2>&1 &
release_pid=$!

# program_window TENTHS: the program's window (program_pid) once it shows,
# waiting up to TENTHS tenths of a second; nothing when it ends first.
program_window() {
    local window
    for _ in $(seq $(($1 / 2))); do
        window=$(xdotool search --onlyvisible --name '^Quenlixor Julia Animator' 2>/dev/null | head -1)
        [ -n "$window" ] && { echo "$window"; return; }
        kill -0 "$program_pid" 2>/dev/null || return
        sleep 0.2
    done
}

# wait_for_program TENTHS: sets status to the program's exit status once it
# ends, waiting up to TENTHS tenths of a second; to nothing while it still
# runs. (Not in a subshell: only this shell can wait for its child.)
wait_for_program() {
    status=
    for _ in $(seq "$1"); do
        kill -0 "$program_pid" 2>/dev/null || { wait "$program_pid"; status=$?; return; }
        sleep 0.1
    done
}

# The GIF every julia-frames is compared with: the build tree's own.
gif_options=(--frame 1 --count 40 --quiet)
reference_gif=$work/reference.gif

# --- the downloads, named and filled as scripts/release does ---------------
step "the downloads of ${build_dirs[*]#"$QJ_ROOT"/}"
dist=$work/dist
qj_make_downloads "$dist" "$page" "${build_dirs[@]}" >"$work/made.txt" ||
    { fail "the downloads could not be made of ${build_dirs[*]}"; exit 1; }
version=$(qj_tree_version "${build_dirs[0]}")
debs=()
zips=()
native_deb=
native_tree=
declare -A tree_of
while read -r file tree; do
    tree_of[$file]=$tree
    case $file in
        *.deb)
            debs+=("$dist/$file")
            if [ "$(dpkg-deb -f "$dist/$file" Architecture)" = "$host_arch" ]; then
                native_deb=$dist/$file
                native_tree=$tree
            fi
            ;;
        *.zip) zips+=("$dist/$file") ;;
    esac
done <"$work/made.txt"
if [ -z "$native_tree" ]; then
    fail "no tree built for this machine ($host_arch) among ${build_dirs[*]}"
    exit 1
fi
"$native_tree/bin/julia-frames" "${gif_options[@]}" --gif "$reference_gif" ||
    fail "the build tree's julia-frames wrote no GIF"

# --- the downloads as documented --------------------------------------------
step "the downloads as documented: names, the zips' programs and modes, the packages' trees"
# The names in the table of downloads ("| file | for |"), wherever the
# documentation has it.
documented=$(awk '/^\| file \| for \|$/ { table = 1; next } table && !/^\|/ { table = 0 } table' \
    "$QJ_ROOT/README.md" "$QJ_ROOT"/docs/*.md 2>/dev/null |
    sed -n 's/^| `\([^`]*\)` |.*/\1/p' | LC_ALL=C sort -u)
made=$(find "$dist" -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort)
if [ "$(wc -l <<<"$documented")" -ne 5 ]; then
    fail "the documentation's table of downloads names not five files: '$(tr '\n' ' ' <<<"$documented")'"
elif [ ${#debs[@]} -eq 2 ] && [ ${#zips[@]} -eq 2 ]; then
    [ "$made" = "$documented" ] ||
        fail "the downloads are named '$(tr '\n' ' ' <<<"$made")', the table of downloads '$(tr '\n' ' ' <<<"$documented")'"
else
    for file in $made; do
        grep -qxF "$file" <<<"$documented" || fail "$file is not in the table of downloads"
    done
    for file in $documented; do
        grep -qxF "$file" <<<"$made" ||
            qj_warn "$file: NOT CHECKED: its tree was not among those given"
    done
fi
(cd "$dist" && sha256sum --quiet --strict -c SHA256SUMS) >"$work/sums.log" 2>&1 &&
    [ "$(cut -d' ' -f3 "$dist/SHA256SUMS" | LC_ALL=C sort)" = "$made" ] ||
    fail "SHA256SUMS does not hold the downloads: $(cat "$work/sums.log" "$dist/SHA256SUMS")"

# pe_machine FILE: the machine of a Windows program's PE header, in hex
# (014c: 32-bit x86, 8664: x86-64).
pe_machine() {
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ -n "$offset" ] && [ "$(od -An -c -j"$offset" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 1
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}
# check_zip ZIP: the zip as documented, its name, entries and programs.
check_zip() {
    local zip=$1 name folder flavour machine entries expected exe found heading
    name=${zip##*/}
    folder=${name%.zip}
    case $name in
        *-windows-x86.zip) flavour=x86 machine=014c ;;
        *-windows-x64.zip) flavour=x64 machine=8664 ;;
        *) fail "$name: neither the x86 nor the x64 zip"; return ;;
    esac
    entries=$(zipinfo "$zip" | awk '/^[-dl]/ { print $1, $NF }' | LC_ALL=C sort -k2)
    expected=$(printf '%s\n' "-rw-r--r-- $folder/LICENSE.txt" "-rw-r--r-- $folder/README.txt" \
        "-rwxr-xr-x $folder/julia-frames.exe" "-rwxr-xr-x $folder/quenlixor-julia.exe" \
        "-rwxr-xr-x $folder/quenlixor-julia.scr")
    [ "$entries" = "$expected" ] ||
        fail "$name holds '$(tr '\n' ' ' <<<"$entries")', not '$(tr '\n' ' ' <<<"$expected")'"
    for exe in quenlixor-julia.exe quenlixor-julia.scr julia-frames.exe; do
        unzip -p "$zip" "$folder/$exe" >"$work/program.exe" 2>/dev/null
        found=$(pe_machine "$work/program.exe")
        [ "$found" = "$machine" ] || fail "$exe in $name is for machine ${found:-unknown}, not $machine ($flavour)"
    done
    heading=$(unzip -p "$zip" "$folder/README.txt" 2>/dev/null | sed -n 2p)
    [[ $heading == "$flavour: "* ]] || fail "README.txt in $name says '$heading', not $flavour"
}
for zip in "${zips[@]}"; do
    check_zip "$zip"
done

# The Debian packages' trees, as packaging/CMakeLists.txt and the README
# lay them out (paths as extended regular expressions).
documented_tree=(
    'usr/bin/quenlixor-julia' 'usr/bin/julia-frames'
    'usr/share/man/man1/quenlixor-julia\.1\.gz' 'usr/share/man/man1/julia-frames\.1\.gz'
    'usr/share/applications/org\.quenlixor\.julia\.desktop'
    'usr/share/icons/hicolor/[0-9]+x[0-9]+/apps/org\.quenlixor\.julia\.png'
    'usr/share/metainfo/org\.quenlixor\.julia\.metainfo\.xml'
    'usr/share/quenlixor-julia/quenlixor-julia\.html'
    'usr/libexec/xscreensaver/quenlixor-julia'
    'usr/share/xscreensaver/config/quenlixor-julia\.xml'
    'usr/share/lintian/overrides/quenlixor-julia'
    'usr/share/doc/quenlixor-julia/copyright' 'usr/share/doc/quenlixor-julia/changelog\.gz'
)
hicolor=/usr/share/icons/hicolor/index.theme
# check_deb DEB TREE: the package as documented, its fields, its files and
# their modes, its programs' processor and its icons; unpacked into TREE.
check_deb() {
    local deb=$1 tree=$2 name arch machine fields listing mode owner path wanted matched pattern
    local program found icon icons file folder size dimensions
    name=${deb##*/}
    arch=${name%.deb}
    arch=${arch##*_}
    case $arch in
        amd64) machine=003e ;;
        arm64) machine=00b7 ;;
        *) fail "$name: no documented download for $arch"; return ;;
    esac
    fields=$(dpkg-deb -f "$deb" Package Version Architecture | sed 's/^[^:]*: //' | tr '\n' ' ')
    [ "$fields" = "quenlixor-julia $version $arch " ] ||
        fail "$name is the package '$fields', not quenlixor-julia $version $arch"
    listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
    while read -r mode owner path; do
        path=${path#./}
        [ "$owner" = root/root ] || fail "$name: $path belongs to $owner"
        case $mode in
            d*) [ "$mode" = drwxr-xr-x ] || fail "$name: the folder $path is $mode"; continue ;;
        esac
        wanted=-rw-r--r--
        [[ $path == usr/bin/* ]] && wanted=-rwxr-xr-x
        # XScreenSaver's hack is the program itself, by a link
        [[ $path == usr/libexec/xscreensaver/* ]] && wanted=lrwxrwxrwx
        [ "$mode" = "$wanted" ] || fail "$name: $path is $mode, not $wanted"
        matched=0
        for pattern in "${documented_tree[@]}"; do
            [[ $path =~ ^$pattern$ ]] && matched=1
        done
        [ "$matched" -eq 1 ] || fail "$name: $path is not in the documented tree"
    done <<<"$listing"
    for pattern in "${documented_tree[@]}"; do
        grep -qE "^[^ ]+ [^ ]+ \./$pattern$" <<<"$listing" || fail "$name: nothing at $pattern"
    done
    rm -rf "$tree" && dpkg-deb -x "$deb" "$tree"
    for program in quenlixor-julia julia-frames; do
        found=$(od -An -tx2 -j18 -N2 "$tree/usr/bin/$program" | tr -d ' ')
        [ "$found" = "$machine" ] || fail "$name: $program is for ELF machine ${found:-unknown}, not $machine ($arch)"
    done
    # Where the desktop entry's icon is looked up: the hicolor theme's
    # folders of one size each, SIZExSIZE/apps, as its index.theme has them.
    icon=$(sed -n 's/^Icon=//p' "$tree"/usr/share/applications/*.desktop)
    icons=("$tree"/usr/share/icons/hicolor/*/apps/"$icon".png)
    [ -f "${icons[0]}" ] || fail "$name: no icon $icon in usr/share/icons/hicolor/SIZExSIZE/apps"
    for file in "${icons[@]}"; do
        [ -f "$file" ] || continue
        folder=${file#"$tree"/usr/share/icons/hicolor/}
        folder=${folder%/*}
        size=${folder%%x*}
        grep -qxF "[$folder]" "$hicolor" &&
            sed -n "/^\[${folder//\//\\/}\]$/,/^\[/p" "$hicolor" | grep -qx "Size=$size" ||
            fail "$name: $folder is no folder of $size-pixel icons in the hicolor theme ($hicolor)"
        dimensions=$(file -b "$file" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
        [ "$dimensions" = "${size}x$size" ] ||
            fail "$name: the icon in $folder is ${dimensions:-no PNG}, not ${size}x$size"
    done
}
for deb in "${debs[@]}"; do
    arch=${deb%.deb}
    check_deb "$deb" "$work/tree-${arch##*_}"
done

# The check itself, on downloads broken on purpose from the good ones: the
# package of this machine's processor without one of the documented files
# (each in turn), or with a file more, and each zip without its screen
# saver, or with a file more, must each fail it.
step "the same checks refuse broken downloads"
# refused WHAT CHECK ARGUMENT...: the check (a function that calls fail)
# fails, counted apart from the rest.
refused() {
    local what=$1
    shift
    (
        failures=0
        "$@" >"$work/refused.log" 2>&1
        exit "$failures"
    ) && fail "the package check takes $what"
    return 0
}
broken=$work/broken
rm -rf "$broken" && mkdir -p "$broken/out" && dpkg-deb -R "$native_deb" "$broken/good" ||
    fail "${native_deb##*/} does not unpack"
for pattern in "${documented_tree[@]}" extra; do
    [ -d "$broken/good" ] || break
    rm -rf "$broken/package" && cp -a "$broken/good" "$broken/package"
    if [ "$pattern" = extra ]; then
        touch "$broken/package/usr/share/doc/quenlixor-julia/README"
        what="${native_deb##*/} with usr/share/doc/quenlixor-julia/README more"
    else
        (cd "$broken/package" && find . ! -type d | sed 's|^\./||' | grep -E "^$pattern$" |
            xargs -r rm -f --)
        what="${native_deb##*/} without ${pattern//\\/}"
    fi
    # Named as the good one: the name is checked too.
    dpkg-deb --root-owner-group -Znone -b "$broken/package" "$broken/out/${native_deb##*/}" \
        >/dev/null || { fail "$what could not be made"; continue; }
    refused "$what" check_deb "$broken/out/${native_deb##*/}" "$broken/tree"
done
for zip in "${zips[@]}"; do
    name=${zip##*/}
    cp "$zip" "$broken/out/" && zip -q -d "$broken/out/$name" '*/quenlixor-julia.scr' &&
        refused "$name without quenlixor-julia.scr" check_zip "$broken/out/$name" &&
        cp "$zip" "$broken/out/" && mkdir -p "$broken/${name%.zip}" &&
        touch "$broken/${name%.zip}/notes.txt" &&
        (cd "$broken" && zip -q "out/$name" "${name%.zip}/notes.txt") &&
        refused "$name with notes.txt more" check_zip "$broken/out/$name" ||
        fail "$name broken could not be made"
done

# --- Debian's tools on the packages ----------------------------------------
step "lintian ${debs[*]##*/}"
lintian --fail-on error,warning,info --display-info --pedantic "${debs[@]}" 2>&1 |
    grep -v '^running with root privileges is not recommended!$'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian found errors, warnings or info tags (above)"

unpacked=$work/tree-$host_arch
step "desktop-file-validate, appstreamcli validate --no-net, man --warnings"
for desktop in "$unpacked"/usr/share/applications/*.desktop; do
    out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] ||
        fail "desktop-file-validate ${desktop##*/}: $out"
done
for metainfo in "$unpacked"/usr/share/metainfo/*.xml; do
    appstreamcli validate --no-net --no-color "$metainfo" >"$work/appstream.log" 2>&1 ||
        fail "appstreamcli validate ${metainfo##*/}: $(cat "$work/appstream.log")"
    grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" ||
        fail "${metainfo##*/} has no release $version with its date"
done
for man_page in "$unpacked"/usr/share/man/man1/*.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man_page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man --warnings ${man_page##*/}: $out"
done
for program in quenlixor-julia julia-frames; do
    [ -f "$unpacked/usr/share/man/man1/$program.1.gz" ] || fail "no man page for $program"
done
# XScreenSaver's hack: a link to the program, and its settings file, which
# runs it with --root (as XScreenSaver's own hacks are run).
hack=$unpacked/usr/libexec/xscreensaver/quenlixor-julia
[ -L "$hack" ] && [ "$(realpath "$hack")" = "$unpacked/usr/bin/quenlixor-julia" ] ||
    fail "the package's /usr/libexec/xscreensaver/quenlixor-julia is no link to /usr/bin/quenlixor-julia"
/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as tree
saver = tree.parse(sys.argv[1]).getroot()
sys.exit(saver.tag != "screensaver" or saver.get("name") != "quenlixor-julia" or
         saver.find("command").get("arg") != "--root")' \
    "$unpacked/usr/share/xscreensaver/config/quenlixor-julia.xml" 2>"$work/hack.log" ||
    fail "the hack's settings file does not run quenlixor-julia --root: $(cat "$work/hack.log")"
# The package's files a man page names are where it says.
for path in $(zcat "$unpacked"/usr/share/man/man1/*.1.gz | sed -n 's|^\.I \(/usr/[^ ]*\)$|\1|p'); do
    [ -f "$unpacked$path" ] || fail "a man page names $path, which the package does not hold"
done

# The package's files, as a sorted list of "mode size checksum path".
file_list() {
    (cd "$1" && find . -type f -printf '%m %s %p\n' | LC_ALL=C sort)
}
step "cmake --install --strip installs the package's files"
for deb in "${debs[@]}"; do
    dir=${tree_of[${deb##*/}]}
    rm -rf "$work/installed" "$work/contents"
    cmake --install "$dir" --strip --prefix "$work/installed/usr" >"$work/install.log" 2>&1 ||
        { fail "cmake --install $dir: $(tail -3 "$work/install.log")"; continue; }
    dpkg-deb -x "$deb" "$work/contents"
    diff <(file_list "$work/contents") <(file_list "$work/installed") >"$work/install.diff" &&
        diff -r "$work/contents" "$work/installed" >>"$work/install.diff" ||
        fail "cmake --install of $dir differs from ${deb##*/}: $(head -20 "$work/install.diff")"
done

for deb in "${debs[@]}"; do
    [ "$deb" = "$native_deb" ] && continue
    step "${deb##*/}: files, dependencies, its julia-frames"
    diff <(dpkg-deb -c "$native_deb" | awk '{print $1, $6}') <(dpkg-deb -c "$deb" | awk '{print $1, $6}') \
        >"$work/files.diff" || fail "${deb##*/} holds other files than ${native_deb##*/}: $(cat "$work/files.diff")"
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libsdl2-2.0-0* && $depends == *libc6* ]] ||
        fail "${deb##*/}: dependencies not computed from its programs: '$depends'"
    foreign=$work/foreign
    rm -rf "$foreign" && dpkg-deb -x "$deb" "$foreign"
    case $(dpkg-deb -f "$deb" Architecture) in
        arm64) emulator=qemu-aarch64 ;;
        *) emulator= ;;
    esac
    if [ -n "$emulator" ] && command -v "$emulator" >/dev/null; then
        "$emulator" "$foreign/usr/bin/julia-frames" "${gif_options[@]}" --gif "$work/foreign.gif" &&
            cmp -s "$reference_gif" "$work/foreign.gif" ||
            fail "${deb##*/}: its julia-frames does not write the build tree's GIF"
    else
        qj_warn "${deb##*/}: its julia-frames NOT RUN: no emulator for it here"
    fi
done

# --- installed with apt into minimal roots of Debian 12, 13 and unstable ----
# in_root COMMAND...: runs the command in the root being checked ($root).
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive "$@"; }
# What is in the root, apart from apt's and dpkg's records, caches and logs.
root_files() {
    (cd "$root" && find . -xdev \( -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/cache \
        -o -path ./var/log -o -path ./tmp -o -path ./proc \) -prune -o -print | LC_ALL=C sort)
}

# The frames the program shows on weston first, numbered from 1000: at 2
# frames a second, more than it can show in the 40 s it is given. The build
# tree's e2e-frame-match finds them on weston's screenshots.
wayland_first_frame=1000
wayland_last_frame=1099
frame_match=$native_tree/bin/e2e-frame-match

# wayland_runs: the installed program on weston's headless backend in the
# root ($root, $suite), as on a Wayland desktop: once with WAYLAND_DISPLAY
# alone, once with DISPLAY (an Xvfb of this machine) beside it. weston's
# screenshot must show one of the first frames as exact 3x3 blocks, no
# window may open on the X display, and SIGTERM (as the desktop's session
# ends it) ends it with status 0. Everything the runs write (the runtime
# folder, the screenshots, the caches of HOME) is kept under /tmp.
wayland_runs() {
    local runtime=/tmp/quenlixor-wayland socket=quenlixor-julia shots=/tmp/screenshots
    local weston_pid session environment shot size found begun log=$work/$suite-wayland.log
    mkdir -p "$root/tmp/home" "$root$shots" && mkdir -m 700 "$root$runtime" || return
    chroot "$root" env HOME=/tmp/home XDG_RUNTIME_DIR=$runtime weston --backend=headless --use-pixman \
        --no-config --debug --socket=$socket --width=1280 --height=1024 >"$work/$suite-weston.log" 2>&1 &
    weston_pid=$!
    for _ in $(seq 300); do
        [ -S "$root$runtime/$socket" ] && break
        kill -0 "$weston_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -S "$root$runtime/$socket" ]; then
        fail "$suite: weston did not start: $(tail -5 "$work/$suite-weston.log")"
        kill "$weston_pid" 2>/dev/null
        return
    fi
    step "$suite: the program on weston"
    echo "    weston $(in_root dpkg-query -W -f='${Version}' weston) on its headless backend (pixman)" >&2
    for session in "WAYLAND_DISPLAY" "WAYLAND_DISPLAY and DISPLAY"; do
        environment=(HOME=/tmp/home "XDG_RUNTIME_DIR=$runtime" "WAYLAND_DISPLAY=$socket")
        if [ "$session" != WAYLAND_DISPLAY ]; then
            qj_xvfb_start 24 1280x1024 || { fail "$suite: no virtual display beside weston"; continue; }
            environment+=(DISPLAY="$DISPLAY")
        fi
        # (chroot and env exec the program: program_pid is its own.)
        chroot "$root" env "${environment[@]}" quenlixor-julia --scale 3 --fps 2 \
            --frame "$wayland_first_frame" </dev/null >"$log" 2>&1 &
        program_pid=$!
        begun=$SECONDS
        found=
        while [ $((SECONDS - begun)) -lt 40 ] && kill -0 "$program_pid" 2>/dev/null; do
            rm -f "$root$shots"/*.png
            chroot "$root" sh -c "cd $shots && exec env ${environment[*]} weston-screenshooter" >/dev/null 2>&1
            shot=$(ls "$root$shots"/*.png 2>/dev/null | head -1)
            if [ -n "$shot" ] && convert "$shot" -depth 8 "ppm:$work/$suite-screen.ppm"; then
                found=$("$frame_match" find-in "$work/$suite-screen.ppm" "$wayland_first_frame" \
                    "$wayland_last_frame" 3 2>/dev/null) && break
            fi
            sleep 0.5
        done
        if [ -n "$found" ]; then
            read -r frame x y <<<"$found"
            echo "    on weston with $session: frame $frame at $x,$y in exact 3x3 blocks" >&2
            if [ -n "${DISPLAY:-}" ] && [ "$session" != WAYLAND_DISPLAY ]; then
                [ -z "$(xdotool search --name '^Quenlixor Julia Animator' 2>/dev/null)" ] ||
                    fail "$suite: with $session, the program opened a window on the X display too"
            fi
        else
            fail "$suite: with $session, weston showed no frame of the program in exact 3x3 blocks: $(cat "$log")"
        fi
        kill -TERM "$program_pid" 2>/dev/null
        wait_for_program 100
        [ -n "$found" ] && [ "$status" != 0 ] &&
            fail "$suite: with $session, SIGTERM did not end the program with status 0 (${status:-still running}): $(cat "$log")"
        [ -n "$status" ] || kill -KILL "$program_pid" 2>/dev/null
        qj_xvfb_stop
        unset DISPLAY
    done
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
}

# check_in_root SUITE: the package installed with apt into an overlay of
# the suite's root, run there and purged.
check_in_root() {
    local suite=$1 base root=$work/root-$1 memory=$work/memory-$1 line program command window geometry
    base=$(root_dir "$suite")
    step "$suite: apt-get install ${native_deb##*/} in the root"
    [ -f "$base/etc/debian_version" ] || { fail "$suite: no root in ${base#"$QJ_ROOT"/}"; return; }
    mkdir -p "$memory" "$root"
    mount -t tmpfs tmpfs "$memory" && mkdir "$memory/upper" "$memory/work" &&
        mount -t overlay overlay \
            -o "lowerdir=$base,upperdir=$memory/upper,workdir=$memory/work" "$root" &&
        mkdir -p "$root/tmp/.X11-unix" && mount -t proc proc "$root/proc" &&
        mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" &&
        mkdir -p "$base.archives/partial" &&
        mount --bind "$base.archives" "$root/var/cache/apt/archives" ||
        { fail "$suite: cannot mount the root's overlay"; return; }
    # The packages downloaded are kept beside the root (SUITE.archives) for
    # the next check; the package lists are the root's own, fetched again
    # where there are none, or where the installation fails with them.
    update_root() {
        in_root apt-get -o Acquire::Check-Valid-Until=false update -qq >"$work/$suite-apt.log" 2>&1 ||
            fail "$suite: apt-get update in the root: $(tail -3 "$work/$suite-apt.log")"
    }
    install_package() {
        in_root apt-get install -y -q --no-install-recommends "/tmp/${native_deb##*/}" \
            >"$work/$suite-install.log" 2>&1
    }
    compgen -G "$root/var/lib/apt/lists/*_Packages*" >/dev/null || update_root
    root_files >"$work/$suite-before.txt"
    cp "$native_deb" "$root/tmp/"
    if install_package || { update_root && install_package; }; then
        grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$work/$suite-install.log" | sed 's/^/    /' >&2
        step "$suite: the programs in the root"
        echo "    Debian $(cat "$root/etc/debian_version"); SDL: $(in_root dpkg-query -W \
            -f='${Package} ${Version} (${source:Package}) ' libsdl2-2.0-0 libsdl3-0 2>/dev/null)" >&2
        for program in quenlixor-julia julia-frames; do
            line=$(in_root "$program" --version 2>&1 | head -1)
            [[ $line == "$program $version"* ]] ||
                fail "$suite: $program --version in the root says '$line', not $version"
        done
        in_root julia-frames "${gif_options[@]}" --gif /tmp/frames.gif &&
            cmp -s "$reference_gif" "$root/tmp/frames.gif" ||
            fail "$suite: julia-frames in the root does not write the build tree's GIF"

        # The desktop entry's command, on a virtual display of this machine.
        command=$(sed -n 's/^Exec=//p' "$root"/usr/share/applications/*.desktop)
        if qj_xvfb_start 24 1280x1024; then
            # shellcheck disable=SC2086  # the entry's command, split as its Exec line is
            chroot "$root" env DISPLAY="$DISPLAY" $command </dev/null >"$work/$suite-program.log" 2>&1 &
            program_pid=$!
            window=$(program_window 200)
            if [ -n "$window" ]; then
                geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
                echo "    '$command' on X: a window of $geometry, '$(xdotool getwindowname "$window")'" >&2
                xdotool key --window "$window" space
            else
                fail "$suite: the desktop entry's '$command' opened no window: $(cat "$work/$suite-program.log")"
                kill "$program_pid" 2>/dev/null
            fi
            wait_for_program 100
            [ "$status" = 0 ] ||
                fail "$suite: quenlixor-julia did not end with status 0 on a key (${status:-still running})"
            [ -n "$status" ] || kill "$program_pid" 2>/dev/null
            qj_xvfb_stop
            unset DISPLAY
        else
            fail "$suite: no virtual display for the program"
        fi
        [ ! -x "$root/usr/bin/weston" ] || wayland_runs

        step "$suite: apt-get purge --autoremove quenlixor-julia in the root"
        rm -rf "$root/tmp/frames.gif" "$root/tmp/${native_deb##*/}"
        in_root apt-get purge -y -q --autoremove quenlixor-julia >"$work/$suite-purge.log" 2>&1 ||
            fail "$suite: apt-get purge: $(tail -3 "$work/$suite-purge.log")"
        grep -E '^[0-9]+ upgraded, [0-9]+ newly installed, [0-9]+ to remove' "$work/$suite-purge.log" |
            sed 's/^/    /' >&2
        in_root dpkg-query -W quenlixor-julia >/dev/null 2>&1 &&
            fail "$suite: dpkg still knows quenlixor-julia after the purge"
        root_files >"$work/$suite-after.txt"
        diff "$work/$suite-before.txt" "$work/$suite-after.txt" >"$work/$suite-root.diff" ||
            fail "$suite: the purge left the root changed: $(head -20 "$work/$suite-root.diff")"
    else
        fail "$suite: apt-get install ${native_deb##*/}: $(tail -5 "$work/$suite-install.log")"
    fi
    umount "$root/var/cache/apt/archives" "$root/tmp/.X11-unix" "$root/proc" "$root" "$memory"
}

step "the release's trees build what their downloads take: ${build_dirs[*]##*/} and web"
wait "$release_pid" ||
    fail "scripts/release would not build all it ships: $(cat "$work/release-trees.log")"
release_pid=

[ -x "$frame_match" ] ||
    fail "no $frame_match to find the program's frames on weston (the native tree is built with its tests)"
wait "$roots_pid" || fail "the roots could not be made: $(cat "$work/roots.log")"
roots_pid=
cat "$work/roots.log" >&2
# The roots at once, each with a log of its own, shown when all are done.
root_pids=()
for suite in "${suites[@]}"; do
    (
        failures=0
        check_in_root "$suite"
        exit "$failures"
    ) >"$work/$suite.log" 2>&1 &
    root_pids+=($!)
done
for index in "${!suites[@]}"; do
    wait "${root_pids[$index]}"
    failures=$((failures + $?))
    cat "$work/${suites[$index]}.log" >&2
done

# --- the Windows zips ------------------------------------------------------
for zip in "${zips[@]}"; do
    name=${zip##*/}
    dir=${tree_of[$name]}
    step "$name"
    if grep -q 'x86_64-w64-mingw32' "$dir/CMakeCache.txt"; then
        arch=win64
    else
        arch=win32
    fi
    folder="$work/Ein Ordner für Jülia/$(basename "$dir")"
    mkdir -p "$folder"
    (cd "$folder" && unzip -q "$zip") || { fail "$name does not unpack"; continue; }
    unpacked_zip=$folder/${name%.zip}
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:[A-Z]*=//p' "$dir/CMakeCache.txt")
    for exe in "$unpacked_zip"/*.exe "$unpacked_zip"/*.scr; do
        imports=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' |
            grep -vxE 'kernel32\.dll|user32\.dll|gdi32\.dll|msvcrt\.dll|winmm\.dll|advapi32\.dll' | tr '\n' ' ')
        [ -z "$imports" ] || fail "${exe##*/} in $name imports $imports beyond Windows' own DLLs"
    done
    if ! qj_wine_can_run "$arch"; then
        qj_warn "$name: NOT RUN: $(qj_wine_cannot_run_why "$arch")"
        continue
    fi
    prefix=$dir/wineprefix
    (cd "$unpacked_zip" && "$QJ_ROOT/scripts/wine-exec" --prefix "$prefix" --arch "$arch" \
        "$unpacked_zip/julia-frames.exe" "${gif_options[@]}" --gif frames.gif) \
        >"$work/wine.log" 2>&1 && cmp -s "$reference_gif" "$unpacked_zip/frames.gif" ||
        fail "julia-frames.exe from '$unpacked_zip' did not write the Linux build's GIF: $(tail -3 "$work/wine.log")"
    if qj_xvfb_start 24 1024x768; then
        QUENLIXOR_USE_DISPLAY=1 "$QJ_ROOT/scripts/wine-exec" --prefix "$prefix" --arch "$arch" \
            "$unpacked_zip/quenlixor-julia.exe" --scale 2 </dev/null >"$work/wine-program.log" 2>&1 &
        program_pid=$!
        window=$(program_window 600)
        if [ -n "$window" ]; then
            echo "    quenlixor-julia.exe from '$unpacked_zip': '$(xdotool getwindowname "$window")'" >&2
            xdotool windowfocus "$window" 2>/dev/null
            xdotool key --window "$window" space
        else
            fail "quenlixor-julia.exe from '$unpacked_zip' opened no window: $(tail -3 "$work/wine-program.log")"
        fi
        wait_for_program 150
        [ "$status" = 0 ] || fail "quenlixor-julia.exe did not end with status 0 on a key (${status:-still running})"
        if [ -z "$status" ]; then
            WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
            kill "$program_pid" 2>/dev/null
        fi
        qj_xvfb_stop
    else
        fail "no virtual display for quenlixor-julia.exe"
    fi
done

step "done: $failures failed"
[ "$failures" -eq 0 ]
