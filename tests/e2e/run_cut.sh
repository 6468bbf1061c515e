#!/usr/bin/env bash
# End to end: an installation cut off by End task is undone by the next start.
# The real setup.exe under Wine installs a large distribution, then a second
# one with other contents over it; that run is ended with taskkill /F at
# several moments while it places files (early, half-way, and at the retry
# box of a held file). setup.exe is started again, says that it undid the
# interrupted run, and the earlier installation must be back byte for byte:
# files, links, the install log and the registry. Last, a rollback that
# cannot put a held file back ends with exit code 7, and the next start
# finishes it.
#
# SETUP_WIN_BIN selects the folder of setup.exe (default build/win64/bin).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source "$root/tests/e2e/install_lib.sh"
source "$root/scripts/wine-env.sh"
e2e_setup e2e-cut setup.exe
bulk=1500  # files in the distribution besides the product's own
begin_install_tests "$root/build/wine-e2e-install" || exit 1

user=$(whoami)
group="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Mentorix for Volmar"
sysdll='C:\windows\system32\mtxrt32.dll'
dir='C:\e2e\cut'
target=$(unix_path "$dir")
journal=$target/UNINST/setup.journal
recovered='Предыдущая установка комплекса Mentorix была прервана. Сделанные ею изменения отменены.'

# A payload of the product's files and many more, every file saying VERSION.
payload() {  # payload DIR VERSION DATE
  make_payload "$1"
  mkdir -p "$1/MENTORIX/bulk"
  for i in $(seq $bulk); do printf '%s bulk file %d\r\n' "$2" "$i" >"$1/MENTORIX/bulk/f$i.txt"; done
  for f in $(find "$1" -type f); do printf '%s\r\n' "$2" >>"$f"; done
  touch -d "$3" $(find "$1" -type f)
}
dist() {  # dist DIST PAYLOAD AUTORUN
  make_dist "$1" "$2" "[Main]\r\nAutoRun=$3\r\nFinalMessage=0\r\nInstallDir=$dir\r\n" || return 1
  rm -f "$1/setup.dat"
  (cd "$2" && zip -q -X -D -r -P "$password" "$1/setup.dat" .)
}

