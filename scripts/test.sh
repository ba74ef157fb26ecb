#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Tonfolio twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), runs every test in both builds, then fuzzes the file parsers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONFOLIO_TESTS=ON -DTONFOLIO_BENCH=ON >/dev/null
cmake --build build/release -j "$jobs"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONFOLIO_SANITIZE=ON -DTONFOLIO_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONFOLIO_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$jobs"

# A private sound server with a null sink and a private PostgreSQL server for the shared library,
# both stopped on every way out.
source scripts/pulse.sh
source scripts/postgres.sh
trap 'stop_pulse; stop_postgres' EXIT
start_pulse
# The shared library's tests skip without a server: here its absence is a failure, not a skip.
start_postgres || { echo "test.sh: the private PostgreSQL server did not start" >&2; exit 1; }

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
ctest --test-dir build/release --output-on-failure -j 2 || status=1
ctest --test-dir build/asan --output-on-failure -j 2 || status=1
scripts/fuzz.sh build/fuzz "${FUZZ_SECONDS:-60}" || status=1
exit $status
