#!/usr/bin/env bash
# End-to-end tests of installation runs: the real setup.exe under Wine and
# Xvfb, each case in a fresh distribution folder and a fresh install folder.
# Results are checked on disk, in the Wine registry, in the .lnk files (read
# back through IShellLinkA) and in the install log's bytes; the GUI driver
# reads and answers the message boxes. Screenshots go to build/screenshots/BUILD/.
#
# SETUP_WIN_BIN selects the folder of setup.exe (default build/win64/bin).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source "$root/tests/e2e/install_lib.sh"
source "$root/scripts/wine-env.sh"
e2e_setup e2e-install setup.exe
begin_install_tests "$root/build/wine-e2e-install" || exit 1

reg_value() {  # the default value of a key under HKEY_CLASSES_ROOT
  timeout 60 "$WINE" reg query "HKCR\\$1" /ve >"$out/reg.out" 2>&1
  grep -a 'REG_SZ' "$out/reg.out" | LC_ALL=C sed 's/.*REG_SZ[[:space:]]*//' | tr -d '\r'
}

user=$(whoami)
programs="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
group="$programs\\Mentorix for Volmar"
sysdir='C:\windows\system32'
header='Удаление Mentorix for ZOLV|Удалить комплекс Mentorix и связанные с ним компоненты?|Комплекс Mentorix полностью удален.|Комплекс Mentorix удален, за исключением следующих файлов:|'
success='Установка комплекса Mentorix успешно завершена.\r\nЯрлыки комплекса Mentorix помещены в группу "Mentorix for Volmar" раздела "Программы" меню "Пуск".'
tail_text='Из-за указанных проблем комплекс Mentorix может работать не вполне корректно.\r\nРекомендуется перезагрузить компьютер и повторно выполнить установку комплекса Mentorix.'

rm -f "$(unix_path "$sysdir\\sysvanta.exe")" "$(unix_path "$sysdir\\mtxrt32.dll")"
rm -rf "$(unix_path "$group")" "$(unix_path 'C:\e2e')"  # fresh install folders
make_payload "$out/payload"
chmod 444 "$out/payload/MENTORIX/version.txt"  # stored with the read-only attribute

# Runs one installation: a fresh distribution folder with settings, then
# waits for a box with the given caption (empty: for the end of the program).
install() {  # install NAME INSTALLDIR EXTRA-SETTINGS BOX-CAPTION
  local name=$1 dir=$2 extra=$3 box=$4
  make_dist "$out/$name" "$out/payload" "[Main]\r\nAutoRun=1\r\nInstallDir=$dir\r\n$extra" || return 1
  start_setup "$out/$name" "$name"
  if [ -z "$box" ]; then
    wait_setup_gone 120
    return
  fi
  drv wait "$box" 120000 || { cat "$out/$name.log"; return 1; }
  sleep 1
  drv dump "$box"
}

log_bytes() {  # the expected log: header, then the given lines, CP1251, CR LF
  { printf '%s\r\n' "$header"; for line in "$@"; do printf '%s\r\n' "$line"; done; } | to1251
}


placed() {  # the paths of the payload as the log lists them, for install folder $1
  local d=$1
  printf '%s\n' "$d\\MENTORIX\\a" "$d\\Variomat.ini" "$d\\Lectorn.exe" "$d\\Variomat.exe" \
    "$d\\MentorixHelp.chm" "$d\\Lectorn.ini" "$d\\MENTORIX\\lessons\\basics\\lesson1.txt" \
    "$d\\MENTORIX\\lessons\\basics\\lesson2.txt" "$d\\MENTORIX\\lessons\\advanced\\lesson10.txt" \
    "$d\\MENTORIX\\version.txt"
}

