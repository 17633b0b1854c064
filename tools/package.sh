#!/usr/bin/env bash
# Makes the Debian package and the Windows zip in dist/, and checks both where a user would use them.
#
# Usage: tools/package.sh deb|windows|check
#   deb      dist/dice_VERSION_amd64.deb: built in build-package/ with Debian's build
#            flags, laid out as a Debian game, made by CPack, its Depends line worked
#            out by dpkg-shlibdeps, freeglut's at least the version this release ships
#   windows  dist/dice-VERSION-win64.zip: the MinGW-w64 cross build of tools/windows.sh
#            (freeglut linked in), then CPack: one folder with dice.exe, cube.3ds,
#            die.bmp, LICENSE.txt and README.txt
#   check    both, then (needs root):
#              lintian  no errors on the package; its whole output is printed
#              roots    a new bare root of each Debian release (12 and 13), with an
#                       ordinary user, as tools/fresh_machine.sh makes it
#                       (tools/lib/debian_root.sh)
#              build    in a copy of the root of each release this machine does not
#                       run, the user's tools/package.sh deb on the committed tree;
#                       then, beside the stages below, that release's lintian on its
#                       package there: no errors
#            then each package, this machine's and each built there, in a copy of
#            each bare root, all at once:
#              install  the user's sudo apt-get install ./dice_VERSION_amd64.deb; where
#                       apt refuses it for its dependencies, apt's words are printed and
#                       that is the result, else
#              piuparts Debian's piuparts, on another copy of the bare root, beside the
#                       stages below: the package installs with what it depends on, and
#                       its purge leaves no file behind
#              home     dice from the home folder, on Xvfb: standard output exactly the
#                       account of the shipped die
#              other    dice from a folder holding another valid cube.3ds: exactly its
#                       account
#              roll     dice --roll 3 --seed 11 from that folder: the shipped die's
#                       account exactly (a die.bmp not found would add a line), and
#                       the roll's line on stderr
#              man      man 6 dice finds the installed page and shows it
#              zip      beside the roots, on this machine: the zip unpacked, dice.exe
#                       started from its folder under wine in a new wine prefix: the
#                       account of its cube.3ds exactly, CR LF read as LF
#            Prints how long each stage took; exits 0 only when every stage passed.
# Set-up and build messages go to stderr.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=package.sh
# In the library, $root is the new Debian root; the checkout is $repo here.
source "$repo/tools/lib/debian_root.sh"
# Another valid die for the folder that holds its own cube.3ds (tests/3ds/PROVENANCE.md).
other_die="$repo/tests/3ds/cube_hierarchy.3ds"

cpack_version() { # build folder: the version CMake's project() gave
  sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/CPackConfig.cmake"
}

make_deb() {
  local started=$SECONDS build="$repo/build-package" version arch
  "$repo/tools/install_deps.sh" package
  # Clean means no hint either: desktop-file-validate exits 0 on those.
  local verdict
  verdict=$(desktop-file-validate "$repo/packaging/dice.desktop" 2>&1) ||
    fail "deb: packaging/dice.desktop: $verdict"
  [ -z "$verdict" ] || fail "deb: packaging/dice.desktop: $verdict"
  # Debian's own build flags (hardening included), to which the build type None adds
  # nothing; from the checkout, so the source paths they map are this one's.
  local cxxflags ldflags
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all # bindnow too, which lintian asks for
  cxxflags="$(cd "$repo" && dpkg-buildflags --get CPPFLAGS) $(cd "$repo" && dpkg-buildflags --get CXXFLAGS)"
  ldflags=$(cd "$repo" && dpkg-buildflags --get LDFLAGS)
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DDICE_DEBIAN_LAYOUT=ON -DBUILD_TESTING=OFF -DDICE_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
  cmake --build "$build" --target dice -j 2 >&2
  version=$(cpack_version "$build")
  arch=$(dpkg --print-architecture)
  deb="$repo/dist/dice_${version}_$arch.deb"
  cpack_into_dist "$build" "${deb##*/}"
  # CPack gives dpkg-shlibdeps packaging.cmake's freeglut line by a file in its own
  # staging folder: make sure it took it.
  local glut depends
  glut=$(sed -n '1s/^[^ ]* [^ ]* //p' "$build/packaging/shlibs.local")
  depends=$(dpkg-deb -f "$deb" Depends)
  [[ "$depends" == *"$glut"* ]] || fail "deb: its Depends line has not $glut: $depends"
  log "deb: ${deb#"$repo"/} in $((SECONDS - started)) s (Depends: $depends)"
}

