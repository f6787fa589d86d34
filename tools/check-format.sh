#!/bin/sh
# The house style (.clang-format) over src/, tools/ and tests/: lists every file that
# clang-format would change and exits 1 when there is one. With --fix it rewrites them.
# Installs Debian's clang-format when the machine has none.
set -eu
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get install -y clang-format >/dev/null
fi
files=$(git ls-files 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'tests/*.cpp' 'tests/*.h')
if [ "${1:-}" = --fix ]; then
    # shellcheck disable=SC2086
    clang-format -i $files
    exit 0
fi
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
echo "check-format: $(echo "$files" | wc -l) files in the house style"
