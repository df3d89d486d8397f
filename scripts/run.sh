#!/usr/bin/env bash
# Installs what is needed, builds Quillrank and starts its desktop window. Without a display it
# runs the headless batch command (built beside the window) on the shipped example list instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DQUILLRANK_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "${JOBS:-2}" --target quillrank quillrank-batch quillrank-history
# Chromium's sandbox, inside the web view, refuses to start as root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "quillrank: no display for the window; ranking examples/keywords.txt with the batch command" >&2
  exec build/release/src/app/quillrank-batch --profiles current -e baidu,sogou examples/keywords.txt
fi
exec build/release/src/app/window/quillrank
