#!/usr/bin/env bash
# Proves, in a new bare Debian 12 root, that the README's commands do all the set-up.
#
# Builds a minimal Debian 12 root with debootstrap (mirror taken from this machine's
# apt configuration), adds sudo and an ordinary user with password-less sudo, copies
# the committed tree of HEAD into the user's home, and there, with no DISPLAY:
#   demo   tools/demo.sh until the die rests; standard output must be exactly the
#          account of assets/cube.3ds (dump, then the 291 path lines), and no test
#          tool may have been installed
#   test   tools/test.sh must pass
#   hand   in a second copy of the bare root, beside the other two: only the packages
#          named in docs/building.md ("Building by hand"), the two cmake commands, and
#          the same account
# Prints how long each stage took. Needs root; exits 0 only when every stage passed.
#
# Everything in the root runs inside a private mount and PID namespace, so no mount
# and no process can outlive the check, however it ends (^C included); the root is
# deleted only after the namespace is gone and nothing is mounted under it. The root
# gets no bind mount of the machine's /dev: debootstrap makes the device nodes.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=fresh_machine.sh
source "$repo/tools/lib/debian_root.sh"

copy_tree() { # root: the committed tree of HEAD, in the user's home
  mkdir "$1/home/$user/dice"
  git -C "$repo" archive HEAD | tar -x -C "$1/home/$user/dice"
  chroot "$1" chown -R "$user:$user" "/home/$user/dice"
}

stage_demo() {
  local stage_start=$SECONDS package
  watch_account demo "dice/tools/demo.sh" "$work/expected.out" assets/cube.3ds
  for package in libgtest-dev libbenchmark-dev python3; do
    ! chroot "$root" dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok' ||
      fail "demo: tools/demo.sh installed $package, which only the tests need"
  done
  log "demo: $((SECONDS - stage_start)) s (tools/demo.sh first, account exact)"
}

stage_test() {
  local stage_start=$SECONDS
  in_root_logged test.log "test: tools/test.sh failed" "cd dice && tools/test.sh"
  log "test: $((SECONDS - stage_start)) s ($(grep -E 'tests passed' "$work/test.log" | tail -n 1))"
}

stage_hand() {
  local stage_start=$SECONDS install
  # The page's own line, so the check fails if the page names too little.
  install=$(grep -m 1 '^sudo apt-get install ' "$root/home/$user/dice/docs/building.md") ||
    fail "hand: docs/building.md has no 'sudo apt-get install' line"
  in_root_logged hand.log "hand: $install" "sudo apt-get update -q && sudo ${install#sudo } -y -q"
  in_root_logged hand.log "hand: cmake -S . -B build && cmake --build build" \
    "cd dice && cmake -S . -B build && cmake --build build"
  # Something to show the window on; not needed to build.
  in_root "sudo apt-get install -y -q --no-install-recommends xvfb xauth" >>"$work/hand.log" 2>&1 </dev/null
  watch_account hand "bash -c 'cd dice/build && exec ../tools/with_xvfb.sh ./dice'" \
    "$work/expected.out" assets/cube.3ds
  log "hand: $((SECONDS - stage_start)) s (docs/building.md's packages, cmake by hand, account exact)"
}

inside() {
  work=$1
  mirror=$2
  root="$work/root"
  local started=$SECONDS stage_start=$SECONDS

  debian_root_make "$root"
  copy_tree "$root"
  # The by-hand stage needs a root as bare as this one.
  cp -a "$root" "$work/hand"
  mount_system "$root"
  mount_system "$work/hand"
  local tree="$root/home/$user/dice"
  python3 -B "$tree/tests/window/throw_path.py" "$tree/assets/cube.3ds" >"$work/expected.out"
  log "root: $((SECONDS - stage_start)) s (debootstrap $suite from this machine's apt mirror)"

  # The by-hand stage has a root of its own, so it runs beside the other two, which
  # share one, in order; it spends most of its time installing packages.
  (root="$work/hand" && stage_hand) &
  local hand=$!
  stage_demo
  stage_test
  wait "$hand" || fail "hand"
  log "all passed in $((SECONDS - started)) s"
}

if [ "${1:-}" = --inside ]; then
  inside "$2" "$3"
  exit
fi

# ---- outside: set up, run the namespaced part, clean up whatever happened ----

debian_root_prepare dice-fresh
debian_root_start "$repo/tools/fresh_machine.sh" --inside "$work" "$mirror"
status=0
debian_root_wait || status=$?
exit "$status"
