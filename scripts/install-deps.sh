#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and
# the fuzz targets need. Safe to run again: it installs only what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake g++ pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  qtkeychain-qt6-dev libssl-dev openssl ngircd xvfb xauth fonts-ipafont-gothic imagemagick desktop-file-utils
  # every script shown: CJK fall-backs and colour emoji; typing through fcitx5 or ibus
  fonts-noto-cjk fonts-noto-color-emoji fcitx5-frontend-qt6
  # a session bus for the desktop notification test
  dbus-daemon
  # IRCv3 servers, services and a bouncer for the end-to-end tests
  inspircd anope znc
)

# The clients the flood and DCC benchmarks compare with, only when asked for.
if [ "${1:-}" = "--bench" ]; then
  PACKAGES+=(irssi weechat-headless hexchat tmux python3 bc)
fi
# A window manager and its tools for screenshots as a desktop shows them.
if [ "${1:-}" = "--desktop" ]; then
  PACKAGES+=(openbox xdotool wmctrl python3)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
