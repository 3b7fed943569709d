#!/usr/bin/env bash
# Set-up, build and the whole test suite: the normal build (gcc) and a clang build with
# AddressSanitizer, UBSan and the libFuzzer targets run for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTAPELOOM_SANITIZE=ON -DTAPELOOM_FUZZ=ON -DTAPELOOM_BUILD_UI=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
