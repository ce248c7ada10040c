#!/usr/bin/env bash
# The downloads made of built trees, checked by Debian's own tools and by
# running them where a user would. scripts/test runs it as one step once the
# trees are built:
#
#   scripts/lib/check-packages.sh --page PAGE BUILD_DIR...
#
# PAGE is the web preset's page (build/web/bin/quenlixor-julia.html). Each
# BUILD_DIR is a built tree: a Linux one (native, linux-arm64) gives a Debian
# package, a Windows one (windows-i686, windows-x86_64) a zip, made as
# scripts/release makes them (scripts/lib/package.sh).
#
# Debian packages:
# - lintian: no error, warning or info tag (pedantic ones are shown);
# - desktop-file-validate, appstreamcli validate --no-net and man --warnings
#   on the desktop entry, the metainfo and the man pages: nothing said;
# - `cmake --install --strip` of each tree installs the package's files;
# - a package for another processor (arm64 here): the same files as the
#   first, dependencies computed, and its julia-frames (under qemu) writes
#   the same GIF as the build tree's;
# - the package of this machine's processor, installed with apt (no
#   recommended packages) into a minimal Debian 12 root made by mmdebstrap:
#   both programs say the version; julia-frames there writes a GIF
#   byte-identical to the build tree's; the desktop entry's command opens
#   the window (on an Xvfb of this machine, its socket bound into the root)
#   and a key ends it with status 0; `apt-get purge --autoremove` leaves no
#   file that was not there before.
# Zips: unpacked into a folder whose path has spaces and non-ASCII letters,
# both programs run under Wine from there (where this machine can run them:
# it may run no 32-bit x86 code, which is then said and not run),
# julia-frames.exe writing the same GIF as the Linux build; and no DLL is
# imported beyond Windows' own.
#
# The minimal root is made once and kept in build/package-check/ (remove it
# to make it anew); each check installs into an overlay of it in memory,
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

usage="usage: scripts/lib/check-packages.sh --page PAGE BUILD_DIR..."
page=
build_dirs=()
while [ $# -gt 0 ]; do
    case $1 in
        --page)
            page=${2:-}
            shift 2 || { echo "$usage" >&2; exit 2; }
            ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *)
            build_dirs+=("$(realpath -m "$1")")
            shift
            ;;
    esac
done
[ -n "$page" ] && [ ${#build_dirs[@]} -gt 0 ] || { echo "$usage" >&2; exit 2; }
page=$(realpath -m "$page")
[ -f "$page" ] || { qj_warn "no page at $page (build the web preset first)"; exit 1; }

qj_release_environment
work=$(mktemp -d)
cleanup() {
    qj_xvfb_stop
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
host_arch=$(dpkg --print-architecture)

debs=()
native_deb=
native_tree=
for dir in "${build_dirs[@]}"; do
    [ -f "$dir/bin/quenlixor-julia.exe" ] && continue
    step "the Debian package of ${dir#"$QJ_ROOT"/}"
    deb=$(qj_make_deb "$dir" "$page") && [ -f "$deb" ] || {
        fail "no Debian package made of $dir"
        continue
    }
    debs+=("$deb")
    if [ "$(dpkg-deb -f "$deb" Architecture)" = "$host_arch" ]; then
        native_deb=$deb
        native_tree=$dir
    fi
done
if [ -z "$native_tree" ]; then
    fail "no tree built for this machine ($host_arch) among ${build_dirs[*]}"
    exit 1
fi
"$native_tree/bin/julia-frames" "${gif_options[@]}" --gif "$reference_gif" ||
    fail "the build tree's julia-frames wrote no GIF"

# --- Debian's tools on the packages ----------------------------------------
step "lintian ${debs[*]##*/}"
lintian --fail-on error,warning,info --display-info --pedantic "${debs[@]}" 2>&1 |
    grep -v '^running with root privileges is not recommended!$'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian found errors, warnings or info tags (above)"

unpacked=$work/unpacked
dpkg-deb -x "$native_deb" "$unpacked"
step "desktop-file-validate, appstreamcli validate --no-net, man --warnings"
for desktop in "$unpacked"/usr/share/applications/*.desktop; do
    out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] ||
        fail "desktop-file-validate ${desktop##*/}: $out"
done
for metainfo in "$unpacked"/usr/share/metainfo/*.xml; do
    appstreamcli validate --no-net --no-color "$metainfo" >"$work/appstream.log" 2>&1 ||
        fail "appstreamcli validate ${metainfo##*/}: $(cat "$work/appstream.log")"
    grep -q "<release version=\"$(qj_tree_version "$native_tree")\" date=\"[0-9-]*\"" "$metainfo" ||
        fail "${metainfo##*/} has no release $(qj_tree_version "$native_tree") with its date"
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
    dir=$(dirname "$(dirname "$deb")")
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

# --- installed with apt into a minimal Debian 12 root -----------------------
base=$QJ_ROOT/build/package-check/bookworm-$host_arch
if [ ! -f "$base/etc/debian_version" ]; then
    step "a minimal Debian 12 root with mmdebstrap (kept in ${base#"$QJ_ROOT"/})"
    rm -rf "$base.new" && mkdir -p "$(dirname "$base")"
    mmdebstrap --quiet --variant=apt bookworm "$base.new" /etc/apt/sources.list.d/debian.sources \
        >"$work/mmdebstrap.log" 2>&1 && mv "$base.new" "$base" ||
        { fail "mmdebstrap: $(tail -5 "$work/mmdebstrap.log")"; exit 1; }
fi
root=$work/root
mkdir -p "$work/memory" "$root"
mount -t tmpfs tmpfs "$work/memory" && mkdir "$work/memory/upper" "$work/memory/work" &&
    mount -t overlay overlay \
        -o "lowerdir=$base,upperdir=$work/memory/upper,workdir=$work/memory/work" "$root" &&
    mkdir -p "$root/tmp/.X11-unix" && mount -t proc proc "$root/proc" &&
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" ||
    { fail "cannot mount the root's overlay"; exit 1; }
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive "$@"; }
# What is in the root, apart from apt's and dpkg's records, caches and logs.
root_files() {
    (cd "$root" && find . -xdev \( -path ./var/lib/apt -o -path ./var/lib/dpkg -o -path ./var/cache \
        -o -path ./var/log -o -path ./tmp -o -path ./proc \) -prune -o -print | LC_ALL=C sort)
}

