#!/usr/bin/env bash
# Makes a distribution folder that the installer reads correctly:
#
#   scripts/make-dist.sh PAYLOAD_DIR OUT_DIR [--volume-size MB] [--arch win32|win64]
#                        [--password-from BUILD_DIR] [--volumes N] [--setup EXE]
#                        [--readme FILE] [--license FILE]
#
# PAYLOAD_DIR holds the files to install, laid out as they go below the
# install folder (a top-level SYSTEM folder goes to the Windows system
# folder). OUT_DIR must be new or empty. The script
#   - refuses a payload it cannot ship, naming each file: a name that is not
#     a valid Windows name or has no form in code page 866, a file larger than
#     the volume size, an empty folder, a link, names that differ only in case;
#   - packs the payload with Info-ZIP zip, encrypted with the password the
#     installer was built with (SETUP_ARCHIVE_PASSWORD in BUILD_DIR's CMake
#     cache; BUILD_DIR is build/ARCH, default build/win32: the 32-bit
#     installer runs on every Windows, 32- and 64-bit), without folder entries and with member
#     names in code page 866, into N volumes (default 1, as the shipped
#     product reads: the count is fixed in the product profile) of at most MB
#     megabytes each: SETUP.dat, SETUP.dat2, ... named after the installer,
#     each a complete archive of whole files;
#   - copies the installer (default BUILD_DIR/bin/setup.exe), readme.txt and
#     license.txt (converted to Windows-1251 when they are UTF-8) and writes a
#     settings file whose keys are all commented out, a template to edit;
#   - verifies the volumes with zipx (ZIPX, default build/native/bin/zipx):
#     each opens and extracts with the password, the last member of the last
#     volume is a file, names and sizes match the payload.
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

[ $# -ge 2 ] || usage
payload=$1 out=$2
shift 2
size=0 volumes=1 build=$root/build/win32 setup='' readme='' license=''
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
    *) usage ;;
  esac
  shift 2
done
setup=${setup:-$build/bin/setup.exe}
zipx=${ZIPX:-$root/build/native/bin/zipx}

[ -d "$payload" ] || die "no payload folder $payload"
[[ $size =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "--volume-size takes megabytes, e.g. 1.44: $size"
[[ $volumes =~ ^[1-9][0-9]*$ ]] || die "--volumes takes a count of 1 or more: $volumes"
[ -f "$setup" ] || die "no installer $setup (build the preset of --arch, or give --setup)"
[ -f "$build/CMakeCache.txt" ] || die "no CMake cache in $build for the archive password"
password=$(sed -n 's/^SETUP_ARCHIVE_PASSWORD:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $password =~ ^[0-9]{34}$ ]] || die "no 34-digit SETUP_ARCHIVE_PASSWORD in $build/CMakeCache.txt"
command -v zip >/dev/null || die "Info-ZIP zip is missing (apt-get install zip)"
[ -x "$zipx" ] || die "no zipx at $zipx to verify with (cmake --build build/native --target zipx)"
for text in "$readme" "$license"; do
  [ -z "$text" ] || [ -f "$text" ] || die "no file $text"
done
if [ -e "$out" ] && [ -n "$(ls -A "$out")" ]; then
  die "$out is not empty: volumes left from an earlier build would be shipped with the new ones"
fi
mkdir -p "$out"

exe=$(basename "$setup")
base=${exe%.*}
python3 "$root/scripts/make_dist.py" pack "$payload" "$out" "$base" "$volumes" "$size" "$password"
cp "$setup" "$out/$exe"

# The installer shows the texts in Windows-1251.
copy_text() {  # copy_text FILE NAME
  [ -n "$1" ] || { echo "make-dist: no $2 given: its button stays hidden"; return; }
  if LC_ALL=C grep -q '[^[:print:][:space:]]' "$1" && iconv -f UTF-8 -t UTF-8 "$1" >/dev/null 2>&1; then
    iconv -f UTF-8 -t CP1251 "$1" >"$out/$2" || die "$1: a character has no form in Windows-1251"
    echo "make-dist: $2 converted from UTF-8 to Windows-1251"
  else
    cp "$1" "$out/$2"
  fi
}
copy_text "$readme" readme.txt
copy_text "$license" license.txt

# Every key commented out: the file changes nothing until someone edits it.
iconv -f UTF-8 -t CP1251 >"$out/$base.ini" <<'EOF'
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
sed -i 's/$/\r/' "$out/$base.ini"

python3 "$root/scripts/make_dist.py" verify "$payload" "$out" "$base" "$volumes" "$size" \
  "$password" "$zipx"
echo "make-dist: distribution in $out"
