#!/usr/bin/env bash
# Installs what is missing, configures, builds, then runs a simulated notebook
# ("run [FOLDER]", examples/notebook unless a folder is given), every test ("test")
# or the benchmarks ("bench"); "windows" cross-compiles the service for Windows
# into build-windows/KvCfgService.exe.
#   KV_BUILD_DIR  build folder (default: build, for "windows" build-windows)
#   KV_SANITIZE   sanitizers, e.g. "address,undefined" or "thread"
#   KV_CC/KV_CXX  compilers (default: the system's)
set -euo pipefail
# A notebook folder is named from where the script was called.
notebook=examples/notebook
[ "${1:-}" = run ] && [ -n "${2:-}" ] && notebook=$(realpath -m -- "$2")
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
  run|test|build|bench|windows) ;;
  *) echo "usage: scripts/kv.sh run [FOLDER]|test|build|bench|windows" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
  fi
}

if [ "$mode" = windows ]; then
  install_missing cmake make dpkg-dev xz-utils python3 googletest g++-mingw-w64-x86-64-posix libz-mingw-w64-dev \
    wine64 wine
  build=${KV_BUILD_DIR:-build-windows}
  # tinyxml2 and minizip (zlib's contrib/minizip) have no mingw package: their
  # Debian source packages, for the suites this machine already uses.
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $sudo tee /etc/apt/sources.list.d/kv-deb-src.sources >/dev/null
    else
      grep -hE '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        $sudo tee /etc/apt/sources.list.d/kv-deb-src.list >/dev/null
    fi
    $sudo apt-get update
  fi
  sources=$build/deps/src
  mkdir -p "$sources"
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  for package in tinyxml2 zlib; do
    if ! compgen -G "$sources/$package-*/" >/dev/null; then
      # A security suite's mirror may lack what its index names: then the release's own.
      (cd "$sources" && { apt-get source "$package" || apt-get source "$package/$codename"; })
    fi
  done
  tinyxml2_source=$(compgen -G "$sources/tinyxml2-*/" | head -1)
  zlib_source=$(compgen -G "$sources/zlib-*/" | head -1)
  args=(-S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
    -DKV_TINYXML2_SOURCE="$(cd "$tinyxml2_source" && pwd)" -DKV_ZLIB_SOURCE="$(cd "$zlib_source" && pwd)")
  [ -n "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && args+=(-DCMAKE_C_COMPILER_LAUNCHER="$CMAKE_CXX_COMPILER_LAUNCHER"
    -DCMAKE_CXX_COMPILER_LAUNCHER="$CMAKE_CXX_COMPILER_LAUNCHER")
  cmake "${args[@]}" >/dev/null
  cmake --build "$build" -j"$(nproc)"
  exit 0
fi

install_missing cmake g++ make pkg-config libtinyxml2-dev zlib1g-dev libminizip-dev libgtest-dev libbenchmark-dev unzip

build=${KV_BUILD_DIR:-build}
args=(-S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE="${KV_SANITIZE:-}")
[ -n "${KV_CC:-}" ] && args+=(-DCMAKE_C_COMPILER="$KV_CC")
[ -n "${KV_CXX:-}" ] && args+=(-DCMAKE_CXX_COMPILER="$KV_CXX")
cmake "${args[@]}" >/dev/null
# A run needs only kvsim and the service's executable, not the tests and benchmarks.
targets=()
[ "$mode" = run ] && targets=(--target kvsim KvCfgService)
cmake --build "$build" "${targets[@]}" -j"$(nproc)"

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
    results=$(mktemp -d)
    trap 'rm -rf "$results"' EXIT
    for name in $("$build/bench/kv_bench" --benchmark_list_tests | sed 's|/.*||' | sort -u); do
      "$build/bench/kv_bench" --benchmark_filter="^$name(/|\$)" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_counters_tabular=true \
        --benchmark_out="$results/$name.csv" --benchmark_out_format=csv
    done
    # The unpacking figures of this run together, each beside unzip's on the same package.
    echo
    echo "Unpacking against unzip in this run (medians of five, CPU time):"
    cat "$results"/BM_Unpack*.csv 2>/dev/null | awk -F, '
      function show(name, ours, theirs, unit, figure, goal) {
        printf "  %-28s system %7.1f %-9s  unzip %7.1f %-9s  %s %.2f (goal %s)\n", name, $column[ours], unit,
          $column[theirs], unit, figure, $column[figure], goal
      }
      /^name,/ { delete column; for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); column[h] = i }; next }
      /_median"/ {
        name = $1; gsub(/"/, "", name); sub(/\/iterations:.*/, "", name)
        if (("ratio_to_unzip" in column) && $column["ratio_to_unzip"] != "")
          show(name, "system_MiB_per_cpu_s", "unzip_MiB_per_cpu_s", "MiB/s", "ratio_to_unzip",
            "at least " $column["target_ratio"])
        else if (("time_to_unzip" in column) && $column["time_to_unzip"] != "")
          show(name, "system_us_per_member", "unzip_us_per_member", "us/member", "time_to_unzip",
            "at most " $column["target_time_to_unzip"])
        else
          printf "  %-28s no figure (the benchmark did not run to its end)\n", name
      }' ;;
esac
