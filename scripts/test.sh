#!/usr/bin/env bash
# Installs what is needed, checks the formatting of every tracked C++ file, builds and runs the
# whole test suite: a normal build, the same suite under AddressSanitizer +
# UndefinedBehaviorSanitizer, and the core under ThreadSanitizer built with clang (whose
# -Wthread-safety checks the locking; the window's sources get the same check from clang on
# their own), each in its own build folder with warnings as errors and failing on any report;
# then builds the benchmarks and gives every fuzz target a short run.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-10}
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DQUILLRANK_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "=== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

run_suite() {
  echo "=== tests: $1"
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 300
}

configure_and_build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build/test
echo "=== locking annotations of the window (clang -Wthread-safety)"
python3 scripts/clang_thread_safety.py build/test

configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DQUILLRANK_SANITIZE=address,undefined \
  -DQUILLRANK_BUILD_BENCH=OFF
run_suite build/asan

CC=clang CXX=clang++ configure_and_build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLRANK_SANITIZE=thread \
  -DQUILLRANK_BUILD_BENCH=OFF -DQUILLRANK_BUILD_APP=OFF
run_suite build/tsan

CC=clang CXX=clang++ configure_and_build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLRANK_BUILD_FUZZ=ON -DQUILLRANK_SANITIZE=address,undefined -DBUILD_TESTING=OFF \
  -DQUILLRANK_BUILD_BENCH=OFF -DQUILLRANK_BUILD_APP=OFF
for target in build/fuzz/fuzz/*_fuzz; do
  echo "=== fuzz: $(basename "$target") for ${fuzz_seconds}s"
  corpus=$(mktemp -d)
  (cd "$corpus" && "$OLDPWD/$target" -max_total_time="$fuzz_seconds" -max_len=2048 "$corpus" \
    >"$corpus/log" 2>&1) || { tail -n 40 "$corpus/log"; exit 1; }
  rm -rf "$corpus"
done
echo "all test stages passed"