version=$(qj_tree_version "$native_tree")
step "apt-get install ${native_deb##*/} in the root"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || fail "apt-get update in the root: $(tail -3 "$work/apt.log")"
root_files >"$work/root-before.txt"
cp "$native_deb" "$root/tmp/"
if in_root apt-get install -y -q --no-install-recommends "/tmp/${native_deb##*/}" >"$work/install-apt.log" 2>&1; then
    grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$work/install-apt.log" | sed 's/^/    /' >&2
    for program in quenlixor-julia julia-frames; do
        line=$(in_root "$program" --version 2>&1 | head -1)
        [[ $line == "$program $version"* ]] || fail "$program --version in the root says '$line', not $version"
    done
    in_root julia-frames "${gif_options[@]}" --gif /tmp/frames.gif &&
        cmp -s "$reference_gif" "$root/tmp/frames.gif" ||
        fail "julia-frames in the root does not write the build tree's GIF"

    # The desktop entry's command, on a virtual display of this machine.
    command=$(sed -n 's/^Exec=//p' "$root"/usr/share/applications/*.desktop)
    if qj_xvfb_start 24 1280x1024; then
        # shellcheck disable=SC2086  # the entry's command, split as its Exec line is
        in_root env DISPLAY="$DISPLAY" $command </dev/null >"$work/program.log" 2>&1 &
        program_pid=$!
        window=$(program_window 200)
        if [ -n "$window" ]; then
            geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
            echo "    '$command' in the root: a window of $geometry, '$(xdotool getwindowname "$window")'" >&2
            xdotool key --window "$window" space
        else
            fail "the desktop entry's '$command' opened no window in the root: $(cat "$work/program.log")"
            kill "$program_pid" 2>/dev/null
        fi
        wait_for_program 100
        [ "$status" = 0 ] || fail "quenlixor-julia in the root did not end with status 0 on a key (${status:-still running})"
        [ -n "$status" ] || kill "$program_pid" 2>/dev/null
        qj_xvfb_stop
    else
        fail "no virtual display for the program in the root"
    fi

    step "apt-get purge --autoremove quenlixor-julia in the root"
    rm -f "$root/tmp/frames.gif" "$root/tmp/${native_deb##*/}"
    in_root apt-get purge -y -q --autoremove quenlixor-julia >"$work/purge.log" 2>&1 ||
        fail "apt-get purge: $(tail -3 "$work/purge.log")"
    grep -E '^[0-9]+ upgraded, [0-9]+ newly installed, [0-9]+ to remove' "$work/purge.log" | sed 's/^/    /' >&2
    in_root dpkg-query -W quenlixor-julia >/dev/null 2>&1 && fail "dpkg still knows quenlixor-julia after the purge"
    root_files >"$work/root-after.txt"
    diff "$work/root-before.txt" "$work/root-after.txt" >"$work/root.diff" ||
        fail "the purge left the root changed: $(head -20 "$work/root.diff")"
else
    fail "apt-get install ${native_deb##*/} in the root: $(tail -5 "$work/install-apt.log")"
fi
umount "$root/tmp/.X11-unix" "$root/proc" "$root" "$work/memory"

# --- the Windows zips ------------------------------------------------------
for dir in "${build_dirs[@]}"; do
    [ -f "$dir/bin/quenlixor-julia.exe" ] || continue
    name=$(basename "$dir")
    step "the zip of ${dir#"$QJ_ROOT"/}"
    if grep -q 'x86_64-w64-mingw32' "$dir/CMakeCache.txt"; then
        arch=win64
    else
        arch=win32
    fi
    folder="$work/Ein Ordner für Jülia/$name"
    mkdir -p "$folder"
    qj_make_zip "$dir" "quenlixor-julia-$version" "$work/$name.zip" ||
        { fail "no zip made of $dir"; continue; }
    (cd "$folder" && unzip -q "$work/$name.zip") || { fail "$name.zip does not unpack"; continue; }
    unpacked_zip=$folder/quenlixor-julia-$version
    listing=$(cd "$unpacked_zip" && ls | tr '\n' ' ')
    [ "$listing" = "LICENSE.txt README.txt julia-frames.exe quenlixor-julia.exe " ] ||
        fail "$name.zip holds '$listing'"
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:[A-Z]*=//p' "$dir/CMakeCache.txt")
    for exe in "$unpacked_zip"/*.exe; do
        imports=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' |
            grep -vxE 'kernel32\.dll|user32\.dll|gdi32\.dll|msvcrt\.dll|winmm\.dll|advapi32\.dll' | tr '\n' ' ')
        [ -z "$imports" ] || fail "${exe##*/} in $name.zip imports $imports beyond Windows' own DLLs"
    done
    if ! qj_wine_can_run "$arch"; then
        qj_warn "$name.zip: NOT RUN: this machine cannot run $( [ "$arch" = win32 ] &&
            echo "32-bit x86 programs, so Wine cannot start them" || echo "64-bit Wine")"
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
