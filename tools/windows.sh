#!/usr/bin/env bash
# Builds the program for 64-bit Windows with MinGW-w64, and checks it under wine.
#
#   tools/windows.sh build   installs what is missing, builds freeglut for Windows from
#                            Debian's source package (once: it is kept in
#                            build-windows/freeglut; Debian 12's, pinned, when the
#                            mirror gives none of this release's), and cross-builds
#                            build-windows/dice.exe, linked with freeglut statically so
#                            that it needs no DLL that Windows does not ship
#   tools/windows.sh check   the build, then dice.exe under wine 64, in a private wine
#                            prefix on a private virtual X server, against the Linux build
#                            (built in build/ like tools/demo.sh does): the account byte
#                            for byte, the window, the picture at rest, the GLUT entry
#                            points (checks/wine_check.py). Exits non-zero on a fault.
#
# Set-up and build messages go to stderr. No wine or X process outlives the script.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$root/build-windows"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
freeglut="$out/freeglut"

source "$root/tools/lib/common.sh"
source "$root/tools/lib/clean_up.sh"
source "$root/tools/lib/debian_release.sh"

log() { echo "windows.sh: $*" >&2; }

# A deb-src entry beside each of the machine's entries for Debian's own packages,
# copied from it (so the same mirror and key), in a file of its own.
add_debian_source_entries() {
  local list=/etc/apt/sources.list.d/dice-debian-source
  local entry file number sources='' lines=''
  # Up-to-date lists, so that each entry's origin is known.
  "${as_root[@]}" apt-get update -q >&2
  for entry in $(apt-get indextargets --format '$(TARGET_OF) $(ORIGIN) $(SOURCESENTRY)' |
                 awk '$1 == "deb" && $2 == "Debian" { print $3 }' | sort -u); do
    file=${entry%:*}
    number=${entry##*:}
    case "$file" in
      *.sources)  # deb822: the number counts stanzas, not paragraphs of comments
        sources+=$(awk -v n="$number" 'BEGIN { RS = "" } {
            if ($0 !~ /(^|\n)[^#]/) next
            if (++stanza != n) next
            sub(/(^|\n)[Tt]ypes:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
          }' "$file")
        sources+=$'\n\n' ;;
      *)  # one-line format: the number counts lines
        lines+=$(sed -n "${number}s/^deb\([[:space:]]\)/deb-src\1/p" "$file")$'\n' ;;
    esac
  done
  [ -n "$sources$lines" ] || { log "no Debian entry among the apt sources"; exit 1; }
  log "adding deb-src entries for Debian's freeglut source in $list.*"
  [ -z "$sources" ] || printf '%s' "$sources" | "${as_root[@]}" tee "$list.sources" >/dev/null
  [ -z "$lines" ] || printf '%s' "$lines" | "${as_root[@]}" tee "$list.list" >/dev/null
  "${as_root[@]}" apt-get update -q >&2
}

# Debian 12's freeglut source, pinned by version and by the checksum of its .dsc (which
# holds those of the files it lists, and dpkg-source checks them): what is built when
# this machine's mirror gives no freeglut source of its own release.
fallback_dsc=freeglut_3.4.0-1.dsc
fallback_dsc_sha256=74bbbf431dd96a8984603a6d9b1cac8ccfdfe9e2f57fee46924579f3e1a3ca78

fetch_fallback_freeglut() { # into the current folder
  local mirror pool sum name
  mirror=$(debian_mirror)
  [ -n "$mirror" ] || { log "no freeglut source, and no Debian mirror among the apt sources"; exit 1; }
  pool="$mirror/pool/main/f/freeglut"
  log "no freeglut source from this machine's apt sources: building Debian 12's ($fallback_dsc, pinned) from $pool"
  /usr/lib/apt/apt-helper download-file "$pool/$fallback_dsc" "$fallback_dsc" "SHA256:$fallback_dsc_sha256"
  awk '/^Checksums-Sha256:/ { listed = 1; next } /^[^ ]/ { listed = 0 } listed { print $1, $3 }' \
    "$fallback_dsc" | while read -r sum name; do
    /usr/lib/apt/apt-helper download-file "$pool/$name" "$name" "SHA256:$sum"
  done
  dpkg-source -x "$fallback_dsc"
}

build_freeglut() {
  # Written last, so a build cut short is done again.
  local done_mark="$freeglut/built"
  [ -f "$done_mark" ] && return
  local started=$SECONDS
  apt-cache showsrc freeglut 2>/dev/null | grep '^Package: freeglut$' >/dev/null ||
    add_debian_source_entries
  rm -rf "$out/freeglut-source" "$out/freeglut-build" "$freeglut"
  mkdir -p "$out/freeglut-source"
  if ! (cd "$out/freeglut-source" && apt-get source -q freeglut) >&2; then
    rm -rf "$out/freeglut-source"
    mkdir "$out/freeglut-source"
    (cd "$out/freeglut-source" && fetch_fallback_freeglut) >&2
  fi
  local source
  source=$(find "$out/freeglut-source" -mindepth 1 -maxdepth 1 -type d -name 'freeglut-*')
  # REPLACE_GLUT installs GL/glut.h and names the library glut, as CMake's FindGLUT
  # expects; static only, so that dice.exe carries it.
  cmake -S "$source" -B "$out/freeglut-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$freeglut" \
    -DFREEGLUT_REPLACE_GLUT=ON -DFREEGLUT_BUILD_DEMOS=OFF \
    -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON >&2
  cmake --build "$out/freeglut-build" -j "$(nproc)" >&2
  cmake --install "$out/freeglut-build" >&2
  touch "$done_mark"
  log "freeglut for Windows fetched and built in $((SECONDS - started)) s"
}

build() {
  local started=$SECONDS
  "$root/tools/install_deps.sh" windows
  log "packages checked or installed in $((SECONDS - started)) s"
  build_freeglut
  started=$SECONDS
  cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_PREFIX_PATH="$freeglut" -DDICE_FREEGLUT_STATIC=ON \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >&2
  cmake --build "$out" --target dice -j "$(nproc)" >&2
  log "built $out/dice.exe in $((SECONDS - started)) s"
}

checker=
display_pid=
stop_all() { # the check, then the display with wine's server: nothing outlives us
  if [ -n "$checker" ]; then
    kill "$checker" 2>/dev/null || true
    wait "$checker" 2>/dev/null || true
  fi
  if [ -n "$display_pid" ]; then
    local input=${display[1]:-}
    [ -z "$input" ] || exec {input}>&-
    wait "$display_pid" 2>/dev/null || true
  fi
}

check() {
  build
  # The Linux program, as tools/demo.sh builds it: what dice.exe is compared with.
  local started=$SECONDS
  build_program "$root/build"
  log "Linux build/dice built in $((SECONDS - started)) s"

  # wine's own settings in build-windows/, made on first use; nothing of the user's.
  export WINEPREFIX="$out/wine" WINEARCH=win64 WINEDEBUG=-all
  # One display for wine's start and the check. It ends, with the prefix's wine
  # server, when its input does: when this script ends, however it ends.
  on_exit stop_all
  coproc display { exec "$root/tools/with_xvfb.sh" --wine --serve; }
  display_pid=$display_PID
  local number
  read -r -t 60 number <&"${display[0]}" || { log "no virtual display"; exit 1; }
  export DISPLAY=":$number" LIBGL_ALWAYS_SOFTWARE=1

  started=$SECONDS
  wineboot -i >/dev/null 2>&1
  log "wine prefix $WINEPREFIX ready in $((SECONDS - started)) s"

  python3 "$root/checks/wine_check.py" "$out/dice.exe" "$(cat "$out/dice_objects.txt")" \
    "$root/build/dice" "$root/assets/cube.3ds" &
  checker=$!
  wait "$checker"
}

case "${1:-}" in
  build) build ;;
  check) check ;;
  *) echo "usage: tools/windows.sh build|check" >&2; exit 2 ;;
esac
