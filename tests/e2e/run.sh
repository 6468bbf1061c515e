#!/usr/bin/env bash
# End-to-end tests of the real setup.exe under Wine and Xvfb: the main window's
# texts and layout, the close confirmation, the text viewer, the missing
# archive message, a stop of the Install command and the component chooser.
# A small Win32 driver (driver.cpp) reads the windows and presses keys and
# buttons. Screenshots of each window go to build/screenshots/BUILD/.
#
# SETUP_WIN_BIN selects the folder of setup.exe (default build/win64/bin).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source "$root/tests/e2e/install_lib.sh"
source "$root/scripts/wine-env.sh"
e2e_setup e2e setup.exe setup_components.exe
rm -rf "$out"
mkdir -p "$out" "$shots"

wine_env_init "$root/build/wine-e2e" "$(exe_arch "$bin/setup.exe")" || exit 1
build_driver || exit 1
export LC_ALL=ru_RU.UTF-8

# A display of our own; without a window manager Wine draws the frames itself.
cleanup() { stop_display; }
trap cleanup EXIT
start_display

# ---------------------------------------------------------------- helpers

row() {  # row "what" AWK-CONDITION: a control line of drv.out (tab-separated) must satisfy it
  if awk -F'\t' "$2 {f=1} END {exit !f}" "$out/drv.out"; then ok "$1"; else
    fail "$1: no control with $2"
    sed 's/^/    | /' "$out/drv.out"
  fi
}
shot() { import -window root "$shots/$1.png" 2>/dev/null || fail "screenshot $1"; }
step() { drv "$@" || fail "driver $*: $(cat "$out/drv.out")"; }
start() {  # start DIST EXE
  (cd "$1" && timeout 300 "$WINE" "$2" >"$out/$(basename "$1").log" 2>&1 &)
}
tab=$'\t'
main='Mentorix Install - Программа установки'

# ---------------------------------------------------------------- distribution

dist=$out/dist
mkdir -p "$dist"
cp "$bin/setup.exe" "$dist/"
echo "archive" >"$dist/setup.dat"
touch -d '2011-03-05 12:00' "$dist/setup.dat"
printf 'Первая строка\r\nвторая строка\r\n\r\n- пункт один\r\n  продолжение\r\n* пункт два\r\n' | to1251 >"$dist/readme.txt"
printf 'Лицензионное соглашение\r\n' | to1251 >"$dist/license.txt"

