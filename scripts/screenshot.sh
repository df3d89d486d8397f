#!/usr/bin/env bash
# Draws the README's screenshots of the window headless (Qt's offscreen platform and
# QWidget::grab()): docs/window-start.png as it opens, docs/window-run.png after a run against a
# fixture server on 127.0.0.1 that stands in for the engines; and docs/report.png, the top of a
# project's HTML report of a year, as the off-screen report test draws it. BUILD_DIR picks the
# build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/screenshots}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target quillrank_window_screenshots \
  quillrank_report_page_tests
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p docs
"$build/tests/app/window/quillrank_window_screenshots" docs
QUILLRANK_REPORT_SCREENSHOT=docs/report.png "$build/tests/app/report/quillrank_report_page_tests"
