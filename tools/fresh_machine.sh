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
suite=bookworm
user=dev
demo_timeout=900 # seconds, packages and build included
still_watch=2    # seconds the resting die is watched for stray output

log() { echo "fresh_machine.sh: $*"; }
fail() {
  log "FAILED: $*" >&2
  exit 1
}

# ---- inside the namespaces: we are PID 1 of our own PID namespace ----

user_shell() { # the ordinary user's shell in $root, with a bare login environment
  shell=(chroot --userspec="$user:$user" --groups="$user" "$root"
    env -i HOME="/home/$user" USER="$user" LOGNAME="$user" SHELL=/bin/bash
    PATH=/usr/local/bin:/usr/bin:/bin bash -c)
}

in_root() { # command: run in the user's home
  user_shell
  "${shell[@]}" "cd ~ && $1"
}

kill_strays() { # whatever a stage left running in $root would slow the rest down
  local link
  for link in /proc/[0-9]*/root; do
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && kill -KILL "${link//[!0-9]/}" 2>/dev/null
  done
  return 0
}

mount_system() { # root: what a running Debian has mounted; all of it dies with us
  mount -t proc proc "$1/proc"
  mount -t sysfs -o ro sysfs "$1/sys"
  mount -t devpts -o newinstance,ptmxmode=666 devpts "$1/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$1/dev/shm"
}

add_user() { # root
  chroot "$1" useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL) NOPASSWD:ALL" >"$1/etc/sudoers.d/$user"
  chmod 440 "$1/etc/sudoers.d/$user"
  cp /etc/resolv.conf "$1/etc/resolv.conf"
  mkdir "$1/home/$user/dice"
  git -C "$repo" archive HEAD | tar -x -C "$1/home/$user/dice"
  chroot "$1" chown -R "$user:$user" "/home/$user/dice"
}

# Runs a command as the user until the account's 291 path lines are out and a little
# longer, stops it, and compares its standard output with the expected account.
watch_account() { # name command
  local name=$1 command=$2 out="$work/$1.out" pid
  user_shell
  # exec all the way down, so the TERM below reaches the command itself
  (exec "${shell[@]}" "cd ~ && exec $command") >"$out" 2>"$work/$name.err" </dev/null &
  pid=$!
  local deadline=$((SECONDS + demo_timeout))
  while [ "$(tr -cd '\t' <"$out" | wc -c)" -lt 291 ]; do
    if ! kill -0 "$pid" 2>/dev/null; then
      tail -n 30 "$work/$name.err" >&2
      fail "$name: the command ended before the die came to rest"
    fi
    [ $SECONDS -lt $deadline ] || fail "$name: the die did not come to rest within ${demo_timeout} s"
    sleep 1
  done
  sleep "$still_watch"
  kill -TERM "$pid"
  wait "$pid" || true
  kill_strays
  if ! cmp -s "$out" "$work/expected.out"; then
    cmp "$out" "$work/expected.out" >&2 || true
    diff <(head -c 2000 "$out") <(head -c 2000 "$work/expected.out") | head -n 20 >&2 || true
    fail "$name: standard output is not exactly the account of assets/cube.3ds"
  fi
}

stage_demo() {
  local stage_start=$SECONDS package
  watch_account demo "dice/tools/demo.sh"
  for package in libgtest-dev libbenchmark-dev python3; do
    ! chroot "$root" dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok' ||
      fail "demo: tools/demo.sh installed $package, which only the tests need"
  done
  log "demo: $((SECONDS - stage_start)) s (tools/demo.sh first, account exact)"
}

stage_test() {
  local stage_start=$SECONDS
  if ! in_root "cd dice && tools/test.sh" >"$work/test.log" 2>&1 </dev/null; then
    tail -n 40 "$work/test.log" >&2
    fail "test: tools/test.sh failed"
  fi
  log "test: $((SECONDS - stage_start)) s ($(grep -E 'tests passed' "$work/test.log" | tail -n 1))"
}

stage_hand() {
  local stage_start=$SECONDS install
  # The page's own line, so the check fails if the page names too little.
  install=$(grep -m 1 '^sudo apt-get install ' "$root/home/$user/dice/docs/building.md") ||
    fail "hand: docs/building.md has no 'sudo apt-get install' line"
  in_root "sudo apt-get update -q && sudo ${install#sudo } -y -q" >"$work/hand.log" 2>&1 </dev/null ||
    {
      tail -n 20 "$work/hand.log" >&2
      fail "hand: $install"
    }
  in_root "cd dice && cmake -S . -B build && cmake --build build" >>"$work/hand.log" 2>&1 </dev/null ||
    {
      tail -n 30 "$work/hand.log" >&2
      fail "hand: cmake -S . -B build && cmake --build build"
    }
  # Something to show the window on; not needed to build.
  in_root "sudo apt-get install -y -q --no-install-recommends xvfb xauth" >>"$work/hand.log" 2>&1 </dev/null
  watch_account hand "bash -c 'cd dice/build && exec ../tools/with_xvfb.sh ./dice'"
  log "hand: $((SECONDS - stage_start)) s (docs/building.md's packages, cmake by hand, account exact)"
}

inside() {
  work=$1
  mirror=$2
  root="$work/root"
  local started=$SECONDS stage_start=$SECONDS

  debootstrap --variant=minbase --include=sudo "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    {
      tail -n 20 "$work/debootstrap.log" >&2
      fail "debootstrap"
    }
  add_user "$root"
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

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mounts)"
for tool in debootstrap python3 git unshare; do
  command -v "$tool" >/dev/null || missing_tools=1
done
if [ -n "${missing_tools:-}" ]; then
  apt-get update -q >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    debootstrap python3 git util-linux </dev/null >&2
fi

# The first configured source of the suite's main component: the mirror this
# machine already uses.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(TARGET_OF)' |
  awk -v suite="$suite" '$2 == suite && $3 == "main" && $4 == "deb" { print $1; exit }')
[ -n "$mirror" ] || fail "no apt source for Debian $suite main in this machine's configuration"

work=$(mktemp -d /var/tmp/dice-fresh.XXXXXX)
namespace_pid=""

clean_up() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$namespace_pid" ]; then
    # unshare --kill-child passes this on to our PID 1, and the kernel ends
    # every process of the namespace with it, and with them its mounts.
    kill -KILL "$namespace_pid" 2>/dev/null || true
    wait "$namespace_pid" 2>/dev/null || true
  fi
  # The namespace's processes die with its PID 1; wait until none is left in the root.
  local tries=0 left
  while [ $tries -lt 300 ] && find /proc -maxdepth 2 -name root -lname "$work/*" 2>/dev/null | grep -q .; do
    sleep 0.1
    tries=$((tries + 1))
  done
  left=$(awk -v dir="$work" 'index($5, dir) == 1 { print $5 }' /proc/self/mountinfo)
  if [ -n "$left" ]; then
    log "still mounted, so $work is kept: $left" >&2
    exit 1
  fi
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# --pdeathsig: even a SIGKILL of this script takes the namespace with it.
setpriv --pdeathsig KILL unshare --mount --propagation private --pid --fork --kill-child --mount-proc \
  "$repo/tools/fresh_machine.sh" --inside "$work" "$mirror" &
namespace_pid=$!
status=0
wait "$namespace_pid" || status=$?
namespace_pid=""
exit "$status"
