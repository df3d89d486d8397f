#!/usr/bin/env bash
# Measures the window's memory at start: starts the `quillrank` window headless (Qt's offscreen
# platform) with a throw-away home, waits until the web view has loaded its page and things have
# settled, and prints for the window process and each QtWebEngine child process, and summed: the
# proportional set size (Pss: shared pages split among the processes that share them), the
# resident set size (Rss) and the anonymous memory (heaps, stacks, the JavaScript heap: what no
# file backs). QUILLRANK picks the program (default build/release), WAIT_SECONDS the
# wait (default 8), RUNS how many starts to measure (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
program=${QUILLRANK:-build/release/src/app/window/quillrank}
wait_seconds=${WAIT_SECONDS:-8}
runs=${RUNS:-3}
[ -x "$program" ] || { echo "no program at $program (build it, or set QUILLRANK)" >&2; exit 2; }

# The process and all its descendants, the process first.
tree() {
  local pid=$1 child
  echo "$pid"
  for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do tree "$child"; done
}

# "<kB> <kB> <kB>" of one process's Pss, Rss and anonymous memory.
usage() {
  awk '/^Pss:/ {pss = $2} /^Rss:/ {rss = $2} /^Anonymous:/ {anon = $2}
       END {print pss + 0, rss + 0, anon + 0}' /proc/"$1"/smaps_rollup 2>/dev/null || echo "0 0 0"
}

for run in $(seq "$runs"); do
  home=$(mktemp -d)
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_STATE_HOME=$home/state \
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 "$program" >/dev/null 2>&1 &
  pid=$!
  sleep "$wait_seconds"
  total_pss=0 total_rss=0 total_anon=0 count=0
  for p in $(tree "$pid"); do
    read -r pss rss anon < <(usage "$p")
    name=$(tr '\0' ' ' </proc/"$p"/cmdline 2>/dev/null | cut -c1-50)
    [ "$run" -eq 1 ] && printf '  %7d Pss %7d kB  Rss %7d kB  anonymous %7d kB  %s\n' \
      "$p" "$pss" "$rss" "$anon" "$name"
    total_pss=$((total_pss + pss)) total_rss=$((total_rss + rss))
    total_anon=$((total_anon + anon)) count=$((count + 1))
  done
  printf 'start %d: %d processes, Pss %d MB, Rss %d MB, anonymous %d MB\n' "$run" "$count" \
    $((total_pss / 1024)) $((total_rss / 1024)) $((total_anon / 1024))
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
done
