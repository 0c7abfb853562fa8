#!/usr/bin/env bash
# How soon an open page hears of an event: from the start of an image fetch
# to the event on the messages list's stream, ROUNDS times (default 100), on
# the build's mailwarden and corvanta (BUILD_DIR: another build folder, see
# programs.sh). Prints live_latency_median_ms and live_latency_max_ms.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=programs.sh
. bench/programs.sh
build=$(bench_build mailwarden corvanta)
exec python3 bench/live_latency.py "$build/service/mailwarden" "$build/cli/corvanta" "${ROUNDS:-100}"
