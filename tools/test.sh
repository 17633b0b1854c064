#!/usr/bin/env bash
# Builds everything, runs every test and checks the formatting: the test command.
#
# Builds in build/ with warnings as errors, runs every test (the real-window ones on
# private virtual X servers) and checks the C++ sources' formatting.
# Installs missing Debian packages first. Exits non-zero if any step fails.
#
#   tools/test.sh              the plain build
#   tools/test.sh --sanitize   the same tests built with AddressSanitizer and
#                              UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
options=()
case "${1:-}" in
  '') ;;
  --sanitize)
    build="$root/build-asan"
    options=(-DDICE_SANITIZE=ON)
    # Leak checking stays on for the call-level tests; the real-window tests turn
    # it off themselves, since Mesa's driver leaks at unload.
    export ASAN_OPTIONS=detect_leaks=1
    export UBSAN_OPTIONS=print_stacktrace=1
    ;;
  *) echo "usage: tools/test.sh [--sanitize]" >&2; exit 2 ;;
esac
"$root/tools/install_deps.sh" test

failed=()

# Formatting first: it takes a second and is worth knowing even when a test fails.
mapfile -d '' sources < <(find "$root/src" "$root/tests" "$root/tools" "$root/fuzz" "$root/bench" "$root/platform" -type f \
  \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if clang-format --dry-run --Werror "${sources[@]}"; then
  echo "test.sh: formatting of ${#sources[@]} files is clean"
else
  failed+=(formatting)
fi

if cmake -S "$root" -B "$build" -DBUILD_TESTING=ON -DDICE_REQUIRE_TESTS=ON -DDICE_BENCH=ON \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  "${options[@]}" && cmake --build "$build" -j "$(nproc)"; then
  (cd "$build" && ctest --output-on-failure -j2) || failed+=(tests)
else
  failed+=(build)
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "test.sh: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: all passed"