cpack_into_dist() { # build-folder file: the build's package, made by CPack, copied into dist/
  rm -rf "$1/cpack"
  cpack --config "$1/CPackConfig.cmake" -B "$1/cpack" >&2
  mkdir -p "$repo/dist"
  cp "$1/cpack/$2" "$repo/dist/$2"
}

make_zip() {
  local started=$SECONDS build="$repo/build-windows" version
  "$repo/tools/windows.sh" build
  version=$(cpack_version "$build")
  zip="$repo/dist/dice-$version-win64.zip"
  cpack_into_dist "$build" "${zip##*/}"
  log "windows: ${zip#"$repo"/} in $((SECONDS - started)) s"
}

# ---- check, inside the namespaces ----

# Each package is tried, as a user would, in a copy of a bare root of each release;
# nothing uses a bare root but to copy it, so they stay bare whatever runs at once.

stage_install() { # sets $refused when apt refuses the package, and says in its words why
  local stage_start=$SECONDS before_packages status=0
  refused=""
  # man-db to look the page up with, which a minimal root lacks.
  in_root_logged "$cell.install.log" "$what: install: apt-get install man-db" \
    "sudo apt-get update -q && sudo apt-get install -y -q man-db"
  before_packages=$(chroot "$root" dpkg-query -W | wc -l)
  in_root "sudo apt-get install -y -q ./${deb##*/}" >"$work/$cell.apt.log" 2>&1 </dev/null || status=$?
  if [ $status -ne 0 ]; then
    # Refused means: its unmet dependencies named by apt, and nothing of it installed.
    local unmet state
    unmet=$(sed -n '/^The following packages have unmet dependencies:$/,/^E: /p' "$work/$cell.apt.log")
    state=$(chroot "$root" dpkg-query -W -f='${Status}' dice 2>/dev/null || true)
    if ! grep -q '^ dice : Depends: ' <<<"$unmet" || [ -n "$state" ]; then
      tail -n 30 "$work/$cell.apt.log" >&2
      fail "$what: install: sudo apt-get install ./${deb##*/} (status $status)"
    fi
    refused=1
    log "$what: install: $((SECONDS - stage_start)) s, refused by apt (status $status):"
    sed 's/^/  /' <<<"$unmet"
    return 0
  fi
  log "$what: install: $((SECONDS - stage_start)) s (sudo apt-get install ./${deb##*/}: it and" \
    "$(($(chroot "$root" dpkg-query -W | wc -l) - before_packages - 1)) packages it needs)"
  # A display to show the window on, as a desktop has; after the package, so that
  # what the program needs comes from the package's own Depends line.
  in_root_logged "$cell.install.log" "$what: install: xvfb" \
    "sudo apt-get install -y -q --no-install-recommends xvfb xauth"
}

