#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (build/fuzz) and runs each
# for a while, starting from its seed corpus (fuzz/corpus/<name>) and
# dictionary (fuzz/dict/<name>.dict). New inputs go to build/fuzz/corpus, so
# the repository's corpus changes only when a finding is added to it by hand.
# An input that runs longer than a second counts as a hang. Prints the
# executions and coverage of every target; exits 1 when any target failed.
#   scripts/fuzz.sh [--seconds N] [TARGET...]    N defaults to 60
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
if [ "${1:-}" = "--seconds" ]; then
    seconds="$2"
    shift 2
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for folder in fuzz/corpus/*/; do targets+=("$(basename "$folder")"); done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
summary=()
for name in "${targets[@]}"; do
    work=build/fuzz/corpus/$name
    mkdir -p "$work" build/fuzz/findings/"$name"
    dict=()
    [ -f fuzz/dict/$name.dict ] && dict=(-dict=fuzz/dict/$name.dict)
    log=build/fuzz/$name.log
    status=0
    build/fuzz/bin/fuzz_"$name" "$work" fuzz/corpus/"$name" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build/fuzz/findings/"$name"/ >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    result=ok
    if [ "$status" -ne 0 ]; then
        result="FAILED (see $log and build/fuzz/findings/$name)"
        failed=1
    fi
    summary+=("$(printf '%-18s %12s executions  cov %6s  ft %6s  %s' "$name" "${runs:-?}" \
        "${cov:-?}" "${features:-?}" "$result")")
done
printf '%s\n' "${summary[@]}"
exit "$failed"