echo "== clean install with the default settings"
dir='C:\e2e\clean'
target=$(unix_path "$dir")
if install clean "$dir" "" 'Информация'; then
  expect "two-line success report" "$success"
  shot "$shots/install-final-report.png"
  drv bars
  check "copy window hidden behind the report" test ! -s "$out/drv.out"
  drv click 'Информация' 'OK'
  check "setup.exe ends after the report" wait_setup_gone 60
  check "file contents" cmp -s "$out/payload/Variomat.exe" "$target/Variomat.exe"
  check "nested folders" cmp -s "$out/payload/MENTORIX/lessons/advanced/lesson10.txt" \
    "$target/MENTORIX/lessons/advanced/lesson10.txt"
  check "member dates kept" test "$(date -r "$target/Lectorn.exe" '+%Y-%m-%d %H:%M')" = "2011-03-05 12:00"
  check "read-only attribute kept" test "$(stat -c %A "$target/MENTORIX/version.txt")" = "-r--r--r--"
  check "system member in the system folder" test -f "$(unix_path "$sysdir\\mtxrt32.dll")"
  check "no staging folder left" test ! -e "$target/TEMP"
  mapfile -t lines < <(placed "$dir")
  log_bytes "${lines[@]}" "$group\\ZOLV Lectorn.lnk" "$group\\VX Variomat.lnk" \
    "$group\\Mentorix Info.lnk" >"$out/clean.expected.log"
  check "install log bytes" cmp "$out/clean.expected.log" "$target/UNINST/mtxvlm.log"
  check ".vlmgroup key" test "$(reg_value .vlmgroup)" = "vlmgroup"
  check "vlmgroup description" test "$(reg_value vlmgroup)" = "Group file for Lectorn"
  check "vlmgroup icon" test "$(reg_value 'vlmgroup\DefaultIcon')" = "$dir\\Lectorn.exe,2"
  check "vlmgroup verb" test "$(reg_value 'vlmgroup\Shell')" = "Open"
  check "vlmgroup command" test "$(reg_value 'vlmgroup\Shell\Open\command')" = "\"$dir\\Lectorn.exe\" \"%1\""
  for ext in vmv var extv vmt; do
    check "$ext command" test "$(reg_value "$ext\\Shell\\Open\\command")" = "\"$dir\\Variomat.exe\" \"%1\""
  done
  check "vmt icon" test "$(reg_value 'vmt\DefaultIcon')" = "$dir\\Variomat.exe,4"
  link=$(tools lnk "$group\\ZOLV Lectorn.lnk")
  check "link read back: target, arguments, folder" test "$link" = "$dir\\Lectorn.exe		$dir"
  check "no uninstall shortcut without sysvanta.exe" test ! -e "$target/UNINST/MentorixUninstall.lnk"
else fail "clean install: no final report"; fi

echo "== second install into the same folder, uninstaller present"
printf 'user settings\r\n' >"$target/Lectorn.ini"
printf 'uninstaller\r\n' >"$(unix_path "$sysdir\\sysvanta.exe")"
if install again "$dir" "" 'Информация'; then
  expect "success report" "$success"
  drv click 'Информация' 'OK'
  wait_setup_gone 60
  check "kept file keeps its content" test "$(tr -d '\r' <"$target/Lectorn.ini")" = "user settings"
  log_bytes "${lines[@]}" "$group\\ZOLV Lectorn.lnk" "$group\\VX Variomat.lnk" \
    "$group\\Mentorix Info.lnk" "$dir\\UNINST\\MentorixUninstall.lnk" \
    "$group\\Mentorix Uninstall.lnk" >"$out/again.expected.log"
  check "log keeps its header and adds only new paths" cmp "$out/again.expected.log" "$target/UNINST/mtxvlm.log"
  link=$(tools lnk "$dir\\UNINST\\MentorixUninstall.lnk")
  check "uninstall shortcut read back" test "$link" = "$sysdir\\sysvanta.exe	\"$dir\\UNINST\\mtxvlm.log\"	$sysdir"
  check "uninstall shortcut in the group" test -f "$(unix_path "$group\\Mentorix Uninstall.lnk")"
else fail "second install: no final report"; fi
rm -f "$(unix_path "$sysdir\\sysvanta.exe")"

echo "== a file held open by another program"
dir='C:\e2e\held'
target=$(unix_path "$dir")
mkdir -p "$target"
printf 'old variomat\r\n' >"$target/Variomat.exe"
(timeout 300 "$WINE" "$out/install_tools.exe" hold "$dir\\Variomat.exe" "$dir\\release" >"$out/hold.log" 2>&1 &)
for _ in $(seq 100); do grep -q holding "$out/hold.log" 2>/dev/null && break; sleep 0.2; done
retry="Ошибка при обновлении файла \"$dir\\Variomat.exe\". Возможно, прежняя версия файла используется в одном из работающих приложений. Закройте все приложения, кроме программы установки Mentorix, и повторите попытку обновления, нажав кнопку \"Повтор\".\r\nПри повторном возникновении ошибки нажмите кнопку \"Далее\"."
if install held "$dir" "" 'Предупреждение'; then
  expect "retry dialog text" "$retry"
  expect "retry button" "Повтор"
  expect "go-on button" "Далее"
  shot "$shots/install-retry-dialog.png"
  drv bars
  expect "copy window's bar: one volume and five shortcut rows" $'bar\t0\t125\t'
  touch "$target/release"
  sleep 2
  drv click 'Предупреждение' 'Повтор'
  if drv wait 'Информация' 60000; then
    sleep 1
    drv dump 'Информация'
    expect "retry replaces the file: success report" "$success"
    drv click 'Информация' 'OK'
    wait_setup_gone 60
    check "held file replaced after the retry" cmp -s "$out/payload/Variomat.exe" "$target/Variomat.exe"
  else fail "no report after the retry"; fi
