#!/usr/bin/env bash
# The setup program under Wine, in one fresh prefix, as an administrator and a user
# would use it: a silent install pointed at the tracking service on 127.0.0.1 with the
# sender's add-in key (the service takes no unsigned request); the
# stand-in Outlook starting the installed add-in (found through the registry) and
# sending one message "Automatic"; a setup refused while a program holds the DLL; an
# upgrade to a newer build that keeps the settings; a silent uninstall that keeps only
# the settings; one with /REMOVESETTINGS that leaves nothing; an all-users install and its
# removal; and the interactive setup and uninstaller under Xvfb, every page photographed
# and pressed through by the test's window watcher.
#   tests/win32_host/run-setup.sh <Windows build folder[:folder...]> <mailwarden program>
# The test makes the sender's account and add-in key with the program, then serves on a
# free loopback port, requiring add-in keys. Screenshots and logs go to
# <build folder>/tests/setup. With several build folders (build/win32:build/win64), it
# runs for each whose Wine runs here: the 64-bit build's setup is the 64-bit twin.
set -euo pipefail

usage="usage: run-setup.sh <Windows build folder[:folder...]> <mailwarden program>"
. "$(dirname "$(realpath "$0")")/../../scripts/wine-env"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
if [[ "$1" == *:* ]]; then
  wine_each_build "Setup test" "$0" "$1" "$(realpath "$2")"
  exit