stage_piuparts() { # Debian's own install and purge test, in a copy of the bare root
  local stage_start=$SECONDS verdict bare="$work/$cell.piuparts-root"
  cp -a "$work/bare-$release" "$bare"
  # Debian 13's debconf keeps a folder of its own that Debian 12's piuparts does not
  # know yet, and later ones ignore.
  piuparts --distribution "$suite" --mirror "$mirror main" --existing-chroot "$bare" \
    --hard-link --tmpdir "$work" --no-upgrade-test --ignore /var/cache/debconf/tmp.ci/ \
    "$deb" >"$work/$cell.piuparts.log" 2>&1 </dev/null || {
    tail -n 30 "$work/$cell.piuparts.log" >&2
    fail "$what: piuparts: $(grep -m 1 -o 'FAIL: .*' "$work/$cell.piuparts.log" ||
      echo "stopped; its log's end is above")"
  }
  verdict=$(grep -o 'PASS: .*' "$work/$cell.piuparts.log" | paste -sd ' ')
  log "$what: piuparts: $((SECONDS - stage_start)) s ($verdict)"
}

stage_accounts() {
  local stage_start=$SECONDS
  run_to_rest_as_user "$cell.home" "$work/$cell.deb/usr/share/games/dice/cube.3ds" "with_xvfb.sh dice"
  log "$what: home: $((SECONDS - stage_start)) s (dice from the home folder, the shipped die's account exact)"
  stage_start=$SECONDS
  run_to_rest_as_user "$cell.other" "$other_die" "env -C other with_xvfb.sh dice"
  log "$what: other: $((SECONDS - stage_start)) s (dice from a folder with ${other_die##*/} as its" \
    "cube.3ds, that file's account exact)"
  stage_start=$SECONDS
  run_to_rest_as_user "$cell.roll" "$work/$cell.deb/usr/share/games/dice/cube.3ds" \
    "env -C other with_xvfb.sh dice --roll 3 --seed 11"
  grep -qxF "dice: rolled 3 dice: 4 + 6 + 5 = 15 (seed 11)" "$work/$cell.roll.err" ||
    fail "$what: roll: dice --roll 3 --seed 11 said: $(tail -n 3 "$work/$cell.roll.err")"
  log "$what: roll: $((SECONDS - stage_start)) s (dice --roll 3 --seed 11 from that folder: the" \
    "shipped die's account exact, so its die.bmp found; the roll said)"
}

stage_man() {
  local stage_start=$SECONDS page=/usr/share/man/man6/dice.6.gz found name_line out="$work/$cell.man"
  found=$(in_root "man -w 6 dice" 2>&1 </dev/null) || fail "$what: man: man -w 6 dice: $found"
  [ "$found" = "$page" ] || fail "$what: man: man 6 dice finds '$found', not $page"
  in_root "MANWIDTH=80 man 6 dice" >"$out.out" 2>"$out.err" </dev/null ||
    fail "$what: man: man 6 dice: $(cat "$out.err")"
  [ ! -s "$out.err" ] || fail "$what: man: man 6 dice warns: $(cat "$out.err")"
  in_root "MANWIDTH=80 man -l $page" >"$out.file" 2>/dev/null </dev/null
  cmp -s "$out.out" "$out.file" || fail "$what: man: man 6 dice does not show $page"
  name_line=$(sed -n 4p "$out.out")
  [ "$name_line" = "       dice - a die thrown in a 3D window, its path told on the console" ] ||
    fail "$what: man: the page's name line is '$name_line'"
  log "$what: man: $((SECONDS - stage_start)) s (man 6 dice shows $page, $(wc -l <"$out.out") lines)"
}

try_package() { # id name deb release: the package (its name for the log) tried on that release
  local started=$SECONDS home
  deb=$3
  debian_root_release "$4"
  cell="$1-on-$release"
  what="$2 on Debian $release"
  root="$work/$cell"
  cp -a "$work/bare-$release" "$root"
  mount_system "$root"
  home="$root/home/$user"
  cp "$deb" "$home/"
  mkdir "$home/other"
  cp "$other_die" "$home/other/cube.3ds"
  chroot "$root" chown -R "$user:$user" "/home/$user"
  install -m 755 "$repo/tools/with_xvfb.sh" "$root/usr/local/bin/with_xvfb.sh"
  install -D -m 644 "$repo/tools/lib/clean_up.sh" "$root/usr/local/bin/lib/clean_up.sh" # it sources this
  # What the root is checked against: the package's own die.
  dpkg-deb -x "$deb" "$work/$cell.deb"

  stage_install
  [ -z "$refused" ] || return 0
  # piuparts mostly waits for the mirror and dpkg, the stages for the processor.
  stage_piuparts &
  local piuparts=$!
  stage_accounts
  stage_man
  wait "$piuparts" || exit 1 # it has said why
  log "$what: passed in $((SECONDS - started)) s"
}

