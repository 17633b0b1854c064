# A new bare Debian root of either release with an ordinary user, for the checks that
# must see what a new user sees (tools/fresh_machine.sh, tools/package.sh check);
# sourced, never run.
#
# The sourcing script sets $tool (its name, for messages) and $repo (the checkout), and
# runs in two parts:
#   outside  debian_root_release NUMBER when asked for another release than Debian 12,
#            debian_root_prepare NAME (root, tools, the mirror, the work folder $work and
#            its clean-up), then debian_root_start SCRIPT ARGS... and debian_root_wait. The
#            script is run again as PID 1 of a private mount and PID namespace, so no
#            mount and no process can outlive the check, however it ends (^C included);
#            $work is deleted only after the namespace is gone and nothing is mounted
#            under it. A script with work of its own beside the namespace gives its
#            clean-up to on_exit (tools/lib/clean_up.sh) after debian_root_prepare.
#   inside   debian_root_release with the number passed in, debian_root_make ROOT
#            (debootstrap, sudo, the user), copy_tree ROOT (the committed tree, for the
#            user), mount_system ROOT, and the helpers below to run commands as the user
#            and run the program until the die rests.
# The root gets no bind mount of the machine's /dev: debootstrap makes the device nodes.

source "$(dirname "${BASH_SOURCE[0]}")/clean_up.sh"
source "$(dirname "${BASH_SOURCE[0]}")/debian_release.sh"
release=$debian_release_default
suite=$(debian_suite "$release")
user=dev
account_timeout=900 # seconds until the die must rest, packages and build included
user_login=false    # true: the user's commands run in a login shell (PATH from /etc/profile)

log() { echo "$tool: $*"; }
fail() {
  log "FAILED: $*" >&2
  exit 1
}

debian_root_release() { # number (--release): sets $release and $suite; exits 2 for another
  suite=$(debian_suite "$1") || {
    echo "$tool: no Debian release '$1'; there are $(debian_releases | xargs)" >&2
    exit 2
  }
  release=$1
}

# ---- inside the namespaces: we are PID 1 of our own PID namespace ----

user_shell() { # the ordinary user's shell in $root, with a bare login environment
  local login=()
  ! $user_login || login=(-l)
  shell=(chroot --userspec="$user:$user" --groups="$user" "$root"
    env -i HOME="/home/$user" USER="$user" LOGNAME="$user" SHELL=/bin/bash
    PATH=/usr/local/bin:/usr/bin:/bin bash "${login[@]}" -c)
}

in_root() { # command: run in the user's home
  user_shell
  "${shell[@]}" "cd ~ && $1"
}

in_root_logged() { # log what command: in_root, its output added to $work/log; on
  # failure the log's last lines, then "what" as the reason
  in_root "$3" >>"$work/$1" 2>&1 </dev/null || {
    tail -n 30 "$work/$1" >&2
    fail "$2"
  }
}

kill_strays() { # whatever a stage left running in $root would slow the rest down
  local link
  for link in /proc/[0-9]*/root; do
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && kill -KILL "${link//[!0-9]/}" 2>/dev/null
  done
  return 0
}

mount_system() { # root: what a running Debian has mounted; all of it dies with us
  # / a mount point, as on a machine: unshare in the root needs one (the checks run
  # there too, on a machine of the other release)
  mount --bind "$1" "$1"
  mount -t proc proc "$1/proc"
  mount -t sysfs -o ro sysfs "$1/sys"
  mount -t devpts -o newinstance,ptmxmode=666 devpts "$1/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$1/dev/shm"
}

debian_root_make() { # root: a minimal Debian with sudo and the user, password-less sudo
  # Its log beside it: roots of both releases may be made at once.
  debootstrap --variant=minbase --include=sudo "$suite" "$1" "$mirror" >"$1.debootstrap.log" 2>&1 ||
    {
      tail -n 20 "$1.debootstrap.log" >&2
      fail "debootstrap $suite"
    }
  chroot "$1" useradd --create-home --shell /bin/bash "$user"
  echo "$user ALL=(ALL) NOPASSWD:ALL" >"$1/etc/sudoers.d/$user"
  chmod 440 "$1/etc/sudoers.d/$user"
  cp /etc/resolv.conf "$1/etc/resolv.conf"
  # The loopback names every installed Debian has (its installer writes them) and a
  # bare root lacks: Debian 12's selenium reaches chromedriver as localhost.
  [ -e "$1/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' \
    >"$1/etc/hosts"
}

copy_tree() { # root: the committed tree of HEAD, in the user's home as dice/
  mkdir "$1/home/$user/dice"
  git -C "$repo" archive HEAD | tar -x -C "$1/home/$user/dice"
  chroot "$1" chown -R "$user:$user" "/home/$user/dice"
}

# Runs a command as the user, in the home folder, until the die rests: its standard
# output must be exactly the account of the model (tests/account/run_to_rest.py).
run_to_rest_as_user() { # name model command
  user_shell
  # exec all the way down, so the runner's SIGTERM reaches the command itself
  python3 "$repo/tests/account/run_to_rest.py" --expect "$2" --timeout "$account_timeout" \
    -- "${shell[@]}" "cd ~ && exec $3" 2>"$work/$1.err" || {
    tail -n 30 "$work/$1.err" >&2
    fail "$1: $(tail -n 1 "$work/$1.err")"
  }
  kill_strays
}

# ---- outside: set up, run the namespaced part, clean up whatever happened ----

debian_root_prepare() { # work-folder-name: sets $mirror and $work, and the clean-up of both
  [ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mounts)"
  local tool_name missing_tools=
  for tool_name in debootstrap python3 git unshare; do
    command -v "$tool_name" >/dev/null || missing_tools=1
  done
  if [ -n "$missing_tools" ]; then
    apt-get -o DPkg::Lock::Timeout=600 update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q \
      --no-install-recommends debootstrap python3 git util-linux </dev/null >&2
  fi

  # The mirror this machine already uses, whichever release its sources name; apt
  # names the archive behind a source only once it has read its lists.
  mirror=$(debian_mirror)
  if [ -z "$mirror" ]; then
    apt-get -o DPkg::Lock::Timeout=600 update -q >&2
    mirror=$(debian_mirror)
  fi
  [ -n "$mirror" ] || fail "no apt source for Debian's own archive (main) in this machine's configuration"

  work=$(mktemp -d "/var/tmp/$1.XXXXXX")
  namespace_pid=""
  on_exit debian_root_clean_up
}

debian_root_clean_up() {
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
}

debian_root_start() { # script args...: the script's inside part, in its namespaces
  # --pdeathsig: even a SIGKILL of this script takes the namespace with it.
  setpriv --pdeathsig KILL unshare --mount --propagation private --pid --fork --kill-child --mount-proc \
    "$@" &
  namespace_pid=$!
}

debian_root_wait() { # the inside part's exit status
  local status=0
  wait "$namespace_pid" || status=$?
  namespace_pid=""
  return "$status"
}
