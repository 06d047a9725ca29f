#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, skipping those
# already present. Works as root or through sudo; safe to run any number of times.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
    qt6-qpa-plugins
    libxcb1-dev
    libssl-dev # the digests that check a download against its checksum
    # sanitizer builds and fuzzing (make test-asan, test-tsan, fuzz)
    clang libclang-rt-dev llvm # llvm: the symbolizer that names the lines in a report
    # what Qt's own source needs to build instrumented for ThreadSanitizer (make test-tsan)
    libglib2.0-dev libpcre2-dev libdouble-conversion-dev libb2-dev libzstd-dev libicu-dev
    fonts-noto-cjk # Japanese and Chinese texts
    # tests: real servers and tools
    xvfb xauth x11-utils nginx-light openssl python3 curl
    chromium firefox-esr
    # installing and packaging: the desktop's validators, the manual page reader, and what CPack
    # needs to declare a Debian package's dependencies from its linked libraries
    desktop-file-utils appstream man-db dpkg-dev file
    dbus-daemon # a private session bus with stand-in desktop services
    openbox xdotool x11-utils # a real window manager for the frameless window, driven by the pointer
    trayer # a system tray on the private display, for the tray icon
    weston qt6-wayland # a headless Wayland compositor and Qt's Wayland platform
    qt6-translations-l10n # Qt's own texts (shortcut names, standard buttons, file dialog) per language
    # benchmarks: the peers the program is measured against
    aria2 axel
    time
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "Missing packages: ${missing[*]}. Run as root or install sudo." >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another installation may hold the package lock for a while; wait for it instead of failing.
apt_options=(-o DPkg::Lock::Timeout=900)
"${sudo[@]}" apt-get "${apt_options[@]}" update -qq
"${sudo[@]}" apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "${missing[@]}"