else fail "held file: no retry dialog"; fi

echo "== held file, going on without it"
dir='C:\e2e\held2'
target=$(unix_path "$dir")
mkdir -p "$target"
printf 'old variomat\r\n' >"$target/Variomat.exe"
(timeout 300 "$WINE" "$out/install_tools.exe" hold "$dir\\Variomat.exe" "$dir\\release" >"$out/hold2.log" 2>&1 &)
for _ in $(seq 100); do grep -q holding "$out/hold2.log" 2>/dev/null && break; sleep 0.2; done
if install held2 "$dir" "" 'Предупреждение'; then
  drv click 'Предупреждение' 'Далее'
  if drv wait 'Информация' 60000; then
    sleep 1
    drv dump 'Информация'
    expect "report lists the file" "Не удалось обновить следующие файлы: \r\n\"$dir\\Variomat.exe\".\r\n$tail_text"
    shot "$shots/install-report-with-problems.png"
    drv click 'Информация' 'OK'
    wait_setup_gone 60
  else fail "no report after going on"; fi
  touch "$target/release"
  sleep 1
  check "old file left in place" test "$(tr -d '\r' <"$target/Variomat.exe")" = "old variomat"
else fail "held file 2: no retry dialog"; fi

echo "== damaged last member: rollback"
dir='C:\e2e\damaged'
target=$(unix_path "$dir")
make_dist "$out/damaged" "$out/payload" "[Main]\r\nAutoRun=1\r\nInstallDir=$dir\r\n"
damage_member "$out/damaged/setup.dat" -1
start_setup "$out/damaged" damaged
if drv wait 'Ошибка' 120000; then
  sleep 1
  drv dump 'Ошибка'
  expect "rollback message names setup.dat" 'Ошибка при чтении данных. Вероятно, испорчен файл setup.dat.\r\nПродолжение установки невозможно.'
  shot "$shots/install-rollback.png"
  drv bars
  expect "copy window stays behind the rollback message" $'bar\t0\t125\t'
  drv click 'Ошибка' 'OK'
  check "setup.exe ends after the rollback" wait_setup_gone 60
  left=$(cd "$target" && find . -mindepth 1 | sort | tr '\n' ' ')
  check "only UNINST stays behind [$left]" test "$left" = "./UNINST "
else fail "damaged archive: no rollback message"; fi

echo "== damaged middle member: rollback, nothing placed"
dir='C:\e2e\damaged_middle'
target=$(unix_path "$dir")
make_dist "$out/damaged_middle" "$out/payload" "[Main]\r\nAutoRun=1\r\nInstallDir=$dir\r\n"
damage_member "$out/damaged_middle/setup.dat" 3
start_setup "$out/damaged_middle" damaged_middle
if drv wait 'Ошибка' 120000; then
  sleep 1
  drv dump 'Ошибка'
  expect "rollback message names setup.dat" 'Ошибка при чтении данных. Вероятно, испорчен файл setup.dat.\r\nПродолжение установки невозможно.'
  drv click 'Ошибка' 'OK'
  check "setup.exe ends after the rollback" wait_setup_gone 60
  left=$(cd "$target" && find . -mindepth 1 | sort | tr '\n' ' ')
  check "nothing placed, only UNINST [$left]" test "$left" = "./UNINST "
else fail "damaged middle member: no rollback message"; fi

