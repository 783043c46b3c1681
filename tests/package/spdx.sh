#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file and script of the tree names its licence in its first
# lines (after a "#!" line). Lists the files that do not and fails.
# Usage: spdx.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

missing=0
checked=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT'; then
    echo "no SPDX line: $file"
    missing=$((missing + 1))
  fi
done < <(
  {
    find src tests bench fuzz scripts packaging .ci -type f \
      \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name 'CMakeLists.txt' \
         -o -name '*.service' -o -name '*.desktop' -o -name '*.1' -o -name 'run' \) \
      -not -path 'tests/data/*' -print0 2>/dev/null
    for top in CMakeLists.txt run.sh test.sh; do printf '%s\0' "$top"; done
  }
)
echo "spdx: $checked files checked, $missing without an SPDX line"
[ "$missing" = 0 ]
