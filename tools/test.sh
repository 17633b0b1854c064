#!/usr/bin/env bash
# Builds everything in build/ with warnings as errors, runs every test (the real-window
# ones on private virtual X servers) and checks the C++ sources' formatting.
# Installs missing Debian packages first. Exits non-zero if any step fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/install_deps.sh" test

failed=()

# Formatting first: it takes a second and is worth knowing even when a test fails.
mapfile -d '' sources < <(find "$root/src" "$root/tests" "$root/tools" -type f \
  \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if clang-format --dry-run --Werror "${sources[@]}"; then
  echo "test.sh: formatting of ${#sources[@]} files is clean"
else
  failed+=(formatting)
fi

if cmake -S "$root" -B "$root/build" -DBUILD_TESTING=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON &&
  cmake --build "$root/build" -j "$(nproc)"; then
  (cd "$root/build" && ctest --output-on-failure -j2) || failed+=(tests)
else
  failed+=(build)
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "test.sh: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: all passed"