echo "== disk full: the message names the file and the disk"
# A small tmpfs as drive T:. Mounting needs root and a kernel that lets us.
full=$out/fulldisk
mkdir -p "$full"
if mount -t tmpfs -o size=96k tmpfs "$full" 2>/dev/null; then
  ln -sfn "$full" "$WINEPREFIX/dosdevices/t:"
  rm -rf "$out/payload_big" && cp -r "$out/payload" "$out/payload_big"
  head -c 400000 /dev/urandom >"$out/payload_big/MentorixHelp.chm"
  make_dist "$out/full" "$out/payload_big" "[Main]\r\nAutoRun=1\r\nInstallDir=T:\\full\r\n"
  start_setup "$out/full" full
  if drv wait 'Ошибка' 120000; then
    sleep 1
    drv dump 'Ошибка'
    expect "message names the staged file" 'Ошибка при записи файла "T:\full\TEMP\MentorixHelp.chm".'
    if grep -qF 'испорчен' "$out/drv.out"; then fail "full disk blamed on the archive"; else ok "archive not blamed"; fi
    drv click 'Ошибка' 'OK'
    check "setup.exe ends after the rollback" wait_setup_gone 60
    left=$(cd "$full/full" && find . -mindepth 1 | sort | tr '\n' ' ')
    check "only UNINST stays on the full disk [$left]" test "$left" = "./UNINST "
  else fail "full disk: no message"; fi
  rm -f "$WINEPREFIX/dosdevices/t:"
  umount "$full"
else
  echo "skipped: disk full case (tmpfs cannot be mounted here)"
fi

echo "== settings: FinalMessage=0 ends silently"
dir='C:\e2e\silent'
target=$(unix_path "$dir")
install silent "$dir" 'FinalMessage=0\r\n' ''
check "program ended without a box" wait_setup_gone 1
check "install log written" test -f "$target/UNINST/mtxvlm.log"

echo "== settings: StartMenu=0 and Desktop=0; ExcludeDir"
rm -rf "$(unix_path "$group")"
dir='C:\e2e\nolinks'
target=$(unix_path "$dir")
if install nolinks "$dir" '[Links]\r\nStartMenu=0\r\nDesktop=0\r\n[ExcludeDir]\r\n1=mentorix\r\n' 'Информация'; then
  expect "report without the shortcut line" 'Установка комплекса Mentorix успешно завершена.'
  if grep -qF 'Ярлыки' "$out/drv.out"; then fail "shortcut line shown"; else ok "no shortcut line"; fi
  drv click 'Информация' 'OK'
  wait_setup_gone 60
  check "no program group" test ! -e "$(unix_path "$group")"
  check "excluded folder not installed" test ! -e "$target/MENTORIX/version.txt"
  log_bytes "$dir\\MENTORIX\\a" "$dir\\Variomat.ini" "$dir\\Lectorn.exe" "$dir\\Variomat.exe" \
    "$dir\\MentorixHelp.chm" "$dir\\Lectorn.ini" >"$out/nolinks.expected.log"
  check "log without links and excluded files" cmp "$out/nolinks.expected.log" "$target/UNINST/mtxvlm.log"
else fail "no-links install: no report"; fi