echo "== main window"
start "$dist" setup.exe
if drv wait "$main" 30000; then
  sleep 1
  step dump "$main"
  expect "client area 632 x 248" "window${tab}${main}${tab}632${tab}248"
  expect "title" "${tab}20${tab}17${tab}594${tab}32${tab}1${tab}1${tab}Mentorix for Volmar"
  expect "title shadow" "${tab}22${tab}18${tab}594${tab}32${tab}1${tab}1${tab}Mentorix for Volmar"
  expect "subtitle" "${tab}20${tab}59${tab}605${tab}23${tab}1${tab}1${tab}Комплекс программ для преподавателя программирования"
  expect "version line with the archive date" "${tab}20${tab}96${tab}594${tab}19${tab}1${tab}1${tab}Версия 2.6 от 05.03.2011"
  expect "folder prompt" "${tab}20${tab}156${tab}"
  expect "folder prompt text" "Комплекс будет установлен в следующем каталоге:"
  row "folder field" '$1=="Edit" && $4==153 && $6==21'
  expect "folder field text" "${tab}1${tab}1${tab}C:\\Program Files\\Volmarix"
  expect "browse button" "${tab}542${tab}151${tab}75${tab}25${tab}1${tab}1${tab}Обзор..."
  expect "readme button" "${tab}15${tab}208${tab}178${tab}25${tab}1${tab}1${tab}Описание комплекса"
  expect "licence button" "${tab}207${tab}208${tab}178${tab}25${tab}1${tab}1${tab}Лицензионное соглашение"
  expect "install button" "${tab}424${tab}208${tab}89${tab}25${tab}1${tab}1${tab}Установка"
  expect "exit button" "${tab}528${tab}208${tab}89${tab}25${tab}1${tab}1${tab}Выход"
  # The folder field ends where the design puts it: 312 + 217.
  if awk -F'\t' '$1=="Edit" && $3+$5==529 {f=1} END {exit !f}' "$out/drv.out"; then
    ok "folder field keeps its right edge"
  else fail "folder field right edge"; fi
  shot main
  drv wait 'Mentorix for ZOLV' 2000 && ok "application title for the task bar" || fail "no window titled with the application title"

  echo "== F1 opens the viewer with the re-flowed readme"
  viewer='Описание комплекса [файл readme.txt]'
  step key "$main" 112
  if drv wait "$viewer" 10000; then
    sleep 1
    step dump "$viewer"
    expect "re-flowed readme" 'Первая строка вторая строка\r\n\r\n- пункт один продолжение\r\n* пункт два'
    expect "viewer OK button" "${tab}75${tab}25${tab}1${tab}1${tab}OK"
    shot viewer
    step key "$viewer" 27
    drv gone "$viewer" 10000 && ok "Esc closes the viewer" || fail "viewer still open after Esc"
  else fail "F1 showed no viewer"; fi

  echo "== Esc asks for confirmation; No keeps the window"
  step key "$main" 27
  if drv wait 'Подтверждение' 10000; then
    sleep 1
    step dump 'Подтверждение'
    expect "confirmation text" 'Вы хотите выйти из программы,\r\nне выполнив установку комплекса?'
    expect "Yes button" "${tab}Да"
    expect "No button" "${tab}Нет"
    shot confirmation
    step click 'Подтверждение' 'Нет'
    drv gone 'Подтверждение' 10000 || fail "confirmation still open"
    sleep 1
    drv wait "$main" 2000 && ok "No keeps the main window" || fail "main window gone after No"
  else fail "Esc showed no confirmation"; fi

  echo "== Tab moves the focus, the default frame follows it, Enter presses the focused button"
  step focus "$main"
  expect "default frame on Установка at start" "default${tab}Установка"
  step key "$main" 9
  sleep 1
  step focus "$main"
  expect "Tab moves the focus to Выход" "focus${tab}Выход"
  expect "the default frame follows the focus" "default${tab}Выход"
  if grep -qF "default${tab}Установка" "$out/drv.out"; then fail "Установка keeps its frame"; else ok "one default frame"; fi
  step key "$main" 13
  if drv wait 'Подтверждение' 10000; then
    ok "Enter presses the focused Выход"
    step click 'Подтверждение' 'Нет'
    drv gone 'Подтверждение' 10000 || fail "confirmation still open"
  else fail "Enter on Выход showed no confirmation"; fi
  sleep 1
  step key "$main" 9
  sleep 1
  step focus "$main"
  expect "Tab wraps to the folder field" "focus${tab}C:\\Program Files\\Volmarix"
  expect "the frame is back on Установка" "default${tab}Установка"

  echo "== Alt+F1 opens the viewer, Alt+F4 asks to leave"
  step altkey "$main" 112
  if drv wait "$viewer" 10000; then
    ok "Alt+F1 opens the viewer"
    step key "$viewer" 27
    drv gone "$viewer" 10000 || fail "viewer still open after Esc"
  else fail "Alt+F1 showed no viewer"; fi
  sleep 1
  step altkey "$main" 115
  if drv wait 'Подтверждение' 10000; then
    ok "Alt+F4 asks for confirmation"
    step click 'Подтверждение' 'Нет'
    drv gone 'Подтверждение' 10000 || fail "confirmation still open"
  else fail "Alt+F4 showed no confirmation"; fi
  sleep 1

  echo "== an Install stop: a folder that cannot be created; Enter in the field presses Установка"
  # C:\windows\win.ini is a file, so no folder can be made below it.
  step dump "$main"
  edit_id=$(awk -F'\t' '$1=="Edit" {print $2}' "$out/drv.out")
  [ -n "$edit_id" ] || fail "no folder field"
  step settext "$main" "$edit_id" 'C:\windows\win.ini\sub'
  step key "$main" 13
  if drv wait 'Ошибка' 10000; then
    step dump 'Ошибка'
    expect "cannot create message" 'Невозможно создать каталог "C:\windows\win.ini\sub".\r\nВыберите другой каталог для установки комплекса.'
    shot install-stop
    step click 'Ошибка' 'OK'
    drv gone 'Ошибка' 10000 || fail "error box still open"
    drv wait "$main" 2000 && ok "main window back after the stop" || fail "main window gone"
  else fail "Install showed no error"; fi

  echo "== the folder chooser"
  step click "$main" 'Обзор...'
  if drv wait 'Выбор каталога' 10000; then
    sleep 1
    step dump 'Выбор каталога'
    expect "typed name caption" "${tab}Имя каталога:"
    expect "folder tree caption" "${tab}Каталоги:"
    expect "drives caption" "${tab}Диски:"
    expect "network button" "${tab}Сеть..."
    name_id=$(awk -F'\t' '$1=="Edit" {print $2}' "$out/drv.out")
    shot folder-chooser
    step settext 'Выбор каталога' "$name_id" 'C:\e2e-new-folder'
    step click 'Выбор каталога' 'OK'
    if drv wait 'Подтверждение' 10000; then
      step dump 'Подтверждение'
      expect "create question" 'Указанный каталог не существует. Создать его?'
      step click 'Подтверждение' 'Да'
      drv gone 'Выбор каталога' 10000 || fail "chooser still open after Yes"
      step dump "$main"
      expect "chosen folder in the field" "${tab}C:\e2e-new-folder"
      [ -e "$WINEPREFIX/drive_c/e2e-new-folder" ] && fail "the chooser created the folder" || ok "nothing created"
    else fail "no question for a missing folder"; fi
  else fail "Обзор showed no folder chooser"; fi

  echo "== closing with Yes ends the program"
  step close "$main"
  if drv wait 'Подтверждение' 10000; then
    step click 'Подтверждение' 'Да'
    drv gone "$main" 10000 && ok "Yes closes the main window" || fail "main window still open after Yes"
  else fail "close box showed no confirmation"; fi
