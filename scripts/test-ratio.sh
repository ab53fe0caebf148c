#!/usr/bin/env bash
# Prints the size of the test code against the product code: C++ lines under tests/ and fuzz/
# against src/ and tools/, blank lines and whole-line comments left out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
count() { git ls-files -z -- "$@" | xargs -0 cat | grep -c -v -E '^\s*(//.*)?$'; }
code=$(count 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h')
tests=$(count 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
echo "Test code: $tests lines against $code of product code ($((100 * tests / code)) %)"
