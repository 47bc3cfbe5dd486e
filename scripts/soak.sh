#!/usr/bin/env bash
# The soak in full: 100 000 command exchanges and 1 000 discoveries through
# the access library against the bench, then 200 complete linearity runs back
# to back with random faults (pauses skipped). Prints the file descriptors and
# resident memory at the start and end of each phase; exits 1 when they grew
# or anything failed. Needs the default build.
#   scripts/soak.sh [EXCHANGES DISCOVERIES RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build --preset default --target q270_fault_matrix_test
export ZDX_SOAK_EXCHANGES="${1:-100000}" ZDX_SOAK_DISCOVERIES="${2:-1000}" ZDX_SOAK_RUNS="${3:-200}"
QT_QPA_PLATFORM=offscreen build/default/bin/q270_fault_matrix_test \
    --gtest_filter='SoakTest.*' | grep -E '^soak:|FAILED|PASSED'
