#!/usr/bin/env bash
# Whose side each outage is on, in series: every fault point of the chained
# lab RUNS times (20 by default), then five silent routers before a silent
# host in the long lab as many times, each run through the whole program
# (tests/lab/side_lab.cpp). Prints each run and, per lab, the table kept in
# docs/benchmarks.md: runs classed right, the words the down notification
# showed, and the time from the down to the filed class. Needs root.
#
#   scripts/side_series.sh BUILD_DIRECTORY [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/side_series.sh BUILD_DIRECTORY [RUNS]}
runs=${2:-20}
program=$build/tests/lab/lab_side
if [ ! -x "$program" ]; then
    echo "$program is not built: ninja -C $build lab_side" >&2
    exit 2
fi
export QT_QPA_PLATFORM=offscreen
status=0
tests/lab/run_lab.sh --chain "$program" --runs "$runs" || status=1
tests/lab/run_lab.sh --long "$program" --fault five-silent-routers --runs "$runs" || status=1
exit "$status"
