#!/usr/bin/env bash
# Runs shellcheck over every shell script of the project, with the settings of
# .shellcheckrc. Exits 77 (skipped) where shellcheck is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v shellcheck >/dev/null || { echo "SKIPPED: shellcheck is missing (package shellcheck)"; exit 77; }
mapfile -t scripts < <(find scripts tests .ci -type f \( -name '*.sh' -o -path .ci/run \) | sort)
shellcheck "${scripts[@]}"
echo "shellcheck: ${#scripts[@]} scripts, nothing to report"
