#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks and runs each; each prints its ratios against a baseline of the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release
source scripts/pulse.sh
source scripts/postgres.sh
trap 'stop_pulse; stop_postgres' EXIT
start_pulse
start_postgres || echo "bench.sh: no PostgreSQL server: the shared library is not measured" >&2
for b in build/release/bench/bench_*; do
  [[ -f "$b" && -x "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
