#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing TopPeek need.
# Does nothing when every package is already present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgmime-3.0-dev libgumbo-dev libgtest-dev libgmock-dev libssl-dev libcurl4-openssl-dev
  libc-ares-dev
  fonts-dejavu-core xauth xvfb xdotool
  dovecot-core dovecot-pop3d mailutils-pop3d python3 openssl dnsmasq-base
  clang-14 libclang-rt-14-dev
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus libsecret-tools
  librsvg2-bin qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  debhelper dpkg-dev fakeroot lintian appstream desktop-file-utils man-db
  libgsasl-dev qt6-networkauth-dev python3-authlib python3-flask chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
