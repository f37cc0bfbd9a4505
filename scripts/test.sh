#!/usr/bin/env bash
# The test command: installs what is missing, builds the default and the
# sanitizer configurations, runs every test with ctest, then runs each fuzz
# target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-5}
jobs=$(nproc)

scripts/install-deps.sh

for preset in default sanitize; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  # Sanitized programs take several times the CPU, and the tests that start
  # the service wait for it within a bound: half as many at once.
  test_jobs=$jobs
  if [ "$preset" = sanitize ]; then test_jobs=$(( (jobs + 1) / 2 )); fi
  ctest --preset "$preset" -j "$test_jobs"
done

echo "== fuzz targets, ${FUZZ_SECONDS}s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
for target in $(find build-fuzz -name "fuzz_*" -type f -executable | sort); do
  name=$(basename "$target")
  mkdir -p "$corpus/$name"
  # Seeds of a target, when it has any, live in fuzz/seeds/<target>/ beside its source.
  seeds=$(find . -path ./build-fuzz -prune -o -type d -path "*/fuzz/seeds/$name" -print | head -n 1)
  echo "-- $name"
  "$target" -max_total_time="$FUZZ_SECONDS" -max_len=65536 -rss_limit_mb=2048 \
    "$corpus/$name" $seeds 2>&1 | tail -n 2
done
echo "== all tests passed"
