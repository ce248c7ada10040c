# Shared by the scripts in scripts/: repository root, messages, and
# installing Debian packages that are missing.
# shellcheck shell=bash

QJ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

qj_say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }
qj_warn() { printf '\033[1;33mwarning:\033[0m %s\n' "$*" >&2; }

qj_is_root() { [ "$(id -u)" -eq 0 ]; }

# qj_package_installed NAME: true when dpkg has NAME installed.
qj_package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Packages for building and testing natively (zlib for julia-frames' PNG;
# libpng and giflib only decode its files in the tests).
QJ_NATIVE_PACKAGES=(
    cmake ninja-build g++ pkg-config clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev zlib1g-dev libpng-dev libgif-dev
    libsdl2-dev libpixman-1-dev
    # export_benchmark compares the GIFs with what gifsicle -O3 makes of
    # them, and the APNGs with what apngopt makes of them
    gifsicle apngopt
    # julia-frames' APNGs read by other decoders in its tests: pngcheck, and
    # ffmpeg's APNG decoder against the raw frames
    pngcheck ffmpeg
    # the native program's end-to-end tests on a virtual X display, and the
    # displays' own test (with the WM_STATE keeper the Windows tests use)
    libx11-dev xvfb xauth xdotool x11-utils x11-apps tmux python3-xlib
    # and on a Wayland desktop: weston (with weston-screenshooter), netpbm
    # for its screenshots (pngtopnm), and the EGL and software OpenGL of
    # Mesa that SDL's renderer draws the window with there
    weston netpbm libegl-mesa0 libgl1-mesa-dri
    # full screen and given windows: xwdtopnm (netpbm) for xwd's dumps of
    # the whole screen, xrandr to shrink the screen under the root window
    x11-xserver-utils
)
# Installed without their recommended packages: Debian's xscreensaver (the
# daemon and its few standard hacks), whose recommendations would bring in
# more, for the native program's run as its hack. No collection of extra
# hacks, ever.
QJ_NATIVE_BARE_PACKAGES=(xscreensaver)
# Packages for the 32-bit and 64-bit Windows builds (MinGW-w64 with its
# static zlib): all the release needs of them.
QJ_MINGW_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev)
# And for running them under Wine on a virtual X display.
QJ_WINDOWS_PACKAGES=(
    "${QJ_MINGW_PACKAGES[@]}" wine wine64
    xvfb xauth xdotool x11-utils x11-apps imagemagick
    # the virtual display's WM_STATE keeper (scripts/lib/xvfb_wm_state.py)
    python3-xlib
)
# 32-bit Wine, for the 32-bit programs. Where it cannot be had (a machine
# that runs no 32-bit x86 programs, or an i386 archive that cannot be read),
# the 64-bit programs under 64-bit Wine stand in, as the scripts say.
QJ_WINE32_PACKAGES=(wine32:i386)

# Packages for the 64-bit ARM Linux build (cross compiler, the target's
# libraries from Debian's multiarch, qemu-user to run its tests) and its one
# end-to-end run on a virtual X display.
QJ_ARM64_PACKAGES=(
    g++-aarch64-linux-gnu qemu-user
    libsdl2-dev:arm64 zlib1g-dev:arm64 libpng-dev:arm64 libgif-dev:arm64 libx11-dev:arm64
    xvfb xauth xdotool x11-utils x11-apps
)

# Packages for the WebAssembly build (emscripten, Node to run its output and
# tests, GoogleTest's sources to build for it) and the web page's tests in
# headless Chromium (puppeteer-core itself comes from npm: npm ci with the
# committed package-lock.json; Debian's npm package only where no npm came
# with Node).
QJ_WEB_PACKAGES=(emscripten nodejs googletest chromium)

# Packages for making the downloads (CPack's Debian packages: dpkg-shlibdeps
# and file; the zips) and for checking them with Debian's own tools in
# minimal roots of Debian 12, 13 and unstable (the hicolor icon theme's
# folders; weston's screenshots read with ImageMagick).
QJ_PACKAGING_PACKAGES=(
    dpkg-dev file zip unzip
    lintian desktop-file-utils appstream man-db mmdebstrap hicolor-icon-theme imagemagick
)

QJ_APT_UPDATED=0

# qj_apt_update: apt-get update. Where one architecture's list fails to
# download (a mirror in the middle of a sync), apt reads none of the lists
# of that archive that come after it, and the packages of the other
# architectures cannot be installed either: it updates again without that
# architecture, whose packages then cannot be had (and say so when asked
# for).
qj_apt_update() {
    local log failed arch without=()
    log=$(apt-get update -qq 2>&1) && return 0
    printf '%s\n' "$log" >&2
    failed=$(printf '%s\n' "$log" | sed -n 's|^E: Failed to fetch .*/binary-\([a-z0-9]*\)/.*|\1|p' | sort -u)
    [ -n "$failed" ] || return 1
    for arch in $(dpkg --print-architecture) $(dpkg --print-foreign-architectures); do
        grep -qx "$arch" <<<"$failed" || without+=(-o "APT::Architectures::=$arch")
    done
    qj_warn "the package lists for ${failed//$'\n'/ } could not be read: apt-get update without them"
    apt-get update -qq "${without[@]}"
}

# qj_ensure_packages [--no-install-recommends] NAME...: installs the missing
# ones when run as root (without their recommended packages, when asked);
# otherwise lists them and fails.
qj_ensure_packages() {
    local missing=() pkg recommends=()
    local need_i386=0 need_arm64=0
    if [ "${1:-}" = --no-install-recommends ]; then
        recommends=(--no-install-recommends)
        shift
    fi
    for pkg in "$@"; do
        if [[ $pkg == *:i386 ]]; then need_i386=1; fi
        if [[ $pkg == *:arm64 ]]; then need_arm64=1; fi
        qj_package_installed "$pkg" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! qj_is_root; then
        qj_warn "missing packages (run as root to install them): ${missing[*]}"
        return 1
    fi
    if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        qj_say "adding the i386 architecture"
        dpkg --add-architecture i386 && QJ_APT_UPDATED=0
    fi
    if [ $need_arm64 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
        qj_say "adding the arm64 architecture"
        dpkg --add-architecture arm64 && QJ_APT_UPDATED=0
    fi
    if [ $QJ_APT_UPDATED -eq 0 ]; then
        qj_say "apt-get update"
        qj_apt_update || qj_warn "apt-get update failed; installing from the lists there are"
        QJ_APT_UPDATED=1
    fi
    qj_say "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-remove "${recommends[@]}" \
        "${missing[@]}" \
        >/dev/null || return 1
}