# ---------------------------------------------------------------- two volumes
# setup_volumes.exe: the shipped product with two archive volumes and a
# post-install program (post.exe, a stand-in that records how it was started).
make_volumes() {  # make_volumes DIST SETTINGS-TEXT
  local dist=$1
  rm -rf "$dist"
  mkdir -p "$dist"
  cp "$bin/setup_volumes.exe" "$dist/"
  cp "$out/install_tools.exe" "$out/payload/post.exe"
  (cd "$out/payload" && zip -q -X -D -P "$password" "$dist/setup_volumes.dat" Lectorn.exe Variomat.exe \
    MENTORIX/lessons/basics/lesson1.txt &&
    zip -q -X -D -P "$password" "$dist/setup_volumes.dat2" MentorixHelp.chm post.exe Lectorn.ini) || return 1
  rm -f "$out/payload/post.exe"
  printf '%s' "$2" | sed 's/\\r\\n/\r\n/g' >"$dist/setup_volumes.ini"
}
start_volumes() {  # start_volumes DIST LOGNAME
  (cd "$1" && exec timeout 300 "$WINE" setup_volumes.exe >"$out/$2.log" 2>&1) &
  setup_pid=$!
}
if [ -f "$bin/setup_volumes.exe" ]; then
  echo "== second volume missing when the run reaches it"
  dir='C:\e2e\volmissing'
  target=$(unix_path "$dir")
  make_volumes "$out/volmissing" "[Main]\r\nInstallDir=$dir\r\n"
  start_volumes "$out/volmissing" volmissing
  if drv wait "Mentorix Install*" 60000; then
    rm "$out/volmissing/setup_volumes.dat2"
    drv click "Mentorix Install*" 'Установка'
    if drv wait 'Ошибка' 60000; then
      sleep 1
      drv dump 'Ошибка'
      expect "rollback message names the second volume" 'Ошибка при чтении данных. Вероятно, испорчен файл setup_volumes.dat2.\r\nПродолжение установки невозможно.'
      drv click 'Ошибка' 'OK'
      check "setup ends after the rollback" wait_setup_gone 60
      left=$(cd "$target" && find . -mindepth 1 | sort | tr '\n' ' ')
      check "first volume's files rolled back, only UNINST stays [$left]" test "$left" = "./UNINST "
    else fail "missing volume: no rollback message"; fi
  else fail "setup_volumes main window did not appear"; fi

  echo "== reinstall over an earlier installation, second volume damaged: nothing changes"
  dir='C:\e2e\volre'
  target=$(unix_path "$dir")
  make_volumes "$out/volre" "[Main]\r\nAutoRun=1\r\nFinalMessage=0\r\nInstallDir=$dir\r\n"
  start_volumes "$out/volre" volre
  wait_setup_gone 120
  state() {  # files with their bytes, the group's links, the association values
    (cd "$target" && find . -type f -print0 | sort -z | xargs -0 md5sum)
    (cd "$(unix_path "$group")" && find . -type f -print0 | sort -z | xargs -0 md5sum)
    for key in .vlmgroup vlmgroup 'vlmgroup\DefaultIcon' 'vlmgroup\Shell\Open\command' .vmv 'vmv\DefaultIcon'; do
      echo "$key=$(reg_value "$key")"
    done
  }
  state >"$out/volre.before"
  printf 'Lectorn, a newer build\r\n' >"$out/payload/Lectorn.exe"
  make_volumes "$out/volre" "[Main]\r\nAutoRun=1\r\nInstallDir=$dir\r\n"
  make_payload "$out/payload" && chmod 444 "$out/payload/MENTORIX/version.txt"
  damage_member "$out/volre/setup_volumes.dat2" 0
  start_volumes "$out/volre" volre2
  if drv wait 'Ошибка' 120000; then
    sleep 1
    drv dump 'Ошибка'
    expect "rollback message names the second volume" 'Вероятно, испорчен файл setup_volumes.dat2.'
    drv click 'Ошибка' 'OK'
    check "setup ends after the rollback" wait_setup_gone 60
    state >"$out/volre.after"
    check "earlier files, links and association values unchanged" cmp "$out/volre.before" "$out/volre.after"
    check "the earlier installation was there to keep" grep -q 'Lectorn.exe' "$out/volre.before"
  else fail "damaged second volume over an earlier installation: no rollback message"; fi

  echo "== Params with %STARTDIR%: the post-install program's parameters"
  dir='C:\e2e\volrun'
  target=$(unix_path "$dir")
  make_volumes "$out/volrun" "[Main]\r\nAutoRun=1\r\nInstallDir=$dir\r\n[Setup]\r\nParams=  record %STARTDIR%\\args.txt %InstallDir%\\x  \r\n"
  start_volumes "$out/volrun" volrun
  if drv wait 'Информация' 120000; then
    sleep 1
    drv dump 'Информация'
    expect "success report ends with the notice" "$success\r\nСейчас будет запущена программа настройки."
    drv click 'Информация' 'OK'
    wait_setup_gone 60
    for _ in $(seq 100); do [ -s "$out/volrun/args.txt" ] && break; sleep 0.2; done
    # args.txt landing beside setup_volumes.exe is %STARTDIR% expanded.
    printf '%s\n' "$dir" "$dir\\x" >"$out/volrun.expected"
    check "post-install program started in the install folder with the expanded parameters" \
      cmp <(tr -d '\r' <"$out/volrun/args.txt" 2>/dev/null) "$out/volrun.expected"
    check "files of both volumes placed" test -f "$target/MentorixHelp.chm" -a -f "$target/Lectorn.exe"
  else fail "two volumes: no final report"; fi
else
  echo "skipped: $bin/setup_volumes.exe is missing"
fi

echo "== screenshots in $shots"
if [ "$failures" -ne 0 ]; then
  echo "e2e install: $failures failure(s)"
  exit 1
fi
echo "e2e install: all passed"
