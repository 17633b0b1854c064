#!/usr/bin/env bash
# Writes the pictures of the die in docs/ from real runs on a private virtual display.
#
# docs/screenshot.png (the 640 x 480 window, die in mid-flight), docs/throw.gif
# (the whole throw, from the first path step to rest, sampled to a few seconds),
# docs/pips.png (the die built with its texture, in flight and at rest, enlarged) and
# docs/roll.png (dice --roll 3 --seed 11: the three dice at rest, enlarged);
# then docs/web.png, the page of the browser build at rest in headless chromium, and
# docs/web-model.png, the page with tests/3ds/jeep1.3ds opened and come forward, framed.
# Builds dice in build/ (or the build folder given) first, and the textured one in
# that folder's name with -pips added; the page in build-web/. Exits non-zero on
# failure.
#
# Then the menu's icons in packaging/icons/, from the die with its pips.
#
# Usage: tools/make_docs.sh [build-dir]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
build=${build%/}
"$root/tools/install_deps.sh" test
source "$root/tools/lib/common.sh"
source "$root/tools/lib/clean_up.sh"
build_program "$build"
build_program "$build-pips" -DDICE_DIE_TEXTURE=die.bmp

# ImageMagick's convert, by the name this release gives it, as the page's check finds it.
magick=$(PYTHONPATH="$root/tests/account" python3 -c 'import dice_run
print(dice_run.imagemagick_convert() or "")')
[ -n "$magick" ] || { echo "make_docs.sh: ImageMagick's convert not found" >&2; exit 1; }

scratch_folder frames

icon_height=7200 # the icon's window: fifteen times the program's
shoot() { # dice, what to take (throw, pips, roll or icon), with_xvfb.sh options...
"$root/tools/with_xvfb.sh" "${@:3}" python3 - "$root" "$1" "$frames" "$2" "$icon_height" <<'EOF'
# The program runs only between shots: stopped at once, it is let go until the
# next chosen path step is printed and stopped again while import takes the window,
# so the frames are evenly spaced along the throw however fast this machine draws.
import os, re, signal, sys, time

root, dice, frames, what, icon_height = sys.argv[1:]
sys.path.insert(0, os.path.join(root, "tests", "account"))
from dice_run import PATH_LINE, DiceRun, TestFailure, run_tool

PATH_STEPS = 291
STEP_STRIDE = 6  # 49 frames over the throw, the first after the first drawn frame
STILL_STEP = 16  # the screenshot and the icon: early in the first fall, three faces showing
REST_PAUSE = 0.5  # the die at rest is taken a moment after the last step
ROLL = ["--roll", "3", "--seed", "11"]  # 4 + 6 + 5, the 4 and the 6 turned a quarter
STEP_TIMEOUT = 120.0

def run_to_step(run, step):
    run.process.send_signal(signal.SIGCONT)
    run.wait_output(lambda out: len(PATH_LINE.findall(out[len(run.dump):])) >= step,
                    STEP_TIMEOUT, "path step %d" % step)
    if step == PATH_STEPS:
        time.sleep(REST_PAUSE)
    run.process.send_signal(signal.SIGSTOP)

def cut_out_die(ppm):
    """The smallest box around what is not black: ImageMagick's resource limits
    refuse the whole window, which is several times larger than the die."""
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    if not match:
        raise TestFailure("import gave no 8-bit binary PPM")
    width, rows = int(match.group(1)), int(match.group(2))
    stride = width * 3
    lines = [ppm[match.end() + y * stride : match.end() + (y + 1) * stride] for y in range(rows)]
    drawn = [y for y, line in enumerate(lines) if line.strip(b"\0")]
    if not drawn:
        raise TestFailure("the window is black: no die drawn")
    left = min((stride - len(lines[y].lstrip(b"\0"))) // 3 for y in drawn)
    right = max((len(lines[y].rstrip(b"\0")) + 2) // 3 for y in drawn)
    kept = range(drawn[0], drawn[-1] + 1)
    cut = b"".join(lines[y][left * 3 : right * 3] for y in kept)
    return b"P6\n%d %d\n255\n" % (right - left, len(kept)) + cut

def take(run, name):
    ppm = run_tool(["import", "-window", run.window, "-depth", "8", "ppm:-"], binary=True)
    with open(os.path.join(frames, name), "wb") as out:
        out.write(cut_out_die(ppm) if what == "icon" else ppm)

try:
    assets = os.path.join(root, "assets")
    others = [] if what == "throw" else [os.path.join(assets, "die.bmp")]
    if what == "icon":
        shots = {STILL_STEP: ["icon.ppm"]}
    elif what == "pips":
        shots = {STILL_STEP: ["pips_flight.ppm"], PATH_STEPS: ["pips_rest.ppm"]}
    elif what == "roll":
        shots = {PATH_STEPS: ["roll_rest.ppm"]}
    else:
        shots = {step: ["throw_%03d.ppm" % step] for step in range(STEP_STRIDE, PATH_STEPS, STEP_STRIDE)}
        shots.setdefault(STILL_STEP, []).append("still.ppm")
        shots[PATH_STEPS] = ["throw_%03d.ppm" % PATH_STEPS]
    with DiceRun(dice, os.path.join(assets, "cube.3ds"), others,
                 args=ROLL if what == "roll" else ()) as run:
        run.process.send_signal(signal.SIGSTOP)
        try:
            if what == "icon":  # made larger, it is drawn at the new size from the next step on
                run_to_step(run, STILL_STEP - 1)
                run.find_window()
                run_tool(["xdotool", "windowsize", run.window, str(int(icon_height) * 4 // 3),
                          icon_height])
            for step in sorted(shots):
                run_to_step(run, step)
                if run.window is None:
                    run.find_window()
                for name in shots[step]:
                    take(run, name)
        finally:
            run.process.send_signal(signal.SIGCONT)  # a stopped program would not end
except TestFailure as failure:
    sys.exit("make_docs.sh: %s: %s" % (what, failure))
EOF
}
shoot "$build/dice" throw
shoot "$build-pips/dice" pips
shoot "$build/dice" roll

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
# The rolled dice alone, with a little black around them, enlarged four times.
"$magick" "$frames/roll_rest.ppm" -trim +repage -bordercolor black -border 8 -filter point \
  -resize 400% -strip -define png:exclude-chunks=date,time "$root/docs/roll.png"
echo "make_docs.sh: wrote docs/screenshot.png, docs/throw.gif" \
     "($(stat -c %s "$root/docs/throw.gif") bytes, $((${#moving[@]} + 1)) frames), docs/pips.png" \
     "and docs/roll.png"

# The menu's icons, packaging/icons/dice-N.png: the die with its pips early in its
# fall, three faces showing, from a real run whose window is made fifteen times the
# program's size (the program draws to its window's size), cut out with its black
# surround made clear and scaled down, so every size is smoothed from a large picture.
shoot "$build-pips/dice" icon --screen "$((icon_height * 4 / 3))x$icon_height"
# The black around the die (not the pips: the white faces enclose them) made clear,
# on a square canvas with a little room around the die.
mkdir -p "$root/packaging/icons"
icon_side=$("$magick" "$frames/icon.ppm" -format '%[fx:round(max(w,h)*1.06)]' info:)
"$magick" "$frames/icon.ppm" -bordercolor black -border 1 -fill none -floodfill +0+0 black \
  -trim +repage -gravity center -background none -extent "${icon_side}x$icon_side" \
  "$frames/icon.png"
for size in 16 22 24 32 48 64 128 256; do # the hicolor sizes packaging/packaging.cmake installs
  "$magick" "$frames/icon.png" -resize "${size}x$size" -strip -define png:exclude-chunks=date,time \
    "$root/packaging/icons/dice-$size.png"
done
echo "make_docs.sh: wrote packaging/icons/dice-{16,22,24,32,48,64,128,256}.png" \
     "(from a ${icon_side}-pixel cut of a $((icon_height * 4 / 3))x$icon_height window)"

# The browser build's page at rest, as headless chromium shows it (tools/web.sh
# installs and builds it; Debian's selenium is a module of Debian's python).
shoot_page() {
  "$root/tools/web.sh" build
  TMPDIR="$frames" /usr/bin/python3 "$root/checks/web_check.py" shoot \
    "$root/build-web" "$root/assets/cube.3ds" "$frames/web.png"
  "$magick" "$frames/web.png" -strip -define png:exclude-chunks=date,time "$root/docs/web.png"
  TMPDIR="$frames" /usr/bin/python3 "$root/checks/web_check.py" shoot \
    "$root/build-web" "$root/assets/cube.3ds" "$frames/web-model.png" \
    "$root/tests/3ds/jeep1.3ds"
  "$magick" "$frames/web-model.png" -strip -define png:exclude-chunks=date,time \
    "$root/docs/web-model.png"
  echo "make_docs.sh: wrote docs/web.png ($(stat -c %s "$root/docs/web.png") bytes) and" \
       "docs/web-model.png ($(stat -c %s "$root/docs/web-model.png") bytes)"
}
shoot_page