try_everywhere() { # id name deb: the package tried on each release at once
  local release
  for release in $(debian_releases); do
    try_package "$@" "$release" &
  done
  wait_jobs
}

build_package() { # release: the package that release builds, by the user's tools/package.sh deb
  local stage_start=$SECONDS dist
  debian_root_release "$1"
  root="$work/build-$release"
  cp -a "$work/bare-$release" "$root"
  copy_tree "$root"
  mount_system "$root"
  in_root_logged "build-$release.log" "build on Debian $release: tools/package.sh deb" \
    "cd dice && tools/package.sh deb"
  dist="$root/home/$user/dice/dist"
  [ -f "$dist/$deb_name" ] || fail "build on Debian $release: tools/package.sh deb made no dist/$deb_name"
  mkdir "$work/built-$release"
  cp "$dist/$deb_name" "$work/built-$release/"
  log "build on Debian $release: $((SECONDS - stage_start)) s (the user's tools/package.sh deb:" \
    "$(sed -n 's/^package.sh: deb: .* in \([0-9]* s\) .*/\1/p' "$work/build-$release.log"), its packages" \
    "installed; Depends: $(dpkg-deb -f "$dist/$deb_name" Depends))"
}

lintian_in_root() { # that release's own lintian on the package, where it was built
  local stage_start=$SECONDS status=0 out="$work/lintian-$release"
  in_root_logged "build-$release.log" "lintian, Debian $release: apt-get install lintian" \
    "sudo apt-get install -y -q --no-install-recommends lintian"
  in_root "cd dice && lintian --fail-on error dist/$deb_name" >"$out.out" 2>"$out.err" </dev/null || status=$?
  echo "lintian, Debian $release, on its own build:"
  cat "$out.out" "$out.err"
  [ $status -eq 0 ] || fail "lintian, Debian $release: errors on its own build, or it could not run (status $status)"
  log "lintian, Debian $release: $((SECONDS - stage_start)) s, its installation included (no errors)"
}

wait_jobs() { # this shell's background jobs; exits at the first that fails (it has said why)
  local pid status
  while :; do
    status=0
    wait -n -p pid || status=$?
    [ -n "${pid:-}" ] || return 0 # none left: wait leaves it unset
    [ $status -eq 0 ] || exit 1
  done
}

