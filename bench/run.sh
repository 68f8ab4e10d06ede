#!/usr/bin/env bash
# Builds the release preset, makes the benchmark corpora under build/release/bench-corpora (once) and
# prints a table per corpus. BENCH_RUNS sets the number of timed runs (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v powerpc-linux-gnu-nm >/dev/null || missing+=(binutils-powerpc-linux-gnu)
[[ -e /usr/powerpc-linux-gnu/lib/libc.a ]] || missing+=(libc6-dev-powerpc-cross)
ls /usr/lib/gcc-cross/powerpc-linux-gnu/*/libstdc++.a >/dev/null 2>&1 || missing+=(libstdc++-12-dev-powerpc-cross)
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q "${missing[@]}"
fi

cmake --preset release >/dev/null
cmake --build --preset release --target quorlix demangle_ghs
python3 bench/make_corpora.py build/release/bench-corpora
python3 bench/measure.py "$PWD/build/release" "$PWD/build/release/bench-corpora"
