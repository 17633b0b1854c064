#!/usr/bin/env bash
# Installs the Debian packages the project needs and the machine lacks.
#
# Usage: tools/install_deps.sh [demo|test]
#   demo  build the program and run it, on a virtual X server if there is no display
#   test  all of demo, plus what the tests, the benchmarks, the format check and the
#         sanitizer builds use
# Installs nothing, and needs no network, when everything is there already.
set -euo pipefail

demo_packages=(
  g++ cmake make pkg-config  # pkg-config: CMake finds freeglut through it when present
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  xvfb xauth
)
test_packages=(
  "${demo_packages[@]}"
  libgtest-dev libbenchmark-dev
  xdotool imagemagick x11-utils python3
  clang clang-format libclang-rt-14-dev
)

case "${1:-test}" in
  demo) wanted=("${demo_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: install_deps.sh [demo|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Everything here goes to stderr: the demo's standard output is the program's alone.
exec >&2
echo "install_deps.sh: installing ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install_deps.sh: not root and no sudo; install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
