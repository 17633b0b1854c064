#!/usr/bin/env bash
# Builds the program as a web page with emscripten, serves it, checks it in three browser
# engines or audits it with Lighthouse.
#
#   tools/web.sh build [--pips]   installs what is missing (install_deps.sh web) and builds
#                                 the page in build-web/ (with the die's pips, build-web-pips/):
#                                 dice.html, dice.js, dice.wasm and dice.data, to copy to any
#                                 static web host as they are
#   tools/web.sh serve [--pips]   the build, then serves its folder on 127.0.0.1 and prints
#                                 the address to open; ^C ends it
#   tools/web.sh check [--engines chromium,firefox,webkit]
#                                 both pages and the Linux programs they are held to (built
#                                 in build/ and build-pips/ as tools/demo.sh builds them), then
#                                 checks/web_check.py: each page in headless chromium, Firefox
#                                 ESR and WebKitGTK's MiniBrowser (or the engines named)
#                                 against the Linux window. Exits non-zero on a fault.
#   tools/web.sh audit            the plain page, then Lighthouse on it in headless chromium:
#                                 prints each category's score, keeps the whole report in
#                                 build-web/lighthouse.html, and exits non-zero unless
#                                 accessibility, best practices and SEO score 100.
#
# The npm packages the check and the audit use are installed in checks/node_modules, at
# the versions checks/package-lock.json pins (npm ci), when that lock changes.
# Set-up and build messages go to stderr. No browser, server or X process outlives the script.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Debian's selenium is a module of Debian's python; another python3 may come first on PATH.
python=/usr/bin/python3

source "$root/tools/lib/common.sh"
source "$root/tools/lib/clean_up.sh"
log() { echo "web.sh: $*" >&2; }

page_dir() { # variant: the page's build folder
  if [ "$1" = pips ]; then echo "$root/build-web-pips"; else echo "$root/build-web"; fi
}

build_page() { # variant
  local out variant=()
  out=$(page_dir "$1")
  [ "$1" = pips ] && variant=(-DDICE_DIE_TEXTURE=die.bmp)
  local started=$SECONDS
  emcmake cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${variant[@]}" >&2
  cmake --build "$out" --target dice -j "$(nproc)" >&2
  log "built $out/dice.html in $((SECONDS - started)) s"
}

install() {
  local started=$SECONDS
  "$root/tools/install_deps.sh" web
  # npm ci empties node_modules first: only when the lock differs from the one installed.
  local node_modules=$root/checks/node_modules
  if ! cmp -s "$root/checks/package-lock.json" "$node_modules/.installed-lock.json"; then
    (cd "$root/checks" && npm ci --ignore-scripts --no-audit --no-fund >&2)
    cp "$root/checks/package-lock.json" "$node_modules/.installed-lock.json"
  fi
  log "packages checked or installed in $((SECONDS - started)) s"
}

variant_of() { # the arguments after the command
  [ $# -le 1 ] || set -- bad
  case "${1:-}" in
    '') echo plain ;;
    --pips) echo pips ;;
    *) usage ;;
  esac
}

usage() {
  echo "usage: tools/web.sh build|serve [--pips] | check [--engines NAME,...] | audit" >&2
  exit 2
}

check() { # [--engines NAME,...]
  local started=$SECONDS
  install
  build_page plain
  build_page pips
  build_program "$root/build"
  build_program "$root/build-pips" -DDICE_DIE_TEXTURE=die.bmp
  log "packages, pages and Linux programs ready in $((SECONDS - started)) s"
  # Chromium's profile and temporary files, and the check's own, in a folder of ours.
  local work
  scratch_folder work "$root/build-web/check.XXXXXX"
  started=$SECONDS
  TMPDIR="$work" "$root/tools/with_xvfb.sh" "$python" "$root/checks/web_check.py" \
    check "$@" "$root/build-web" "$root/build-web-pips" "$root/build/dice" \
    "$root/build-pips/dice" "$root/assets/cube.3ds"
  log "checked in $((SECONDS - started)) s"
}

# Lighthouse's own start of chromium, with what the check gives it.
lighthouse_chromium=(--headless=new --use-angle=swiftshader --enable-unsafe-swiftshader
  --no-sandbox --disable-background-networking --disable-component-update --no-first-run)

audit() {
  install
  build_page plain
  local work line address server_pid
  scratch_folder work "$root/build-web/audit.XXXXXX"
  exec {server}< <(exec "$python" "$root/tools/serve.py" "$root/build-web" 0)
  server_pid=$!
  on_exit "kill $server_pid 2>/dev/null"
  read -r line <&"$server"
  address=${line#*open }
  address=${address%% *}
  log "Lighthouse on $address"
  CHROME_PATH=/usr/bin/chromium TMPDIR="$work" "$root/checks/node_modules/.bin/lighthouse" \
    "$address" --quiet --output=json --output=html --output-path="$work/report" \
    --chrome-flags="${lighthouse_chromium[*]}"
  cp "$work/report.report.html" "$root/build-web/lighthouse.html"
  node -e '
    const report = require(process.argv[1]);
    let short = false;
    for (const [name, category] of Object.entries(report.categories)) {
      const score = Math.round(category.score * 100);
      console.log(`${category.title}: ${score}`);
      if (name !== "performance" && score !== 100) short = true;
    }
    for (const name of ["cumulative-layout-shift", "total-blocking-time", "uses-text-compression"]) {
      const audit = report.audits[name];
      console.log(`  ${audit.title}: ${audit.displayValue || (audit.score === 1 ? "passed" : "failed")}`);
    }
    process.exit(short ? 1 : 0);' "$work/report.report.json"
}

case "${1:-}" in
  build)
    page=$(variant_of "${@:2}")
    install
    build_page "$page"
    ;;
  serve)
    page=$(variant_of "${@:2}")
    install
    build_page "$page"
    exec "$python" "$root/tools/serve.py" "$(page_dir "$page")" 8000
    ;;
  check)
    [ $# -eq 1 ] || { [ $# -eq 3 ] && [ "$2" = --engines ]; } || usage
    check "${@:2}"
    ;;
  audit) [ $# -eq 1 ] || usage; audit ;;
  *) usage ;;
esac
