#!/usr/bin/env bash
# debian_mirror (tools/lib/debian_release.sh) takes Debian's own archive from apt's
# sources whatever release they name: past another archive, the security archive and
# backports listed first; and gives nothing when no source is Debian's archive.
# Usage: debian_mirror_test.sh DEBIAN_RELEASE_SH
set -euo pipefail
source "$1"
source "$(dirname "$1")/clean_up.sh"
scratch_folder apt
mkdir -p "$apt/lists/partial" "$apt/parts"
# apt's own settings, every folder in $apt: nothing of this machine's apt is read.
cat >"$apt/apt.conf" <<EOF
Dir::Etc::sourcelist "$apt/sources.list";
Dir::Etc::sourceparts "$apt/parts";
Dir::State::lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
APT::Architecture "amd64";
APT::Architectures { "amd64"; };
EOF
export APT_CONFIG="$apt/apt.conf"
touch "$apt/status" "$apt/sources.list"

source_of() { # uri suite origin label: a source of main, with the lists apt keeps of it
  local file
  file=$(echo "${1#http://}" | tr / _)_dists_$2
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n\n' "$1" "$2" >>"$apt/parts/test.sources"
  printf 'Origin: %s\nLabel: %s\nSuite: %s\nCodename: %s\nArchitectures: amd64\nComponents: main\n' \
    "$3" "$4" "$2" "$2" >"$apt/lists/${file}_Release"
  touch "$apt/lists/${file}_main_binary-amd64_Packages"
}

source_of http://other.example/apt stable Other Other
source_of http://mirror.example/archive-security trixie-security Debian Debian-Security
source_of http://mirror.example/archive trixie-backports Debian "Debian Backports"
found=$(debian_mirror)
[ -z "$found" ] || { echo "FAIL: no Debian main source, yet debian_mirror gave '$found'"; exit 1; }

source_of http://mirror.example/archive trixie Debian Debian
source_of http://second.example/archive bookworm Debian Debian
found=$(debian_mirror)
[ "$found" = http://mirror.example/archive ] ||
  { echo "FAIL: debian_mirror gave '$found', not http://mirror.example/archive"; exit 1; }
echo "PASS: debian_mirror gives the first source of Debian's own archive, and nothing without one"
