# What the scripts in tools/ share; sourced, never run. Expects $root, the checkout.

# Prefix for commands that need root: sudo, unless we are root already.
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# Builds the program alone, as tools/demo.sh does: a new build folder leaves the tests
# and benchmarks out (so nothing but the program's packages is needed); one that
# tools/test.sh set up keeps them. Messages go to stderr.
build_program() { # build-folder [cmake options...]
  local build=$1
  shift
  local configure=(cmake -S "$root" -B "$build" "$@")
  [ -f "$build/CMakeCache.txt" ] || configure+=(-DBUILD_TESTING=OFF -DDICE_BENCH=OFF)
  "${configure[@]}" >&2
  cmake --build "$build" --target dice -j "$(nproc)" >&2
}
