#!/usr/bin/env bash
# format.sh SOURCE_DIR: every C and C++ source that git tracks is as clang-format
# (.clang-format at the root) would write it.
set -euo pipefail
cd "$1"
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
[ ${#sources[@]} -gt 0 ] || { echo "no tracked sources under $1"; exit 1; }
clang-format --dry-run --Werror "${sources[@]}"
echo "${#sources[@]} sources formatted"
