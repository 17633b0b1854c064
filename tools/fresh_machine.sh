#!/usr/bin/env bash
# Proves, in a new bare Debian 12 or 13 root, that the README's commands do all the set-up.
#
# Usage: tools/fresh_machine.sh [--release 12|13] [--sanitize] [--run COMMAND]
#
# Builds a minimal root of the Debian release asked for (12 without --release) with
# debootstrap, from the Debian mirror this machine's apt configuration names, whichever
# release this machine runs; adds sudo and an ordinary user with password-less sudo,
# copies the committed tree of HEAD into the user's home, and there, with no DISPLAY:
#   demo      tools/demo.sh until the die rests; standard output must be exactly the
#             account of assets/cube.3ds (dump, then the 291 path lines), and no test
#             tool may have been installed
#   test      tools/test.sh must pass
#   sanitize  with --sanitize: then tools/test.sh --sanitize must pass too (GCC's
#             sanitizers differ between releases)
#   hand      in a second copy of the bare root, beside the others: only the packages
#             named in docs/building.md ("Building by hand"), the two cmake commands,
#             and the same account
# Prints how long each stage took. Needs root; exits 0 only when every stage passed.
# With --run, none of the stages: COMMAND runs instead, as the user in the tree, its
# output as it comes (standard input is empty), for trying anything by hand on a new
# machine of that release; exits with COMMAND's status.
#
# Everything in the root runs inside a private mount and PID namespace, so no mount
# and no process can outlive the check, however it ends (^C included); the root is
# deleted only after the namespace is gone and nothing is mounted under it. The root
# gets no bind mount of the machine's /dev: debootstrap makes the device nodes.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=fresh_machine.sh
source "$repo/tools/lib/debian_root.sh"

stage_demo() {
  local stage_start=$SECONDS package
  run_to_rest_as_user demo "$model" dice/tools/demo.sh
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

stage_sanitize() {
  local stage_start=$SECONDS
  in_root_logged sanitize.log "sanitize: tools/test.sh --sanitize failed" "cd dice && tools/test.sh --sanitize"
  log "sanitize: $((SECONDS - stage_start)) s ($(grep -E 'tests passed' "$work/sanitize.log" | tail -n 1))"
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
  run_to_rest_as_user hand "$model" "bash -c 'cd dice/build && exec ../tools/with_xvfb.sh ./dice'"
  log "hand: $((SECONDS - stage_start)) s (docs/building.md's packages, cmake by hand, account exact)"
}

stage_run() { # command
  local stage_start=$SECONDS status=0
  in_root "cd dice && $1" </dev/null || status=$?
  log "run: $((SECONDS - stage_start)) s, status $status: $1"
  return "$status"
}

inside() { # work mirror release sanitize(yes|no) [command]
  work=$1
  mirror=$2
  debian_root_release "$3"
  root="$work/root"
  local started=$SECONDS stage_start=$SECONDS

  debian_root_make "$root"
  copy_tree "$root"
  if [ $# -eq 5 ]; then
    mount_system "$root"
    log "root: $((SECONDS - stage_start)) s (debootstrap $suite from this machine's apt mirror)"
    stage_run "$5"
    return
  fi
  # The by-hand stage needs a root as bare as this one.
  cp -a "$root" "$work/hand"
  mount_system "$root"
  mount_system "$work/hand"
  model="$root/home/$user/dice/assets/cube.3ds" # the account both stages must print
  log "root: $((SECONDS - stage_start)) s (debootstrap $suite from this machine's apt mirror)"

  # The by-hand stage has a root of its own, so it runs beside the others, which
  # share one, in order; it spends most of its time installing packages.
  (root="$work/hand" && stage_hand) &
  local hand=$!
  stage_demo
  stage_test
  [ "$4" = no ] || stage_sanitize
  wait "$hand" || fail "hand"
  log "all passed in $((SECONDS - started)) s"
}

if [ "${1:-}" = --inside ]; then
  inside "${@:2}"
  exit
fi

# ---- outside: set up, run the namespaced part, clean up whatever happened ----

usage() {
  echo "usage: tools/fresh_machine.sh [--release 12|13] [--sanitize] [--run COMMAND]" >&2
  exit 2
}
run=()
sanitize=no
while [ $# -gt 0 ]; do
  case "$1" in
    --release) debian_root_release "${2:-}"; shift ;;
    --sanitize) sanitize=yes ;;
    --run) [ -n "${2:-}" ] || usage; run=("$2"); shift ;;
    *) usage ;;
  esac
  shift
done
debian_root_prepare dice-fresh
debian_root_start "$repo/tools/fresh_machine.sh" --inside "$work" "$mirror" "$release" "$sanitize" "${run[@]}"
status=0
debian_root_wait || status=$?
exit "$status"
