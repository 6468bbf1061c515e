#!/usr/bin/env bash
# Tests of scripts/make-dist.sh with the installers of a Windows build:
# reproducible output, the volumes against Info-ZIP unzip and zipx, the
# installer's build identity, the texts, signing and the payloads it refuses.
#
# MAKE_DIST_TEST_BUILD selects the Windows build (default build/win64, else
# build/win32); ZIPX the zipx to verify with (default build/native/bin/zipx).
# What needs a tool or build that is absent is skipped, saying why.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
root=$PWD
failures=0
# ok, fail and check: the check lines of the end-to-end suites.
source "$root/tests/e2e/install_lib.sh"
skip() { echo "skip: $*"; }

build=${MAKE_DIST_TEST_BUILD:-}
if [ -z "$build" ]; then
  for b in build/win64 build/win32; do
    [ -f "$b/bin/setup_volumes.exe" ] && { build=$b; break; }
  done
fi
export ZIPX=${ZIPX:-$root/build/native/bin/zipx}
if [ -z "$build" ] || [ ! -f "$build/bin/setup.exe" ] || [ ! -f "$build/bin/setup_volumes.exe" ]; then
  skip "make-dist: no Windows build with setup.exe and setup_volumes.exe (build the win64 preset)"
  exit 0
fi
if [ ! -x "$ZIPX" ]; then
  skip "make-dist: no zipx at $ZIPX to verify with (cmake --build build/native --target zipx)"
  exit 0
fi
bin=$build/bin
password=$(sed -n 's/^SETUP_ARCHIVE_PASSWORD:[A-Z]*=//p' "$build/CMakeCache.txt")
t=$(mktemp -d "${TMPDIR:-/tmp}/make-dist-test.XXXXXX")
trap 'rm -rf "$t"' EXIT

dist() {  # dist OUT ARGS...: make-dist.sh of $t/payload, its output in $t/log
  local out=$1
  shift
  scripts/make-dist.sh "$t/payload" "$out" --password-from "$build" "$@" >"$t/log" 2>&1
}
# Neither OUT nor a temporary folder beside it may be left.
no_trace() {  # no_trace OUT
  [ ! -e "$1" ] && [ -z "$(find "$(dirname "$1")" -maxdepth 1 -name ".$(basename "$1").*")" ]
}

mkdir -p "$t/payload/MENTORIX/lessons" "$t/payload/SYSTEM"
printf 'Mentorix runtime\r\n' >"$t/payload/SYSTEM/mtxrt32.dll"
seq 1 12000 >"$t/payload/MENTORIX/lessons/numbers.txt"
head -c 40000 /dev/urandom >"$t/payload/Lectorn.exe"
printf 'Справка\r\n' >"$t/payload/MENTORIX/Справка.txt"
: >"$t/payload/empty.ini"
printf '\xef\xbb\xbfКомплекс Mentorix\r\n' >"$t/readme.txt"
printf 'Лицензия\r\n' >"$t/license.txt"

echo "== two runs give the same bytes; the volumes extract with unzip and zipx"
export SOURCE_DATE_EPOCH=1300000000
args=(--setup "$bin/setup_volumes.exe" --volume-size 0.1 --readme "$t/readme.txt"
  --license "$t/license.txt")
if dist "$t/one" "${args[@]}" && cp "$t/log" "$t/one.log" && dist "$t/two" "${args[@]}"; then
  check "byte-identical output" diff -r "$t/one" "$t/two"
  check "two volumes, as setup_volumes.exe reads" \
    test -f "$t/one/setup_volumes.dat2" -a ! -e "$t/one/setup_volumes.dat3"
  check "SHA256SUMS holds every other file" \
    test "$(cut -c67- "$t/one/SHA256SUMS" | tr '\n' ' ')" = \
    "license.txt readme.txt setup_volumes.dat setup_volumes.dat2 setup_volumes.exe setup_volumes.ini "
  check "SHA256SUMS checks with sha256sum" sh -c "cd '$t/one' && sha256sum --quiet -c SHA256SUMS"
  check "no temporary folder left beside OUT" test "$(find "$t" -maxdepth 1 -name '.*' | wc -l)" = 0
  printf 'Комплекс Mentorix\r\n' | iconv -f UTF-8 -t CP1251 >"$t/want"
  check "a readme with a byte order mark arrives in Windows-1251, without it" \
    cmp "$t/one/readme.txt" "$t/want"
  mkdir -p "$t/x"
  for v in "$t/one"/setup_volumes.dat*; do
    if command -v unzip >/dev/null; then
      check "unzip -t -P: $(basename "$v")" unzip -qq -t -P "$password" "$v"
    fi
    "$ZIPX" extract -P "$password" -d "$t/x" "$v" >/dev/null 2>&1 || fail "zipx extract: $(basename "$v")"
  done
  command -v unzip >/dev/null || skip "unzip -t: Info-ZIP unzip is missing"
  check "zipx extracts the payload whole from both volumes" diff -r "$t/payload" "$t/x"