inside() { # work mirror deb: the package built on this machine
  work=$1
  mirror=$2
  local here_deb=$3 started=$SECONDS host here="this machine's build"
  deb_name=${here_deb##*/}
  user_login=true    # PATH from /etc/profile, /usr/games included, as a user logs in
  account_timeout=300
  host=$(debian_host_release)
  [ -z "$host" ] || here="the Debian $host build"

  # The bare roots of both releases at once: mostly waiting for the mirror.
  for release in $(debian_releases); do
    (
      stage_start=$SECONDS
      debian_root_release "$release"
      debian_root_make "$work/bare-$release"
      log "root, Debian $release: $((SECONDS - stage_start)) s (debootstrap $suite from this machine's apt mirror)"
    ) &
  done
  wait_jobs

  # Each release this machine is not builds the package too; each package is tried
  # on each release, all at once.
  for release in $(debian_releases); do
    if [ "$release" != "$host" ]; then
      (
        build_package "$release"
        lintian_in_root &
        try_everywhere "built-$release" "the Debian $release build" "$work/built-$release/$deb_name" &
        wait_jobs
      ) &
    fi
  done
  try_everywhere here "$here" "$here_deb" &
  wait_jobs
  log "root stages passed in $((SECONDS - started)) s"
}

if [ "${1:-}" = --inside ]; then
  inside "${@:2}"
  exit
fi

# ---- check, outside ----

lintian_stage() {
  local stage_start=$SECONDS status=0 folder="$work/lintian"
  echo "lintian ${deb#"$repo"/}:"
  # Not as root, which lintian advises against; so on a copy, from a folder of its
  # own (the clone may lie where nobody may enter), its cache files in there too,
  # since it leaves them behind.
  mkdir "$folder"
  cp "$deb" "$folder/"
  chown -R nobody:nogroup "$folder"
  chmod 711 "$work"
  setpriv --reuid=nobody --regid=nogroup --clear-groups env -C "$folder" HOME=/nonexistent \
    TMPDIR="$folder" lintian --fail-on error "${deb##*/}" >"$work/lintian.out" 2>"$work/lintian.err" ||
    status=$?
  cat "$work/lintian.out" "$work/lintian.err"
  if [ $status -ne 0 ]; then
    # A lintian that cannot run at all tags nothing, and says why on stderr.
    grep -q '^E: ' "$work/lintian.out" ||
      fail "lintian: could not check ${deb#"$repo"/} (status $status): $(head -n 1 "$work/lintian.err")"
    fail "lintian: errors on ${deb#"$repo"/}"
  fi
  log "lintian: $((SECONDS - stage_start)) s (no errors)"
}

zip_pid=""
stop_zip() { # the zip's run: with_xvfb.sh ends wine and the display
  if [ -n "$zip_pid" ]; then
    kill -TERM "$zip_pid" 2>/dev/null || true
    wait "$zip_pid" 2>/dev/null || true
  fi
}

check() {
  local started=$SECONDS
  debian_root_prepare dice-package # first: it needs root, as the rest of the check does
  on_exit stop_zip # before the root's clean-up
  "$repo/tools/install_deps.sh" package-check
  make_deb
  make_zip
  lintian_stage
  debian_root_start "$repo/tools/package.sh" --inside "$work" "$mirror" "$deb"

  # The zip beside the roots: it runs here, mostly on the processor, while the roots
  # mostly install packages.
  local top
  mkdir "$work/windows"
  unzip -q "$zip" -d "$work/windows"
  top="$work/windows/$(basename "$zip" .zip)"
  WINEPREFIX="$work/wine" WINEARCH=win64 WINEDEBUG=-all \
    "$repo/tools/with_xvfb.sh" --wine bash -c 'wineboot -i >/dev/null 2>&1 || exit
      echo "wine prefix: $SECONDS s"; python3 "$@" || exit; echo "zip stage: $SECONDS s"' \
    wine "$repo/checks/zip_check.py" "$zip" "$top" >"$work/zip.log" 2>&1 </dev/null &
  zip_pid=$!

  local root_status=0 zip_status=0
  debian_root_wait || root_status=$?
  wait "$zip_pid" || zip_status=$?
  zip_pid=""
  if [ $zip_status -ne 0 ]; then
    tail -n 20 "$work/zip.log" >&2
    fail "zip: dice.exe from the unpacked zip under wine (status $zip_status)"
  fi
  log "zip: $(sed -n 's/^zip stage: //p' "$work/zip.log"), beside the roots (a new wine prefix in" \
    "$(sed -n 's/^wine prefix: //p' "$work/zip.log"); $(grep '^PASS' "$work/zip.log"))"
  [ $root_status -eq 0 ] || exit "$root_status"
  log "all passed in $((SECONDS - started)) s"
}

usage() {
  echo "usage: tools/package.sh deb|windows|check" >&2
  exit 2
}
[ $# -eq 1 ] || usage
case "$1" in
  deb) make_deb ;;
  windows) make_zip ;;
  check) check ;;
  *) usage ;;
esac
