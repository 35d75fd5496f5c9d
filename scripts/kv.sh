#!/usr/bin/env bash
# Installs what is missing, configures, builds, then runs a simulated notebook
# ("run [FOLDER]", examples/notebook unless a folder is given), every test ("test")
# or the benchmarks ("bench").
#   KV_BUILD_DIR  build folder (default: build)
#   KV_SANITIZE   sanitizers, e.g. "address,undefined" or "thread"
#   KV_CC/KV_CXX  compilers (default: the system's)
set -euo pipefail
# A notebook folder is named from where the script was called.
notebook=examples/notebook
[ "${1:-}" = run ] && [ -n "${2:-}" ] && notebook=$(realpath -m -- "$2")
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
  run|test|build|bench) ;;
  *) echo "usage: scripts/kv.sh run [FOLDER]|test|build|bench" >&2; exit 2 ;;
esac

packages=(cmake g++ make pkg-config libtinyxml2-dev zlib1g-dev libminizip-dev libgtest-dev libbenchmark-dev unzip)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

build=${KV_BUILD_DIR:-build}
args=(-S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE="${KV_SANITIZE:-}")
[ -n "${KV_CC:-}" ] && args+=(-DCMAKE_C_COMPILER="$KV_CC")
[ -n "${KV_CXX:-}" ] && args+=(-DCMAKE_CXX_COMPILER="$KV_CXX")
cmake "${args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

case "$mode" in
  run)
    if [ -x "$build/tools/kvsim/kvsim" ]; then
      "$build/tools/kvsim/kvsim" run "$notebook"
    else
      "$build/KvCfgService"
    fi ;;
  test)
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ;;
  bench)
    # Figures are CPU time, so they hold on a busy machine; each is the median of five runs.
    # One process per benchmark: the system's singletons outlive a simulated machine.
    for name in $("$build/bench/kv_bench" --benchmark_list_tests | sed 's|/.*||' | sort -u); do
      "$build/bench/kv_bench" --benchmark_filter="^$name(/|\$)" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_counters_tabular=true
    done ;;
esac
