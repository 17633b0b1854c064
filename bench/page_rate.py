#!/usr/bin/env python3
"""The web page's pace in each browser engine against the Linux program's, in one run
on one machine, all drawn in software: the program on the Xvfb it is given, with
Mesa's llvmpipe; the page in headless chromium with SwiftShader's WebGL, and in
Firefox ESR and WebKitGTK's MiniBrowser, windows on that Xvfb, with Mesa's (the
engines of checks/browsers.py, each driven as the page's check drives it).

For each: frames per second over the throw, and the time from start to rest (the
resting line on the console). The Linux program's frames are its path lines, 50
frames each, timed as they arrive on its standard output; the page's are its idle
calls (one frame each, counted by the web layer), sampled with the time when the
first path line and the resting line reach the page. Then, on the page at rest,
CLICKS left clicks one after another, each timed in the page from the press to its
whole dump laid out on the page: the first click's time and the last's, and as
the verdict the median of the last 20 against that of the first 20 (a dump waits
for the browser's next animation frame, so a single click's time varies by up to a
frame with where its press falls).

The program runs again before each engine, and each engine is held to that run:
the ratio of its rate to the program's (target: at least a third) and of its time to
rest to the program's (target: at most 2); with --rounds N, all of that N times
(clicks in the first only), then each engine's median ratios. Prints the rates,
times to rest, ratios, click times and the machine's load. Reports, never gates: exit status 0 once measured,
1 when a run failed, 2 wrong usage.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(here, "..", "tests", "account"), os.path.join(here, "..", "checks")]
from frame_rate import FRAMES_PER_LINE, THROW_LINES, RunFailed, read_line_times  # noqa: E402
from dump_3ds import read_account  # noqa: E402
from browsers import ENGINES, DriverError  # noqa: E402
from run_to_rest import TestFailure  # noqa: E402
from selenium.common.exceptions import WebDriverException  # noqa: E402
from web_check import PageRun  # noqa: E402

TARGET_RATIO = 1 / 3
TARGET_REST_RATIO = 2.0  # the page's time to rest against the program's
TARGET_CLICK_RATIO = 1.5  # the last clicks' time against the first ones'
CLICK_GROUP = 20
RESTING = b"339.000000\t-240.750000"
POLL = 0.2
CLICK_POLL = 0.02
TIMEOUT = 300.0
# In the page: the time since the page's start and the idle calls made, when the
# first path line is on the page and when the resting line is.
THROW_TIMER = """
var account = document.getElementById('account'), timer = window.benchThrow = {};
var resting = arguments[0], observer = new MutationObserver(look);
function look() {
  var text = account.textContent, now = [performance.now(), Module.idleCalls()];
  if (!timer.first && text.indexOf('\\t') >= 0) timer.first = now;
  if (text.endsWith(resting)) {
    timer.rest = now;
    observer.disconnect();
  }
}
observer.observe(account, {characterData: true, childList: true, subtree: true});
"""
# In the page: each press on the canvas is timed from its event to the moment the
# console's text, laid out, holds `want` characters (counted after the time is taken).
CLICK_TIMER = """
window.benchClicks = {want: arguments[0], each: arguments[1], pending: [], times: []};
var account = document.getElementById('account'), clicks = window.benchClicks;
document.getElementById('canvas').addEventListener('mousedown', function (event) {
  clicks.pending.push([event.timeStamp, clicks.want += clicks.each]);
});
new MutationObserver(function () {
  account.scrollHeight;  // a layout: the text is on the page
  var now = performance.now(), length = account.textContent.length;
  while (clicks.pending.length && length >= clicks.pending[0][1]) {
    clicks.times.push(now - clicks.pending.shift()[0]);
  }
}).observe(account, {characterData: true, childList: true, subtree: true});
"""


def linux_run(dice, cube):
    """(frames per second over the throw, seconds from start to rest)."""
    folder = tempfile.mkdtemp(prefix="dice_page_rate_")
    try:
        shutil.copyfile(cube, os.path.join(folder, "cube.3ds"))
        started = time.monotonic()
        with open(os.devnull, "wb") as stderr:
            times, _, _, code = read_line_times([dice], folder, 0.0, THROW_LINES, 10.0, stderr)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    if len(times) < THROW_LINES:
        raise RunFailed("the Linux program printed %d path lines and ended with %s"
                        % (len(times), code))
    rate = FRAMES_PER_LINE * (THROW_LINES - 1) / (times[THROW_LINES - 1] - times[0])
    return rate, times[THROW_LINES - 1] - started


def page_run(engine, page, clicks, dump_length):
    """(frames per second over the throw, seconds from start to rest, click times)."""
    with PageRun(engine, page) as run:
        run.run(THROW_TIMER, RESTING.decode())
        deadline = time.monotonic() + TIMEOUT
        while not run.run("return window.benchThrow.rest"):
            if run.failure() or time.monotonic() > deadline:
                raise RunFailed("the page did not come to rest: %s" % run.failure())
            time.sleep(POLL)
        first, rest = run.run("return [window.benchThrow.first, window.benchThrow.rest]")
        if rest[0] <= first[0]:
            raise RunFailed("the throw was over before it could be timed")
        rate = (rest[1] - first[1]) / ((rest[0] - first[0]) / 1000)
        if not clicks:
            return rate, rest[0] / 1000, []
        shown = run.run("return document.getElementById('account').textContent.length")
        run.run(CLICK_TIMER, shown, dump_length)
        for count in range(1, clicks + 1):
            run.browser.click("canvas")
            while run.run("return window.benchClicks.times.length") < count:
                if run.failure() or time.monotonic() > deadline:
                    raise RunFailed("click %d's dump did not arrive: %s" % (count, run.failure()))
                time.sleep(CLICK_POLL)
        times = run.run("return window.benchClicks.times")
    return rate, rest[0] / 1000, times


def met(ok):
    return "met" if ok else "MISSED"


def median_of(values):
    return statistics.median(values) if values else float("nan")


def report_clicks(clicks, dump_length):
    first, last = (statistics.median(group) for group in (clicks[:CLICK_GROUP],
                                                          clicks[-CLICK_GROUP:]))
    print("  left clicks at rest, press to the whole %d-byte dump laid out: click 1 %.0f ms, "
          "click %d %.0f ms; medians of the first and last %d: %.0f and %.0f ms, last / first "
          "= %.2f (target <= %.2f: %s)"
          % (dump_length, clicks[0], len(clicks), clicks[-1], CLICK_GROUP, first, last,
             last / first, TARGET_CLICK_RATIO, met(last / first <= TARGET_CLICK_RATIO)),
          flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dice", required=True, help="the Linux program")
    parser.add_argument("--page", required=True, help="the built page's folder")
    parser.add_argument("--cube", required=True, help="the shipped cube.3ds")
    parser.add_argument("--clicks", type=int, default=100, help="at least %d" % CLICK_GROUP)
    parser.add_argument("--engines", default=",".join(ENGINES),
                        help="of %s (default: all)" % ", ".join(ENGINES))
    parser.add_argument("--rounds", type=int, default=1,
                        help="each the program, then each engine; the ratios' medians follow")
    arguments = parser.parse_args()
    if arguments.clicks < CLICK_GROUP or arguments.rounds < 1:
        parser.error("--clicks takes at least %d, --rounds at least 1" % CLICK_GROUP)
    engines = arguments.engines.split(",")
    if not set(engines) <= set(ENGINES):
        parser.error("--engines takes names of %s" % ", ".join(ENGINES))
    if not os.environ.get("DISPLAY"):
        print("page_rate.py: DISPLAY is not set; run it through page_rate.sh", file=sys.stderr)
        return 2
    with open(arguments.cube, "rb") as cube:
        dump_length = len(read_account(cube.read())[0])
    print("load average before: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
    # Each engine is held to the program's run just before it: on a shared machine the
    # load moves between runs, and a ratio of two runs taken together moves less.
    ratios = {name: ([], []) for name in engines}
    try:
        for round_ in range(1, arguments.rounds + 1):
            if arguments.rounds > 1:
                print("round %d of %d" % (round_, arguments.rounds))
            for name in engines:
                engine = ENGINES[name]
                linux_rate, linux_rest = linux_run(arguments.dice, arguments.cube)
                print("%-40s %6.0f frames/s, at rest %5.1f s after start"
                      % ("Linux program (Xvfb, llvmpipe):", linux_rate, linux_rest), flush=True)
                clicks = arguments.clicks if round_ == 1 else 0
                rate, rest, times = page_run(engine, arguments.page, clicks, dump_length)
                ratio, slower = rate / linux_rate, rest / linux_rest
                ratios[name][0].append(ratio)
                ratios[name][1].append(slower)
                print("%-40s %6.0f frames/s, at rest %5.1f s after start\n"
                      "  rate / Linux = %.2f (target >= %.2f: %s); time to rest / Linux = %.2f "
                      "(target <= %.1f: %s); load average now %.2f"
                      % ("page, %s:" % engine.label, rate, rest, ratio, TARGET_RATIO,
                         met(ratio >= TARGET_RATIO), slower, TARGET_REST_RATIO,
                         met(slower <= TARGET_REST_RATIO), os.getloadavg()[0]), flush=True)
                if times:
                    report_clicks(times, dump_length)
    except (RunFailed, TestFailure, DriverError, WebDriverException) as failure:
        print("page_rate.py: %s" % failure, file=sys.stderr)
        return 1
    if arguments.rounds > 1:
        for name in engines:
            rate_ratio, rest_ratio = (median_of(values) for values in ratios[name])
            print("%s, median of %d rounds: rate / Linux = %.2f (%s), time to rest / Linux = "
                  "%.2f (%s)" % (name, arguments.rounds, rate_ratio,
                                 met(rate_ratio >= TARGET_RATIO), rest_ratio,
                                 met(rest_ratio <= TARGET_REST_RATIO)))
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    return 0


if __name__ == "__main__":
    sys.exit(main())
