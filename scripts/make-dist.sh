#!/usr/bin/env bash
# Makes a distribution folder that the installer reads correctly:
#
#   scripts/make-dist.sh PAYLOAD_DIR OUT_DIR [--volume-size MB] [--arch win32|win64]
#                        [--password-from BUILD_DIR] [--volumes N] [--setup EXE]
#                        [--readme FILE] [--license FILE] [--sign PFX]
#
# PAYLOAD_DIR holds the files to install, laid out as they go below the
# install folder (a top-level SYSTEM folder goes to the Windows system
# folder). OUT_DIR must be new or empty. The script
#   - reads the build identity of the installer (default BUILD_DIR/bin/setup.exe;
#     BUILD_DIR is build/ARCH, default build/win32: the 32-bit installer runs
#     on every Windows, 32- and 64-bit): the hash of its archive password,
#     which must be that of SETUP_ARCHIVE_PASSWORD in BUILD_DIR's CMake cache,
#     and the number of volumes its product reads, which --volumes, when given,
#     must repeat;
#   - refuses a payload it cannot ship, naming each file: a name that is not
#     a valid Windows name or has no form in code page 866, a file larger than
#     the volume size or of 4 GiB or more, an empty folder, a link, names that
#     differ only in case;
#   - packs the payload itself (scripts/make_dist.py: Deflate and traditional
#     encryption with that password, reproducibly under SOURCE_DATE_EPOCH),
#     without folder entries and with member names in code page 866, into as
#     many volumes as the installer reads, of at most MB megabytes each:
#     SETUP.dat, SETUP.dat2, ... named after the installer, each a complete
#     archive of whole files;
#   - copies the installer (signed with Authenticode by osslsigncode with
#     --sign, the PFX password in MAKE_DIST_PFX_PASSWORD, and the signature
#     verified), readme.txt and license.txt (converted to Windows-1251 when
#     they are UTF-8) and writes a settings file whose keys are all commented
#     out, a template to edit;
#   - verifies the volumes with zipx (ZIPX, default build/native/bin/zipx):
#     each opens and extracts with the password, the last member of the last
#     volume is a file, names and sizes match the payload;
#   - lists the SHA-256 of every file in SHA256SUMS.
# All of it happens in a temporary folder beside OUT_DIR, renamed to OUT_DIR
# only when everything succeeded: a failed run leaves OUT_DIR as it was.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '4,6p' "$0" | sed 's/^# *//' >&2
  exit 2
}
die() {
  echo "make-dist: $*" >&2
  exit 1
}
make_dist_py() {
  python3 "$root/scripts/make_dist.py" "$@"
}

[ $# -ge 2 ] || usage
payload=$1 out=${2%/}
shift 2
size=0 volumes='' build=$root/build/win32 setup='' readme='' license='' pfx=''
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --volume-size) size=$2 ;;
    --arch)
      [[ $2 =~ ^win(32|64)$ ]] || die "--arch takes win32 or win64: $2"
      build=$root/build/$2
      ;;
    --password-from) build=$2 ;;
    --volumes) volumes=$2 ;;
    --setup) setup=$2 ;;
    --readme) readme=$2 ;;
    --license) license=$2 ;;
    --sign) pfx=$2 ;;
    *) usage ;;
  esac
  shift 2
done
setup=${setup:-$build/bin/setup.exe}
zipx=${ZIPX:-$root/build/native/bin/zipx}

