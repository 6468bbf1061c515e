#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only what is missing.
# Safe to run again; does nothing when everything is present.
set -euo pipefail

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
for p in cmake make g++ python3 g++-mingw-w64-i686 xvfb googletest clang \
         libclang-rt-14-dev lld zlib1g-dev zip unzip locales xauth imagemagick x11-utils libdeflate-tools \
         p7zip-full hyperfine; do
  have "$p" || need_pkgs+=("$p")
done
wine_pkgs=()
for p in wine wine32:i386; do
  have "$p" || wine_pkgs+=("$p")
done

apt_update() {
  # A mirror caught mid-sync fails the update now and then; the lists it did
  # fetch are still used, and the installs below say what is really missing.
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup-deps: apt-get update failed (try $try of 3)"
    sleep $((try * 5))
  done
}

if ((${#need_pkgs[@]} + ${#wine_pkgs[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt_update
fi
if ((${#need_pkgs[@]})); then
  echo "setup-deps: installing ${need_pkgs[*]}"
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi
# Wine's 32-bit half comes from the i386 lists, which must match the amd64
# ones version for version; when a mirror has only part of them the install
# cannot be resolved. Everything is still built, and the Wine layers say
# that Wine cannot run and why.
if ((${#wine_pkgs[@]})); then
  echo "setup-deps: installing ${wine_pkgs[*]}"
  apt-get install -y -qq --no-install-recommends "${wine_pkgs[@]}" >/dev/null ||
    echo "setup-deps: WARNING: ${wine_pkgs[*]} could not be installed; the Wine layers will be skipped"
fi

# Wine takes its ANSI code page from the locale: ru_RU.UTF-8 gives 1251 (OEM 866).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
