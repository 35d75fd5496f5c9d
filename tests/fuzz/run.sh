#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time:
#   tests/fuzz/run.sh BUILD_DIR [SECONDS]
# Seeds are corpus/<name>/*.seed, bytes written as text (printf %b escapes,
# "\x03" for a byte); other files there are taken as they are. Each target ends with a line
# giving its executions and its peak memory.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build=${1:?usage: tests/fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-20}
found=0
for program in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$program" ] || continue
  found=1
  name=${program##*/fuzz_}
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "$here/corpus/$name" ]; then
    for seed in "$here/corpus/$name"/*; do
      [ -f "$seed" ] || continue
      base=${seed##*/}
      case "$seed" in
        *.seed) printf '%b' "$(cat "$seed")" > "$work/corpus/${base%.seed}" ;;
        *) cp "$seed" "$work/corpus/$base" ;;
      esac
    done
  fi
  args=(-max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/artifacts/")
  [ -f "$here/$name.dict" ] && args+=(-dict="$here/$name.dict")
  echo "fuzz_$name: ${seconds}s"
  if ! "$program" "${args[@]}" "$work/corpus" 2>"$work/log"; then
    tail -n 60 "$work/log" >&2
    echo "fuzz_$name found a failing input:" >&2
    for crash in "$work/artifacts"/*; do
      [ -f "$crash" ] && { echo "$crash" >&2; od -A x -t x1z "$crash" | head -40 >&2; }
    done
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$work/log")
  echo "fuzz_$name: ${executions:-?} executions, peak ${peak:-?} MB"
  rm -rf "$work"
  trap - EXIT
done
[ "$found" = 1 ] || { echo "no fuzz targets in $build/tests/fuzz" >&2; exit 1; }