[ -d "$payload" ] || die "no payload folder $payload"
[ -n "$out" ] || usage
[[ $size =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "--volume-size takes megabytes, e.g. 1.44: $size"
[[ $volumes =~ ^([1-9][0-9]*)?$ ]] || die "--volumes takes a count of 1 or more: $volumes"
[ -f "$setup" ] || die "no installer $setup (build the preset of --arch, or give --setup)"
[ -f "$build/CMakeCache.txt" ] || die "no CMake cache in $build for the archive password"
password=$(sed -n 's/^SETUP_ARCHIVE_PASSWORD:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $password =~ ^[0-9]{34}$ ]] || die "no 34-digit SETUP_ARCHIVE_PASSWORD in $build/CMakeCache.txt"
[ -x "$zipx" ] || die "no zipx at $zipx to verify with (cmake --build build/native --target zipx)"
for text in "$readme" "$license"; do
  [ -z "$text" ] || [ -f "$text" ] || die "no file $text"
done
if [ -n "$pfx" ]; then
  [ -f "$pfx" ] || die "no certificate file $pfx for --sign"
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (apt-get install osslsigncode)"
  [ -n "${MAKE_DIST_PFX_PASSWORD+set}" ] ||
    die "--sign reads the password of $pfx from MAKE_DIST_PFX_PASSWORD (set it empty for none)"
fi
if [ -e "$out" ] || [ -L "$out" ]; then
  if [ -L "$out" ] || [ ! -d "$out" ]; then die "$out is not a folder"; fi
  [ -z "$(ls -A "$out")" ] ||
    die "$out is not empty: volumes left from an earlier build would be shipped with the new ones"
fi

# The installer decides how many volumes it reads and with which password:
# both come from its build identity.
exe=$(basename "$setup")
base=${exe%.*}
reads=$(make_dist_py identity "$setup" "$password" "$build") || exit 1
if [ -n "$volumes" ] && [ "$volumes" != "$reads" ]; then
  die "--volumes $volumes, but $exe reads $reads volume(s): the count is fixed in its product profile"
fi
volumes=$reads

mkdir -p "$(dirname "$out")"
tmp=$(mktemp -d "$(dirname "$out")/.$(basename "$out").make-dist.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
chmod "$(printf '%o' $((0777 & ~0$(umask))))" "$tmp"

if [ -n "$pfx" ]; then
  # A signing time of SOURCE_DATE_EPOCH keeps a signed distribution reproducible.
  sign_time=()
  [ -z "${SOURCE_DATE_EPOCH:-}" ] || sign_time=(-time "$SOURCE_DATE_EPOCH")
  log=$(printf '%s' "$MAKE_DIST_PFX_PASSWORD" |
    osslsigncode sign -pkcs12 "$pfx" -readpass - -h sha256 -n "Mentorix for Volmar Setup" \
      "${sign_time[@]}" -in "$setup" -out "$tmp/$exe" 2>&1) || die "signing $exe failed: $log"
  ca=()
  [ -z "${MAKE_DIST_SIGN_CAFILE:-}" ] || ca=(-CAfile "$MAKE_DIST_SIGN_CAFILE")
  log=$(osslsigncode verify "${ca[@]}" -in "$tmp/$exe" 2>&1) ||
    die "the signature of $exe does not verify: $log"
  echo "make-dist: $exe signed, signature verified"
  # The signature is appended after the sections: the identity reads as before.
  [ "$(make_dist_py identity "$tmp/$exe" "$password" "$build")" = "$volumes" ] ||
    die "the signed $exe lost its build identity"
else
  cp "$setup" "$tmp/$exe"
fi

make_dist_py pack "$payload" "$tmp" "$base" "$volumes" "$size" "$password"

# The installer shows the texts in Windows-1251.
copy_text() {  # copy_text FILE NAME
  [ -n "$1" ] || { echo "make-dist: no $2 given: its button stays hidden"; return; }
  make_dist_py text "$1" "$tmp/$2"
}
copy_text "$readme" readme.txt
copy_text "$license" license.txt

# Every key commented out: the file changes nothing until someone edits it.
iconv -f UTF-8 -t CP1251 >"$tmp/$base.ini" <<'EOF'
; Файл настроек программы установки. Уберите ";" перед ключами, которые
; должны действовать. Параметры командной строки (/DIR, /NOICONS, /NORUN,
; /COMPONENTS) важнее этого файла; их список выводит параметр /?.

[Main]
; Каталог установки; %PROGRAMFILESDIR% заменяется каталогом Program Files.
;InstallDir=%PROGRAMFILESDIR%\Volmarix
; 1 - начать установку сразу, без нажатия кнопки "Установка".
;AutoRun=0
; 0 - не показывать окно выбора компонентов.
;SelectDialog=1
; 0 - не показывать итоговое сообщение, если установка прошла без ошибок.
;FinalMessage=1

[Links]
; 0 - не создавать ярлыки в меню "Пуск".
;StartMenu=1
; 0 - не создавать ярлыки на рабочем столе.
;Desktop=1

[Setup]
; 0 - не запускать программу настройки после установки.
;Run=1
; Ее параметры; %INSTALLDIR% и %STARTDIR% заменяются каталогами.
;Params=

[ExcludeDir]
; Папки верхнего уровня архива, которые не нужно устанавливать (ключи 1-20 подряд).
;1=SAMPLES
EOF
sed -i 's/$/\r/' "$tmp/$base.ini"

make_dist_py verify "$payload" "$tmp" "$base" "$volumes" "$size" "$password" "$zipx"
make_dist_py sums "$tmp"
mv -T "$tmp" "$out"
echo "make-dist: distribution in $out"