else
  fail "main window did not appear"
  cat "$out/dist.log"
fi

echo "== missing archive"
nodat=$out/nodat
mkdir -p "$nodat"
cp "$bin/setup.exe" "$nodat/"
start "$nodat" setup.exe
if drv wait 'Ошибка' 30000; then
  sleep 1
  step dump 'Ошибка'
  expect "missing volume named" 'Не найден файл setup.dat.\r\nВыполнить установку комплекса Mentorix невозможно.'
  shot missing-archive
  step click 'Ошибка' 'OK'
  drv gone 'Ошибка' 10000 || fail "error box still open"
  if drv wait "$main" 2000; then fail "main window appeared after the failed check"; else ok "no main window"; fi
else fail "no error box for the missing archive"; fi

echo "== AutoRun starts the Install command once"
auto=$out/autorun
mkdir -p "$auto"
cp "$bin/setup.exe" "$auto/"
echo "archive" >"$auto/setup.dat"
printf '[Main]\r\nAutoRun=1\r\nInstallDir=C:\\windows\\win.ini\\auto\r\n' >"$auto/setup.ini"
start "$auto" setup.exe
if drv wait 'Ошибка' 30000; then
  step dump 'Ошибка'
  expect "AutoRun reached the folder check" 'Невозможно создать каталог "C:\windows\win.ini\auto".'
  step click 'Ошибка' 'OK'
  drv gone 'Ошибка' 10000 || fail "error box still open"
  sleep 2
  if drv wait 'Ошибка' 500; then fail "AutoRun ran the command again"; else ok "AutoRun ran once"; fi
  step close "$main"
  drv wait 'Подтверждение' 10000 && step click 'Подтверждение' 'Да'
  drv gone "$main" 10000 || fail "AutoRun main window still open"
else fail "AutoRun did not start the Install command"; fi

echo "== component chooser"
comp=$out/components
mkdir -p "$comp"
cp "$bin/setup_components.exe" "$comp/"
echo "archive" >"$comp/setup_components.dat"
printf '[Main]\r\nInstallDir=C:\\e2e-target\r\n[ExcludeDir]\r\n1=samples\r\n' >"$comp/setup_components.ini"
# The host system this variant needs in the install folder.
mkdir -p "$WINEPREFIX/drive_c/e2e-target"
touch "$WINEPREFIX/drive_c/e2e-target/results.vlm"
start "$comp" setup_components.exe
if drv wait "$main" 30000; then
  sleep 1
  step dump "$main"
  expect "preset folder from the settings file" "${tab}C:\\e2e-target"
  expect "no readme: description button hidden" "${tab}15${tab}208${tab}178${tab}25${tab}0${tab}"
  step click "$main" 'Установка'
  if drv wait 'Выбор компонентов' 10000; then
    sleep 1
    step dump 'Выбор компонентов'
    row "chooser OK" '$1=="Button" && $3==180 && $5==75 && $6==25 && $9=="OK"'
    row "chooser cancel" '$1=="Button" && $3==268 && $5==75 && $6==25 && $9=="Отмена"'
    shot chooser
    step key 'Выбор компонентов' 27
    drv gone 'Выбор компонентов' 10000 && ok "Esc cancels the chooser" || fail "chooser still open after Esc"
  else fail "Install showed no chooser"; fi
  step close "$main"
  drv wait 'Подтверждение' 10000 && step click 'Подтверждение' 'Да'
  drv gone "$main" 10000 || fail "components main window still open"
else fail "components main window did not appear"; fi

echo "== installation runs (tests/e2e/run_install.sh)"
cleanup
SETUP_WIN_BIN=$bin "$root/tests/e2e/run_install.sh" || failures=$((failures + 1))

echo "== runs with switches (tests/e2e/run_unattended.sh)"
SETUP_WIN_BIN=$bin "$root/tests/e2e/run_unattended.sh" || failures=$((failures + 1))

echo "== runs cut off by End task (tests/e2e/run_cut.sh)"
SETUP_WIN_BIN=$bin "$root/tests/e2e/run_cut.sh" || failures=$((failures + 1))

echo "== DLL planting (tests/e2e/dll_planting.sh)"
SETUP_WIN_BIN=$bin "$root/tests/e2e/dll_planting.sh" || failures=$((failures + 1))

echo "== screenshots in $shots"
if [ "$failures" -ne 0 ]; then
  echo "e2e: $failures failure(s)"
  exit 1
fi
echo "e2e: all passed"