else
  fail "make-dist: $(cat "$t/log")"
fi
unset SOURCE_DATE_EPOCH

echo "== refused, and neither OUT nor a half folder is left"
# Copies of setup.exe: other.exe with the identity of a build with another
# password (one digit of the hash changed), noid.exe without an identity
# (the resource renamed).
python3 - "$bin/setup.exe" "$t" <<'EOF'
import re, sys
image = open(sys.argv[1], "rb").read()
m = re.search(rb"password-sha256=([0-9a-f])", image)
flip = b"1" if m[1] == b"0" else b"0"
open(sys.argv[2] + "/other.exe", "wb").write(image[:m.start(1)] + flip + image[m.end(1):])
name = "SETUP_IDENTITY".encode("utf-16-le")
assert image.count(name) == 1
open(sys.argv[2] + "/noid.exe", "wb").write(image.replace(name, "SETUP_IDENTITX".encode("utf-16-le")))
EOF
printf 'Лицензия ✓\r\n' >"$t/check.txt"
refused() {  # refused WHAT MESSAGE [VAR=VALUE ...] -- ARGS...: make-dist fails, naming MESSAGE
  local what=$1 message=$2 out=$t/refused
  shift 2
  local envs=()
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  if env "${envs[@]}" scripts/make-dist.sh "$t/payload" "$out" --password-from "$build" "$@" \
    >"$t/log" 2>&1; then
    fail "$what: made a distribution"
  elif ! grep -qF -- "$message" "$t/log"; then
    fail "$what: no '$message' in: $(cat "$t/log")"
  elif ! no_trace "$out"; then
    fail "$what: left $(ls -d "$out" "$t"/.refused.* 2>/dev/null)"
  else
    ok "$what"
  fi
  rm -rf "$out" "$t"/.refused.*
}
refused "an installer of another build" "built with another archive password" \
  -- --setup "$t/other.exe"
refused "an exe without build identity" "carries no build identity" -- --setup "$t/noid.exe"
refused "--volumes the installer does not read" "setup_volumes.exe reads 2 volume(s)" \
  -- --setup "$bin/setup_volumes.exe" --volumes 1
refused "a licence character Windows-1251 lacks" "U+2713 CHECK MARK" -- --license "$t/check.txt"
refused "a failed verification" "zipx cannot read it" ZIPX=/bin/false --
mkdir "$t/payload/docs"
: >"$t/payload/docs/CON .txt"
refused "a device name with a blank before the extension" "docs/CON .txt: a name is reserved" --
rm -r "$t/payload/docs"
if truncate -s 4294967297 "$t/payload/huge.bin" 2>/dev/null; then
  refused "a file over 4 GiB" "huge.bin: 4294967297 bytes; a file of 4 GiB or more needs ZIP64" --
  rm "$t/payload/huge.bin"
else
  skip "a file over 4 GiB: no sparse file here"
fi

echo "== --sign: Authenticode by osslsigncode"
if ! command -v osslsigncode >/dev/null || ! command -v openssl >/dev/null; then
  skip "--sign: osslsigncode or openssl is missing"
else
  if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Make-dist Test" \
    -addext extendedKeyUsage=codeSigning -keyout "$t/key.pem" -out "$t/cert.pem" >/dev/null 2>&1 ||
    ! openssl pkcs12 -export -inkey "$t/key.pem" -in "$t/cert.pem" -out "$t/sign.pfx" \
      -passout pass:test-pfx >/dev/null 2>&1; then
    fail "openssl made no test certificate"
  fi
  if MAKE_DIST_PFX_PASSWORD=test-pfx MAKE_DIST_SIGN_CAFILE=$t/cert.pem dist "$t/signed" \
    --sign "$t/sign.pfx"; then
    check "the signature verifies" sh -c \
      "osslsigncode verify -CAfile '$t/cert.pem' -in '$t/signed/setup.exe' >/dev/null 2>&1"
    check "SHA256SUMS holds the signed setup.exe" \
      sh -c "cd '$t/signed' && sha256sum --quiet -c SHA256SUMS"
  else
    fail "make-dist --sign: $(cat "$t/log")"
  fi
  refused "a wrong certificate password" "signing setup.exe failed" \
    MAKE_DIST_PFX_PASSWORD=wrong -- --sign "$t/sign.pfx"
  refused "a signature that does not verify (no authority knows the certificate)" \
    "the signature of setup.exe does not verify" MAKE_DIST_PFX_PASSWORD=test-pfx \
    MAKE_DIST_SIGN_CAFILE= -- --sign "$t/sign.pfx"
fi

if [ "$failures" -ne 0 ]; then
  echo "make-dist tests: $failures failure(s)"
  exit 1
fi
echo "make-dist tests: all passed"
