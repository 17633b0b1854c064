#!/usr/bin/env bash
# Installs the Debian packages the project needs and the machine lacks.
#
# Usage: tools/install_deps.sh [demo|test|windows|package|package-check|web]
#   demo     build the program and run it, on a virtual X server if there is no display
#   test     all of demo, plus what the tests, the benchmarks, the format check and the
#            sanitizer builds use
#   windows  all of demo, plus what tools/windows.sh uses to cross-build the program
#            for Windows and check it under wine
#   package  all of demo, plus what tools/package.sh deb uses to make the Debian package
#   package-check  all of package, plus what tools/package.sh check uses to check it
#            with lintian and piuparts and in new Debian roots (the Windows zip's
#            packages come with tools/windows.sh)
#   web      all of demo, plus what tools/web.sh uses to build the page with emscripten,
#            check it in chromium, Firefox ESR and WebKitGTK against the Linux program's
#            window, and audit it (Node and npm for the npm packages in checks/)
# Installs nothing, and needs no network, when everything is there already.
set -euo pipefail

demo_packages=(
  g++ cmake make pkgconf  # pkg-config: CMake finds freeglut through it when present
  libglut-dev libglu1-mesa-dev libgl-dev libgl1-mesa-dri
  xvfb xauth
)
x_tools=(xdotool imagemagick x11-utils python3) # the program's window driven and watched
deb_tools=(
  dpkg-dev  # dpkg-shlibdeps for the Depends line, dpkg-buildflags
  file      # CPack finds the programs to hand dpkg-shlibdeps with it
  desktop-file-utils
)

# Each command's packages beside the demo's.
case "${1:-test}" in
  demo) wanted=() ;;
  test) wanted=(
    "${x_tools[@]}" libgtest-dev libbenchmark-dev
    clang clang-format libclang-rt-dev  # the default clang's sanitizer and fuzzer runtimes
  ) ;;
  windows) wanted=(
    "${x_tools[@]}" wine wine64
    g++-mingw-w64-x86-64-win32  # the program needs no threads: the smaller variant
    dpkg-dev                    # apt-get source unpacks freeglut's source with it
  ) ;;
  package) wanted=("${deb_tools[@]}") ;;
  package-check) wanted=("${deb_tools[@]}" lintian debootstrap piuparts unzip python3) ;;
  web) wanted=(
    "${x_tools[@]}"
    emscripten chromium chromium-driver python3-selenium  # the check drives the page through these
    firefox-esr webkit2gtk-driver nodejs npm
  ) ;;
  *) echo "usage: install_deps.sh [demo|test|windows|package|package-check|web]" >&2; exit 2 ;;
esac
wanted+=("${demo_packages[@]}")

# What the installed packages provide counts as installed: a nodejs of another origin
# than Debian's may bring npm in itself, and refuse Debian's npm beside it.
provided=" $(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null |
  sed -n 's/^ii *|//p' | sed 's/ *([^)]*)//g' | tr ',\n' '  ') "
missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || [[ $provided == *" $package "* ]] ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Everything here goes to stderr: the demo's standard output is the program's alone.
exec >&2
echo "install_deps.sh: installing ${missing[*]}"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/lib/common.sh"
if [ ${#as_root[@]} -ne 0 ] && ! command -v sudo >/dev/null; then
  echo "install_deps.sh: not root and no sudo; install: ${missing[*]}" >&2
  exit 1
fi
# Another install may hold dpkg's lock (two scripts set up at once): wait for it.
lock_wait=(-o DPkg::Lock::Timeout=600)
"${as_root[@]}" apt-get "${lock_wait[@]}" update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get "${lock_wait[@]}" install -y -q --no-install-recommends "${missing[@]}" </dev/null
