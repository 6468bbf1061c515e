#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only what is missing.
# Safe to run again; does nothing when everything is present.
set -euo pipefail

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_updated=0
fi
for p in cmake make g++ python3 g++-mingw-w64-i686 wine wine32:i386 xvfb googletest clang \
         libclang-rt-14-dev lld zlib1g-dev zip unzip locales xauth imagemagick x11-utils libdeflate-tools \
         p7zip-full hyperfine; do
  have "$p" || need_pkgs+=("$p")
done
if ((${#need_pkgs[@]})); then
  echo "setup-deps: installing ${need_pkgs[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: ru_RU.UTF-8 gives 1251 (OEM 866).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
