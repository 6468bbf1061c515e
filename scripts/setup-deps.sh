#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, only what is missing.
# Safe to run again; does nothing when everything is present.
set -euo pipefail

source "$(dirname "$0")/wine-env.sh"

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The 64-bit Windows build runs under Debian's wine64 (its own loader, no
# 32-bit support needed); `wine` brings the helper commands (wineserver,
# regedit, ...). Both MinGW-w64 compilers build everything everywhere.
for p in cmake make g++ python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb \
         googletest clang libclang-rt-14-dev lld zlib1g-dev zip unzip locales xauth imagemagick \
         x11-utils libdeflate-tools p7zip-full hyperfine osslsigncode; do
  have "$p" || need_pkgs+=("$p")
done
# The 32-bit Wine only where the kernel starts 32-bit programs: elsewhere
# its loader cannot run, and installed it would only be in the way.
wine32_pkgs=()
if kernel_runs_i386; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  have wine32:i386 || wine32_pkgs+=(wine32:i386)
else
  echo "setup-deps: this kernel runs 64-bit programs only: the 32-bit Wine is left out"
fi

apt_update() {
  # A mirror caught mid-sync fails the update now and then; the lists it did
  # fetch are still used, and the installs below say what is really missing.
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup-deps: apt-get update failed (try $try of 3)"
    sleep $((try * 5))
  done
}

if ((${#need_pkgs[@]} + ${#wine32_pkgs[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt_update
fi
if ((${#need_pkgs[@]})); then
  echo "setup-deps: installing ${need_pkgs[*]}"
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi
# Wine's 32-bit half comes from the i386 lists, which must match the amd64
# ones version for version; when a mirror has only part of them the install
# cannot be resolved. The 64-bit build still runs every Wine layer; the
# 32-bit one is then built but not run, and the test run says why.
if ((${#wine32_pkgs[@]})); then
  echo "setup-deps: installing ${wine32_pkgs[*]}"
  apt-get install -y -qq --no-install-recommends "${wine32_pkgs[@]}" >/dev/null ||
    echo "setup-deps: WARNING: ${wine32_pkgs[*]} could not be installed; the 32-bit build will not be run"
fi

# Wine takes its ANSI code page from the locale: ru_RU.UTF-8 gives 1251 (OEM 866).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
