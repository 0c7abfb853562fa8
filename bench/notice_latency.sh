#!/usr/bin/env bash
# The time from a recipient's first open (the image fetch) to the sender's
# notice reaching the mail relay, median and worst over NOTICES (default
# 100); see notice_latency.py. BUILD_DIR takes mailwarden from another build
# folder (see programs.sh).
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
# shellcheck source=programs.sh
. bench/programs.sh
mailwarden=$(bench_build mailwarden)/service/mailwarden
exec /usr/bin/python3 bench/notice_latency.py "$mailwarden"
