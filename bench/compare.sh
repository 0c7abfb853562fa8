#!/usr/bin/env bash
# Times WordWrap at width 76 against `fold -s -w 76`, and UrlEscape against
# libcurl's curl_easy_escape, on one 64 MB text of words and CR LF line
# breaks (best of RUNS runs each, default 5), and checks that each routine's
# cost grows linearly (64 MB at most 80 times the 1 MB time). Times are CPU
# seconds of the work (fold's own, as a process), so a busy machine counts less.
# The same two on 16 MB of Greek and Japanese words (UTF-8), reported only.
# Prints exactly four lines on stdout, R being the other tool's time over ours:
#   wordwrap_vs_fold: R
#   urlescape_vs_curl: R
#   wordwrap_vs_fold_greek_japanese: R
#   urlescape_vs_curl_greek_japanese: R
# Everything else goes to stderr; a cost that is not linear fails the script.
# TEXT_MB (default 64, at least 2) sets the English text's size, the Greek and
# Japanese one being a quarter of it; the limit of 80 is meant for 64 MB, and
# a smaller run only checks that the script works. BUILD_DIR takes the
# programs from another build folder (see programs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
megabytes=${TEXT_MB:-64}
if ! [[ "$megabytes" =~ ^[0-9]+$ ]] || [ "$megabytes" -lt 2 ]; then
  echo "compare.sh: TEXT_MB must be a number of at least 2, not '$megabytes'" >&2
  exit 2
fi

# shellcheck source=programs.sh
. bench/programs.sh
tool=$(bench_build compare_tool bench_word_wrap bench_encoding)/bench/compare_tool

# fold reads the text from memory-backed storage where there is one.
dir=$(mktemp -d /dev/shm/corvanta-bench.XXXXXX 2>/dev/null || mktemp -d /tmp/corvanta-bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT
text=$dir/sample.txt
"$tool" generate "$text" $((megabytes << 20))

times=$("$tool" time "$text" "$runs")
echo "$times" | awk '{ printf "seconds: %-12s cpu %s  wall %s\n", $1, $2, $3 }' >&2
cpu() { awk -v name="$1" '$1 == name { print $2 }' <<<"$times"; }

awk -v fold="$(cpu fold)" -v wrap="$(cpu wordwrap)" -v curl="$(cpu curl_escape)" -v escape="$(cpu urlescape)" \
  'BEGIN { printf "wordwrap_vs_fold: %.2f\nurlescape_vs_curl: %.2f\n", fold / wrap, curl / escape }'

# The same on Greek and Japanese: fold -s counts bytes, ours UTF-16 units.
languages=$dir/languages.txt
"$tool" languages "$languages" $((megabytes << 18))
times=$("$tool" time "$languages" "$runs")
echo "$times" | awk '{ printf "Greek and Japanese seconds: %-12s cpu %s  wall %s\n", $1, $2, $3 }' >&2
awk -v fold="$(cpu fold)" -v wrap="$(cpu wordwrap)" -v curl="$(cpu curl_escape)" -v escape="$(cpu urlescape)" \
  'BEGIN { printf "wordwrap_vs_fold_greek_japanese: %.2f\nurlescape_vs_curl_greek_japanese: %.2f\n", fold / wrap, curl / escape }'

linearity=$("$tool" linearity "$text")
echo "$linearity" | awk -v mb="$megabytes" '{ printf "%d MB over 1 MB: %-10s %s (1 MB cold), %s (1 MB cached)\n", mb, $1, $2, $3 }' >&2
if awk '$2 > 80 { bad = 1 } END { exit !bad }' <<<"$linearity"; then
  echo "compare.sh: a cost grows faster than the input ($megabytes MB over 1 MB above 80)" >&2
  exit 1
fi