# Everything the run may change: files with their bytes, links read back,
# association values and the product's registry record.
snapshot() {
  (cd "$target" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
  sha256sum "$(unix_path "$sysdll")" | cut -d' ' -f1
  for link in "ZOLV Lectorn" "VX Variomat" "Mentorix Info"; do echo "$link: $(tools lnk "$group\\$link.lnk")"; done
  for key in .vlmgroup vlmgroup 'vlmgroup\DefaultIcon' 'vlmgroup\Shell\Open\command' .vmv 'vmv\Shell\Open\command'; do
    echo "$key: $(timeout 60 "$WINE" reg query "HKCR\\$key" /ve 2>&1 | tr -d '\r' | LC_ALL=C sed -n 's/.*REG_/REG_/p')"
  done
  timeout 60 "$WINE" reg query 'HKLM\Software\Mentorix Setup' 2>&1 | tr -d '\r' | LC_ALL=C sed -n 's/.*REG_/REG_/p'
}

placements() {
  local n
  n=$(grep -ac '^\(new\|replace\)' "$journal" 2>/dev/null)
  echo "${n:-0}"
}

rm -rf "$target" "$(unix_path "$group")" "$(unix_path "$sysdll")"
payload "$out/p1" v1 '2011-03-05 12:00'
payload "$out/p2" v2 '2012-03-05 12:00'
dist "$out/d1" "$out/p1" 1 && dist "$out/d2" "$out/p2" 1 && dist "$out/d3" "$out/p2" 0 || exit 1

echo "== the earlier installation"
start_setup "$out/d1" first
wait_setup_gone 180
check "earlier installation made" test "$(head -c 2 "$target/MENTORIX/bulk/f$bulk.txt")" = v1
snapshot >"$out/before.txt"
check "its snapshot holds the links and the keys" grep -q 'vlmgroup: REG_SZ' "$out/before.txt"

# Lets the holder of a file go and waits until it has closed the file: on a
# busy machine Wine takes its time, and the next start must find it free.
release_hold() {
  touch "$(unix_path "$1")"
  for _ in $(seq 300); do pgrep -f 'install_tools.exe hold' >/dev/null || break; sleep 0.1; done
}

for moment in early half held; do
  echo "== a second installation ended by End task: $moment"
  release=
  if [ $moment = held ]; then  # the last bulk file is held open: the run waits at the retry box
    release="$dir\\release-$moment"
    (timeout 300 "$WINE" "$out/install_tools.exe" hold "$dir\\MENTORIX\\bulk\\f$bulk.txt" "$release" >"$out/hold.log" 2>&1 &)
    for _ in $(seq 100); do grep -q holding "$out/hold.log" 2>/dev/null && break; sleep 0.2; done
  fi
  start_setup "$out/d2" "second-$moment"
  case $moment in
    early) want=20 ;;
    half) want=$((bulk / 2)) ;;
    held) want=0 ;;
  esac
  if [ $moment = held ]; then
    drv wait 'Предупреждение' 120000 || fail "no retry box for the held file"
  else
    for _ in $(seq 1200); do [ "$(placements)" -ge $want ] && break; sleep 0.05; done
  fi
  n=$(placements)
  timeout 60 "$WINE" taskkill /F /IM setup.exe >/dev/null 2>&1
  wait_setup_gone 60
  [ -n "$release" ] && release_hold "$release"
  check "cut while placing ($n files placed)" test -f "$journal" -a "$n" -ge "$want"
  check "files of the second installation were in place" grep -aq '^replace' "$journal"

  start_setup "$out/d3" "again-$moment"
  if drv wait 'Информация' 120000; then
    sleep 1
    drv dump 'Информация'
    expect "the next start says it undid the run" "$recovered"
    [ $moment = half ] && shot "$shots/install-recovered.png"
  else fail "no message of the undone run"; fi
  timeout 60 "$WINE" taskkill /F /IM setup.exe >/dev/null 2>&1
  wait_setup_gone 60
  [ -n "$release" ] && rm -f "$(unix_path "$release")"
  snapshot >"$out/after-$moment.txt"
  if cmp -s "$out/before.txt" "$out/after-$moment.txt"; then ok "earlier installation back byte for byte"
  else
    fail "earlier installation not back"
    diff "$out/before.txt" "$out/after-$moment.txt" | head -20 | sed 's/^/    | /'
  fi
done

echo "== a rollback that cannot put a file back: exit code 7, finished by the next start"
# The archive's last member is damaged; a placed file is held open (as a
# scanner would) before the rollback reaches it.
rm -rf "$out/d4" && cp -r "$out/d2" "$out/d4" && damage_member "$out/d4/setup.dat" -1
held="$dir\\MENTORIX\\bulk\\f1.txt"
release="$dir\\release-rollback"
start_setup "$out/d4" rollback
for _ in $(seq 600); do head -c 2 "$(unix_path "$held")" 2>/dev/null | grep -q v2 && break; sleep 0.02; done
(timeout 300 "$WINE" "$out/install_tools.exe" hold "$held" "$release" >"$out/hold-rollback.log" 2>&1 &)
if drv wait 'Ошибка' 120000; then
  sleep 1
  drv dump 'Ошибка'
  expect "the message names the file not put back" "Не удалось восстановить: \"$held\"."
  drv click 'Ошибка' 'OK'
  wait "$setup_pid"
  check "exit code 7, rollback incomplete" test $? = 7
else fail "no rollback message"; fi
wait_setup_gone 60
release_hold "$release"
start_setup "$out/d3" after-rollback
if drv wait 'Информация' 120000; then
  sleep 1
  drv dump 'Информация'
  expect "the next start says it undid the run" "$recovered"
else fail "no message of the finished undo"; fi
timeout 60 "$WINE" taskkill /F /IM setup.exe >/dev/null 2>&1
wait_setup_gone 60
rm -f "$(unix_path "$release")"
snapshot >"$out/after-rollback.txt"
check "earlier installation back byte for byte" cmp -s "$out/before.txt" "$out/after-rollback.txt"

if [ $failures = 0 ]; then echo "e2e cut: all passed"; else echo "e2e cut: $failures failure(s)"; exit 1; fi
