#!/usr/bin/env bash
# Runs the stand-in Outlook host against the real Corvix.dll under Wine, with
# mailwarden on 127.0.0.1 (SQLite in memory; and one on a file that requires add-in
# keys, for the first start with a key) and every Wine command inside one xvfb-run.
#   tests/win32_host/run-e2e.sh <Windows build folder[:folder...]> <mailwarden program>
# Screenshots, .eml files and the log go to <build folder>/tests/win32_host/e2e. With
# several build folders (build/win32:build/win64), it runs for each whose Wine runs here.
set -euo pipefail

usage="usage: run-e2e.sh <Windows build folder[:folder...]> <mailwarden>"
. "$(dirname "$(realpath "$0")")/../../scripts/wine-env"
if [[ "${1:?$usage}" == *:* ]]; then
  wine_each_build "Wine end-to-end" "$0" "$1" "$(realpath "${2:?$usage}")"
  exit
fi
build=$(realpath "${1:?$usage}")
service_program=$(realpath "${2:?$usage}")
host_program=$build/tests/win32_host/corvanta-outlook-standin.exe
dll=$build/host/win32/Corvix.dll
out=$build/tests/win32_host/e2e
for file in "$host_program" "$dll" "$service_program"; do
  [ -f "$file" ] || { echo "run-e2e.sh: $file is missing; build it first" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"

# One prefix of the build's bitness, made once and reused; no Mono or Gecko (nothing is downloaded).
wine_use "$(wine_arch "$build")" "$build/wine-e2e-prefix"
echo "the Wine end-to-end test of $build under $wine_description"

# The starting credit covers the seven stamps of the first start and leaves one,
# too little for the last message of two recipients.
credit=8
# Starts mailwarden with these arguments, its output in the log given; its host:port in $started.
start_service() {  # log, arguments...
  local log=$1 found=""
  shift
  "$service_program" serve --listen 127.0.0.1:0 "$@" >"$log" 2>&1 &
  service_pids+=($!)
  for _ in $(seq 100); do
    found=$(sed -n 's|^mailwarden listening on http://\(127\.0\.0\.1:[0-9]*\).*|\1|p' "$log")
    [ -n "$found" ] && break
    kill -0 "${service_pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$found" ] || { echo "run-e2e.sh: mailwarden did not start:" >&2; cat "$log" >&2; exit 1; }
  started=$found
}
service_pids=()
trap 'kill "${service_pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
# The checks read /status.json, so the status pages are on.
start_service "$out/mailwarden.log" --database sqlite::memory: --new-sender-credit "$credit" --status-pages
service=$started
echo "mailwarden on $service"
# A second service that takes no unsigned request, where the sender's account and
# add-in key are made as an administrator makes them: the first start runs again
# against it with the key in "ServiceKey", so every request must go signed.
keyed_db=sqlite:$out/keyed.db
"$service_program" account add ann@example.test --credit "$credit" --database "$keyed_db" >/dev/null
key=$("$service_program" account key ann@example.test --database "$keyed_db" | tail -n 1)
start_service "$out/mailwarden-keyed.log" --database "$keyed_db" --require-keys --status-pages
keyed_service=$started
echo "mailwarden requiring add-in keys on $keyed_service"

# Everything that talks to the display runs in this one X session.
inner=$(cat <<'INNER'
set -euo pipefail
wineserver -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/.corvanta-ready" ]; then
  echo "creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # Without a window manager Wine waits at every closing window unless windows are unmanaged.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # A crash ends the program instead of waiting in the debugger.
  wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.corvanta-ready"
fi
dll_path=$(winepath -w "$DLL")
out_path=$(winepath -w "$OUT")
status=0
for scenario in no-redemption terms-declined first-start service-down; do
  echo "== $scenario"
  # A hung scenario (a window nobody answers) is stopped rather than waited for.
  if ! timeout 180 wine "$HOST_PROGRAM" --scenario "$scenario" --dll "$dll_path" --service "$SERVICE" \
      --artifacts "$out_path" --credit "$CREDIT" 2>>"$OUT/host-stderr.log"; then
    echo "== $scenario FAILED"
    status=1
  fi
done
echo "== first-start with the add-in key"
if ! timeout 180 wine "$HOST_PROGRAM" --scenario first-start --dll "$dll_path" --service "$KEYED_SERVICE" \
    --artifacts "$out_path" --credit "$CREDIT" --service-key "$KEY" 2>>"$OUT/host-stderr.log"; then
  echo "== first-start with the add-in key FAILED"
  status=1
fi
wineserver -k 2>/dev/null || true
# --- In many languages: the same message on a Western and on a Japanese system
# (code pages 1252 and 932), against a service that answers every request.
for lang in en_US.UTF-8 ja_JP.UTF-8; do
  echo "== languages ($lang)"
  : >"$OUT/languages-$lang.log"
  python3 "$FIXED_SERVICE" "$OUT/languages-$lang.log" >"$OUT/fixed-port" &
  fixed=$!
  for _ in $(seq 50); do [ -s "$OUT/fixed-port" ] && break; sleep 0.1; done
  if ! LANG=$lang LC_ALL=$lang timeout 180 wine "$HOST_PROGRAM" --scenario languages --dll "$dll_path" \
      --service "127.0.0.1:$(head -n 1 "$OUT/fixed-port")" --artifacts "$out_path" 2>>"$OUT/host-stderr.log"; then
    echo "== languages ($lang) FAILED"
    status=1
  fi
  kill "$fixed" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
done
# The subject's escapes as each code page gives them ("Ωμέγα 報告 € 😀"); on 1252
# Windows' own best fit makes Ω "O", μ "µ" and α "a", as the original read them.
grep -q 'subject=O%B5%3F%3Fa%20%3F%3F%20%80%20%3F%3F&' "$OUT/languages-en_US.UTF-8.log" ||
  { echo "FAIL languages: the subject's escapes on code page 1252"; status=1; }
grep -q 'subject=%083B6%083CA%3F%083C1%083BF%20%095F1%08D90%20%3F%20%3F%3F&' "$OUT/languages-ja_JP.UTF-8.log" ||
  { echo "FAIL languages: the subject's escapes on code page 932"; status=1; }
# --- end of the languages run
exit $status
INNER
)
set +e
HOST_PROGRAM=$host_program DLL=$dll OUT=$out SERVICE=$service CREDIT=$credit KEYED_SERVICE=$keyed_service KEY=$key \
  FIXED_SERVICE=$(dirname "$(realpath "$0")")/fixed_service.py \
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$inner" 2>&1 | tee "$out/e2e.log"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ] || grep -q '^FAIL' "$out/e2e.log"; then
  echo "run-e2e.sh: the Wine end-to-end test FAILED (log: $out/e2e.log, host errors: $out/host-stderr.log)" >&2
  exit 1
fi
echo "run-e2e.sh: the Wine end-to-end test passed; screenshots in $out/screenshots"