fi
build=$(realpath "$1")
service_program=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(ls "$build"/Corvanta-Setup-*.exe 2>/dev/null | head -n 1 || true)
newer=$(ls "$build"/packaging/windows/newer/Corvanta-Setup-*.exe 2>/dev/null | head -n 1 || true)
host_program=$build/tests/win32_host/corvanta-outlook-standin.exe
dll=$build/host/win32/Corvix.dll
newer_dll=$build/packaging/windows/newer/dll/Corvix.dll
out=$build/tests/setup
for file in "$setup" "$newer" "$host_program" "$dll" "$newer_dll" "$service_program"; do
  [ -n "$file" ] && [ -f "$file" ] || { echo "run-setup.sh: ${file:-a setup program} is missing; run make build first" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"

wine_use "$(wine_arch "$build")" "$build/wine-setup-prefix"
echo "the setup test of $build under $wine_description"

# The stand-in Outlook's sender, with an account of 20 credits a month and an add-in key.
service_db=sqlite:$out/service.db
"$service_program" account add ann@example.test --credit 20 --database "$service_db" >/dev/null
key=$("$service_program" account key ann@example.test --database "$service_db" | tail -n 1)
service_log=$out/service.log
"$service_program" serve --listen 127.0.0.1:0 --database "$service_db" --require-keys --status-pages \
  >"$service_log" 2>&1 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
service=""
for _ in $(seq 100); do
  service=$(sed -n 's|.*listening on http://\(127\.0\.0\.1:[0-9]*\).*|\1|p' "$service_log" | head -n 1)
  [ -n "$service" ] && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$service" ] || { echo "run-setup.sh: the service did not start:" >&2; cat "$service_log" >&2; exit 1; }
echo "the tracking service on $service"

inner=$(cat <<'INNER'
set -uo pipefail
failed=0
pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
expect() {  # description, command...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
echo "creating a fresh Wine prefix (about 15 seconds)"
wineboot -i >/dev/null 2>&1
# Without a window manager Wine waits at every closing window unless windows are unmanaged.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
wineserver -w

clsid=$(grep -o '{[0-9A-F-]*}' "$ROOT/host/win32/clsid.h" | head -n 1)
addin='HKCU\Software\Microsoft\Office\Outlook\Addins\Corvix.Connect'
class="HKCU\\Software\\Classes\\CLSID\\$clsid"
progid='HKCU\Software\Classes\Corvix.Connect'
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvanta'
local_app=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
folder="$local_app\\Corvanta"
folder_unix=$(winepath -u "$folder" 2>/dev/null)
log=$OUT/setup.log
log_win=$(winepath -w "$log")
out_win=$(winepath -w "$OUT")

# One value's data as reg prints it ("(Default)" for the key's own), empty when missing.
value() {
  local out
  if [ "$2" = "" ]; then out=$(wine reg query "$1" /ve 2>/dev/null); else out=$(wine reg query "$1" /v "$2" 2>/dev/null); fi
  echo "$out" | tr -d '\r' | awk -v name="${2:-(Default)}" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
names() {  # the value names of a key, sorted
  wine reg query "$1" 2>/dev/null | tr -d '\r' | awk '/^    [^ ]/ { print $1 }' | sort | tr '\n' ' '
}
has_key() { wine reg query "$1" >/dev/null 2>&1; }
# Read again once the prefix's programs have ended: a read right after a
# setup can come before the registry has the setup's last writes.
is() {
  local got
  got=$(value "$1" "$2")
  if [ "$got" != "$3" ]; then
    timeout 60 wineserver -w
    got=$(value "$1" "$2")
  fi
  [ "$got" = "$3" ] || { echo "  $1 ${2:-(Default)} is '$got', not '$3'"; return 1; }
}
run_setup() {  # setup program, arguments...; the exit status is the setup's
  local program=$1
  shift
  timeout 120 wine "$program" "$@" /LOG="$log_win"
}
# Waits for the prefix's programs to end, or ends them: nothing may hang the run.
settle() { timeout 60 wineserver -w || { echo "FAIL a Windows program was still running"; wineserver -k; }; }
# The uninstaller copies itself away and returns at once: wait for its last log line.
uninstall() {  # folder, arguments...
  local lines from=$1
  shift
  lines=$(wc -l <"$log" 2>/dev/null || echo 0)
  timeout 120 wine "$from\\Uninstall.exe" "$@" /LOG="$log_win"
  for _ in $(seq 300); do
    tail -n +"$((lines + 1))" "$log" 2>/dev/null | grep -qE ': removed|failed' && break
    sleep 0.1
  done
  tail -n +"$((lines + 1))" "$log" | tr -d '\r'
  settle
}
ours_left() {  # files of ours anywhere in the prefix
  find "$WINEPREFIX/drive_c" \( -iname 'Corvix.dll' -o -iname 'Corvanta' -o -iname 'Corvanta-Setup*' \) -print
}
registered_as_regsvr32_would() {
  is "$class" "" "Corvix.Connect" && is "$class\\InprocServer32" "" "$folder\\Corvix.dll" &&
    is "$class\\InprocServer32" ThreadingModel Apartment && is "$class\\ProgID" "" "Corvix.Connect" &&
    is "$progid" "" "Corvix.Connect" && is "$progid\\CLSID" "" "$clsid" && is "$addin" FriendlyName Corvanta &&
    is "$addin" Description "Corvanta Add-In for Windows Outlook 2000/2002" && is "$addin" LoadBehavior 0x3
}

echo "== silent install, /SERVICEKEY= with a malformed key"
run_setup "$SETUP" /S /SERVICEHOST="$SERVICE" /SERVICEKEY=0123abc
expect "is refused with exit code 2" [ $? -eq 2 ]
expect "and says why, without the key: $(tail -n 1 "$log" | tr -d '\r')" \
  eval 'tail -n 1 "$log" | grep -q "has 64 digits" && ! tail -n 1 "$log" | grep -q 0123abc'
expect "having installed nothing" eval '[ -z "$(ours_left)" ]'

echo "== silent install, /SERVICEHOST=$SERVICE /SERVICEKEY=<the sender's add-in key>"
run_setup "$SETUP" /S /SERVICEHOST="$SERVICE" /SERVICEKEY="$KEY"
expect "the silent install exits with 0" [ $? -eq 0 ]
expect "\"ServiceKey\" holds the key given" is "$addin" ServiceKey "$KEY"
expect "the log does not hold the key" eval '! grep -q "$KEY" "$log"'
expect "Corvix.dll is installed in $folder" cmp -s "$DLL" "$folder_unix/Corvix.dll"
expect "with its uninstaller" [ -f "$folder_unix/Uninstall.exe" ]
expect "registered for the current user as regsvr32 would register it" registered_as_regsvr32_would
expect "nothing under the machine's classes" eval '! has_key "HKLM\\Software\\Classes\\CLSID\\$clsid"'
expect "\"ServiceHost\" is $SERVICE" is "$addin" ServiceHost "$SERVICE"
expect "Add or Remove Programs lists Corvanta 1.0.0.1" \
  eval 'is "$entry" DisplayName Corvanta && is "$entry" DisplayVersion 1.0.0.1 && is "$entry" Publisher Corvanta'
expect "with its size and uninstall command" \
  eval '[ -n "$(value "$entry" EstimatedSize)" ] && is "$entry" UninstallString "\"$folder\\Uninstall.exe\""'
expect "the log says it was installed" grep -q 'installed into' "$log"

echo "== the stand-in Outlook starts the installed add-in and sends \"Automatic\""
timeout 180 wine "$HOST_PROGRAM" --scenario installed --service "$SERVICE" --artifacts "$out_win" --credit 20 \
  2>>"$OUT/host-stderr.log"
expect "the installed add-in sent one message \"Automatic\", signed with its key" [ $? -eq 0 ]
expect "the add-in sealed \"ServiceKey\" with the user's data-protection key" \
  eval '[[ "$(value "$addin" ServiceKey)" == dpapi:* ]]'
expect "the add-in wrote \"TOUA\" 1" is "$addin" TOUA 0x1
# The user's other settings, as a later day leaves them: Send/Receive off, an identity cached.
wine reg add "$addin" /v opt_send /t REG_DWORD /d 0 /f >/dev/null 2>&1
[ -n "$(value "$addin" currentUserAddress)" ] ||
  wine reg add "$addin" /v currentUserAddress /d ann@example.test /f >/dev/null 2>&1
[ -n "$(value "$addin" currentUserName)" ] || wine reg add "$addin" /v currentUserName /d 'Ann Archer' /f >/dev/null 2>&1
kept=$(names "$addin" | sed 's/Description //; s/FriendlyName //; s/LoadBehavior //')
declare -A before
for name in $kept; do before[$name]=$(value "$addin" "$name"); done

echo "== setup while a program holds Corvix.dll"
rm -f "$OUT/holding" "$OUT/release"
wine "$HOST_PROGRAM" --scenario hold-addin --service "$SERVICE" --artifacts "$out_win" >"$OUT/hold.log" 2>&1 &
holder=$!
for _ in $(seq 300); do [ -f "$OUT/holding" ] && break; sleep 0.1; done
expect "the program has loaded the installed DLL" [ -f "$OUT/holding" ]
run_setup "$NEWER" /S
status=$?
expect "the setup refuses with exit code 3 (got $status)" [ $status -eq 3 ]
expect "and logs why: $(tail -n 1 "$log" | tr -d '\r')" eval 'tail -n 1 "$log" | grep -q "in use"'
expect "the installed DLL is left as it was" cmp -s "$DLL" "$folder_unix/Corvix.dll"
touch "$OUT/release"
wait "$holder"
expect "the holding program ended cleanly" [ $? -eq 0 ]

echo "== a newer build installed over it"
run_setup "$NEWER" /S
expect "the upgrade exits with 0" [ $? -eq 0 ]
expect "the newer Corvix.dll replaced the old one in place" cmp -s "$NEWER_DLL" "$folder_unix/Corvix.dll"
expect "Add or Remove Programs lists 1.0.0.2" is "$entry" DisplayVersion 1.0.0.2
expect "still registered as regsvr32 would" registered_as_regsvr32_would
for name in $kept; do
  expect "\"$name\" is kept (${before[$name]})" is "$addin" "$name" "${before[$name]}"
done

echo "== silent uninstall"
uninstall "$folder" /S
expect "no file of ours is left" eval '[ -z "$(ours_left)" ]'
expect "no class key is left" eval '! has_key "$class" && ! has_key "$progid"'
expect "no Add or Remove Programs entry is left" eval '! has_key "$entry"'
expect "only the settings are left under the add-in's key: $(names "$addin")" \
  eval '[ "$(names "$addin")" = "$(echo $kept | tr " " "\n" | sort | tr "\n" " ")" ]'

echo "== installed again (the settings come back into use), then removed with /REMOVESETTINGS"
run_setup "$NEWER" /S
expect "the install exits with 0" [ $? -eq 0 ]
expect "\"ServiceHost\" is still $SERVICE" is "$addin" ServiceHost "$SERVICE"
expect "\"TOUA\" is still 1" is "$addin" TOUA 0x1
uninstall "$folder" /S /REMOVESETTINGS
expect "no file of ours is left" eval '[ -z "$(ours_left)" ]'
expect "no key of ours is left" eval '! has_key "$addin" && ! has_key "$class" && ! has_key "$progid" && ! has_key "$entry"'

echo "== for all users, elevated (as every Wine user is)"
machine='HKLM\Software\Microsoft\Office\Outlook\Addins\Corvix.Connect'
machine_class="HKLM\\Software\\Classes\\CLSID\\$clsid"
programs=$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')\\Corvanta
run_setup "$SETUP" /S /ALLUSERS
expect "the all-users install exits with 0" [ $? -eq 0 ]
expect "Corvix.dll is installed in $programs" cmp -s "$DLL" "$(winepath -u "$programs\\Corvix.dll")"
expect "the class and the add-in are registered for the machine" \
  eval 'is "$machine_class\\InprocServer32" "" "$programs\\Corvix.dll" && is "$machine" LoadBehavior 0x3'
expect "and listed in the machine's Add or Remove Programs" \
  is 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvanta' DisplayVersion 1.0.0.1
uninstall "$programs" /S /ALLUSERS /REMOVESETTINGS
expect "its uninstall leaves no file and no key of ours" eval '[ -z "$(ours_left)" ] && ! has_key "$machine" &&
  ! has_key "$machine_class" && ! has_key "HKLM\\Software\\Classes\\Corvix.Connect" && ! has_key "$addin"'

echo "== the interactive setup, page by page"
timeout 180 wine "$HOST_PROGRAM" --scenario setup-pages --setup "$(winepath -w "$SETUP")" --service "$SERVICE" \
  --artifacts "$out_win" 2>>"$OUT/host-stderr.log"
expect "the setup was pressed through to the end" [ $? -eq 0 ]
expect "registered as regsvr32 would" registered_as_regsvr32_would
expect "five pages photographed" [ "$(ls "$OUT"/screenshots/setup-*.png 2>/dev/null | wc -l)" -eq 5 ]

echo "== the interactive uninstall, answering that the settings go too"
timeout 180 wine "$HOST_PROGRAM" --scenario uninstall-pages --setup "$folder\\Uninstall.exe" --service "$SERVICE" \
  --artifacts "$out_win" 2>>"$OUT/host-stderr.log"
expect "the uninstaller was pressed through to the end" [ $? -eq 0 ]
settle
expect "no file of ours is left" eval '[ -z "$(ours_left)" ]'
expect "no key of ours is left" eval '! has_key "$addin" && ! has_key "$class" && ! has_key "$progid" && ! has_key "$entry"'
expect "three uninstaller windows photographed" [ "$(ls "$OUT"/screenshots/uninstall-*.png 2>/dev/null | wc -l)" -eq 3 ]

wineserver -k 2>/dev/null || true
echo "setup tests: $failed failed"
[ $failed -eq 0 ]
INNER
)
set +e
ROOT=$root SETUP=$setup NEWER=$newer HOST_PROGRAM=$host_program DLL=$dll NEWER_DLL=$newer_dll OUT=$out \
  SERVICE=$service KEY=$key xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$inner" 2>&1 | tee "$out/setup-tests.log"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ] || grep -q '^FAIL' "$out/setup-tests.log"; then
  echo "run-setup.sh: the setup program's tests FAILED (log: $out/setup-tests.log)" >&2
  exit 1
fi
echo "run-setup.sh: the setup program's tests passed; screenshots in $out/screenshots"
