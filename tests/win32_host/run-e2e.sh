#!/usr/bin/env bash
# Runs the stand-in Outlook host against the real Corvix.dll under Wine, with
# mailwarden on 127.0.0.1 (SQLite in memory) and every Wine command inside one xvfb-run.
#   tests/win32_host/run-e2e.sh <win32 build folder> <mailwarden program>
# Screenshots, .eml files and the log go to <win32 build folder>/tests/win32_host/e2e.
set -euo pipefail

build=$(realpath "${1:?usage: run-e2e.sh <win32 build folder> <mailwarden>}")
service_program=$(realpath "${2:?usage: run-e2e.sh <win32 build folder> <mailwarden>}")
host_program=$build/tests/win32_host/corvanta-outlook-standin.exe
dll=$build/host/win32/Corvix.dll
out=$build/tests/win32_host/e2e
for file in "$host_program" "$dll" "$service_program"; do
  [ -f "$file" ] || { echo "run-e2e.sh: $file is missing; build it first" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"

# One 32-bit prefix, made once and reused; no Mono or Gecko (nothing is downloaded).
export WINEPREFIX=$build/wine-e2e-prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The starting credit covers the seven stamps of the first start and leaves one,
# too little for the last message of two recipients.
credit=8
service_log=$out/mailwarden.log
# The checks read /status.json, so the status pages are on.
"$service_program" serve --listen 127.0.0.1:0 --database sqlite::memory: --new-sender-credit "$credit" \
  --status-pages >"$service_log" 2>&1 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
service=""
for _ in $(seq 100); do
  service=$(sed -n 's|^mailwarden listening on http://\(127\.0\.0\.1:[0-9]*\).*|\1|p' "$service_log")
  [ -n "$service" ] && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$service" ] || { echo "run-e2e.sh: mailwarden did not start:" >&2; cat "$service_log" >&2; exit 1; }
echo "mailwarden on $service"

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
wineserver -k 2>/dev/null || true
exit $status
INNER
)
set +e
HOST_PROGRAM=$host_program DLL=$dll OUT=$out SERVICE=$service CREDIT=$credit \
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$inner" 2>&1 | tee "$out/e2e.log"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ] || grep -q '^FAIL' "$out/e2e.log"; then
  echo "run-e2e.sh: the Wine end-to-end test FAILED (log: $out/e2e.log, host errors: $out/host-stderr.log)" >&2
  exit 1
fi
echo "run-e2e.sh: the Wine end-to-end test passed; screenshots in $out/screenshots"
