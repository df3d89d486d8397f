#!/usr/bin/env bash
# Installs what is needed, builds Quillrank and starts its main job. Until the desktop window
# exists this is the batch command ranking the shipped example keyword list.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DQUILLRANK_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "${JOBS:-2}"
if [ -x build/release/src/app/quillrank-batch ]; then
  exec build/release/src/app/quillrank-batch "$@" examples/keywords.txt
fi
echo "quillrank: the program is not built yet; the core library and its tests are." >&2
