# The Debian releases the project is made for, and the Debian mirror this machine's apt
# uses; sourced, never run.

# Each release by its number, with its suite: the one place that names them.
declare -A debian_suites=([12]=bookworm [13]=trixie)
debian_release_default=12

debian_suite() { # release number: its suite; status 1, and nothing, for another
  [ -n "${debian_suites[$1]:-}" ] || return 1
  echo "${debian_suites[$1]}"
}

# The address of Debian's own archive among this machine's apt sources, whatever
# release they name: the first source of its main component that apt's lists call
# plainly Debian (not the security archive, nor backports). Nothing when apt has not
# read its lists yet.
debian_mirror() {
  apt-get indextargets --format $'$(TARGET_OF)\t$(ORIGIN)\t$(LABEL)\t$(COMPONENT)\t$(REPO_URI)' |
    awk -F '\t' '$1 == "deb" && $2 == "Debian" && $3 == "Debian" && $4 == "main" && !found {
      found = 1
      sub(/\/$/, "", $5)
      print $5
    }'
}

debian_releases() { # the release numbers, oldest first
  printf '%s\n' "${!debian_suites[@]}" | sort -n
}

debian_host_release() { # this machine's release number when it is one of them; nothing otherwise
  (
    source /etc/os-release
    [ "${ID:-}" = debian ] && [ -n "${debian_suites[${VERSION_ID:-}]:-}" ] && echo "$VERSION_ID"
  ) || true
}
