#!/usr/bin/env bash
# Writes the README's pictures of the die from a real run on a private Xvfb:
# docs/screenshot.png (the 640 x 480 window, die in mid-flight), docs/throw.gif
# (the whole throw, from the first path step to rest, sampled to a few seconds) and
# docs/pips.png (the die built with its texture, in flight and at rest, enlarged);
# then docs/web.png, the page of the browser build at rest in headless chromium.
# Builds dice in build/ (or the build folder given) first, and the textured one in
# that folder's name with -pips added; the page in build-web/. Exits non-zero on
# failure.
#
# Usage: tools/make_docs.sh [build-dir]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
build=${build%/}
"$root/tools/install_deps.sh" test
cmake -S "$root" -B "$build"
cmake --build "$build" --target dice -j "$(nproc)"
pips_configure=(cmake -S "$root" -B "$build-pips" -DDICE_DIE_TEXTURE=die.bmp)
[ -f "$build-pips/CMakeCache.txt" ] || pips_configure+=(-DBUILD_TESTING=OFF -DDICE_BENCH=OFF)
"${pips_configure[@]}"
cmake --build "$build-pips" --target dice -j "$(nproc)"

# ImageMagick's convert by its own name: another convert may come first on PATH.
magick=
for candidate in convert-im6.q16 convert-im6 /usr/bin/convert convert; do
  if "$candidate" -version 2>/dev/null | grep -q ImageMagick; then
    magick=$candidate
    break
  fi
done
[ -n "$magick" ] || { echo "make_docs.sh: ImageMagick's convert not found" >&2; exit 1; }

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT

shoot() {  # dice, then what to take: throw or pips
"$root/tools/with_xvfb.sh" python3 -B - "$root" "$1" "$frames" "$2" <<'EOF'
# The program runs only between shots: stopped at once, it is let go until the
# next chosen path step is printed and stopped again while import takes the window,
# so the frames are evenly spaced along the throw however fast this machine draws.
import os, signal, sys, time

root, dice, frames, what = sys.argv[1:]
sys.path.insert(0, os.path.join(root, "tests", "window"))
from dice_run import PATH_LINE, DiceRun, TestFailure, run_tool

PATH_STEPS = 291
STEP_STRIDE = 6  # 49 frames over the throw, the first after the first drawn frame
STILL_STEP = 16  # the screenshot: early in the first fall, three faces showing
REST_PAUSE = 0.5  # the die at rest is taken a moment after the last step
STEP_TIMEOUT = 120.0

def run_to_step(run, step):
    run.process.send_signal(signal.SIGCONT)
    run.wait_output(lambda out: len(PATH_LINE.findall(out[len(run.dump):])) >= step,
                    STEP_TIMEOUT, "path step %d" % step)
    if step == PATH_STEPS:
        time.sleep(REST_PAUSE)
    run.process.send_signal(signal.SIGSTOP)

def take(run, name):
    ppm = run_tool(["import", "-window", run.window, "-depth", "8", "ppm:-"], binary=True)
    with open(os.path.join(frames, name), "wb") as out:
        out.write(ppm)

try:
    assets = os.path.join(root, "assets")
    if what == "pips":
        others = [os.path.join(assets, "die.bmp")]
        shots = {STILL_STEP: ["pips_flight.ppm"], PATH_STEPS: ["pips_rest.ppm"]}
    else:
        others = []
        shots = {step: ["throw_%03d.ppm" % step] for step in range(STEP_STRIDE, PATH_STEPS, STEP_STRIDE)}
        shots.setdefault(STILL_STEP, []).append("still.ppm")
        shots[PATH_STEPS] = ["throw_%03d.ppm" % PATH_STEPS]
    with DiceRun(dice, os.path.join(assets, "cube.3ds"), others) as run:
        run.process.send_signal(signal.SIGSTOP)
        try:
            for step in sorted(shots):
                run_to_step(run, step)
                if run.window is None:
                    run.find_window()
                for name in shots[step]:
                    take(run, name)
        finally:
            run.process.send_signal(signal.SIGCONT)  # a stopped program would not end
except TestFailure as failure:
    sys.exit("make_docs.sh: %s" % failure)
EOF
}
shoot "$build/dice" throw
shoot "$build-pips/dice" pips

mkdir -p "$root/docs"
# No timestamps in the files, so an unchanged picture makes no change in git.
"$magick" "$frames/still.ppm" -strip -define png:exclude-chunks=date,time \
  "$root/docs/screenshot.png"
# 8/100 s a frame, the resting die held for a second, looping for ever.
mapfile -t moving < <(ls "$frames"/throw_*.ppm | sort | head -n -1)
"$magick" -delay 8 "${moving[@]}" -delay 100 "$frames/throw_$(printf %03d 291).ppm" \
  -resize 320x240 -loop 0 -strip -layers Optimize "$root/docs/throw.gif"
# The die alone: each shot cut to a square around it and enlarged four times, pixel
# for pixel; in flight and at rest side by side.
for shot in flight rest; do
  "$magick" "$frames/pips_$shot.ppm" -trim +repage -gravity center -background black \
    -extent 56x56 -filter point -resize 400% "$frames/pips_$shot.png"
done
"$magick" "$frames/pips_flight.png" "$frames/pips_rest.png" +append -strip \
  -define png:exclude-chunks=date,time "$root/docs/pips.png"
echo "make_docs.sh: wrote docs/screenshot.png, docs/throw.gif" \
     "($(stat -c %s "$root/docs/throw.gif") bytes, $((${#moving[@]} + 1)) frames) and docs/pips.png"

# The browser build's page at rest, as headless chromium shows it (tools/web.sh
# installs and builds it; Debian's selenium is a module of Debian's python).
shoot_page() {
  "$root/tools/web.sh" build
  TMPDIR="$frames" /usr/bin/python3 -B "$root/tests/window/web_check.py" shoot \
    "$root/build-web" "$root/assets/cube.3ds" "$frames/web.png"
  "$magick" "$frames/web.png" -strip -define png:exclude-chunks=date,time "$root/docs/web.png"
  echo "make_docs.sh: wrote docs/web.png ($(stat -c %s "$root/docs/web.png") bytes)"
}
shoot_page
