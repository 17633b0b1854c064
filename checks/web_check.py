#!/usr/bin/env python3
"""The browser build in each browser engine (browsers.py: chromium, Firefox ESR and
WebKitGTK), against the Linux program: each page is served on 127.0.0.1 and runs at its
own pace until the die rests. Every case below runs in every engine, written once
against browsers.Browser.

The plain page:
- is titled "3d DICE model" and its canvas is 640 x 480;
- hidden early in the throw, it makes no idle call and prints nothing for
  HIDDEN_WATCH seconds; shown again, the throw goes on;
- #account is the whole account byte for byte once the die rests, and nothing more
  arrives in the next 2 s; the frame rate at rest is counted meanwhile;
- the canvas at rest is the Linux window at rest but for at most MAX_EDGE_PIXELS;
- axe-core finds nothing against the page;
- a left click appends exactly one more dump and the picture stays; a middle and a
  right click append nothing;
- its buttons: "Read the file again" pressed from the keyboard appends one dump; a
  3DS file opened through "Open a 3DS file..." together with its texture appends that
  file's dump (from dump_3ds, not the program), the page names it and says what the
  view shows (the texture used), and the picture shows the texture's colours; the
  same files opened again append the dump again; "Draw a model as the die is drawn"
  reads it once more, the page then naming it alone; a file over the page's limit,
  dropped on the page, is refused in words and nothing changes; "Back to the die"
  appends the die's dump and names it; "Save the account" downloads exactly the
  bytes written so far;
- Roll (two dice) throws from the path's first step; the button, the space bar on the
  picture and a bad address (said in words) each throw anew, and what the page says
  and its program holds is what the Linux program says for the same dice and number;
- the browser's console holds no error or warning but those in ALLOWED_CONSOLE;
- when the browser takes the WebGL context away, the page says so.
On a phone's screen (390 px wide) the plain page, opened at REPLAY_ADDRESS (the
Linux program's numbers for it said, and the whole account), lays out at that width
with no sideways scroll, the canvas scaled down with its buffer still 640 x 480, the
text no smaller than MIN_TEXT_PX, and axe-core finds nothing; a tap on the canvas at
rest appends exactly one dump, and the console stays clean.
The pips page: the same account, and at rest the pips (pixels inside the die much
darker than its white) where the Linux pips build shows them; its console likewise.
Without WebGL, the page says so in words and runs nothing; served without dice.js,
dice.wasm or dice.data, it names the missing file in words.
The server hands each file gzip-compressed to a browser that takes it, as it is to
one that does not.

Usage: web_check.py check [--engines NAME,...] PAGE_DIR PIPS_PAGE_DIR LINUX_DICE
                          LINUX_PIPS_DICE CUBE_3DS
       web_check.py shoot PAGE_DIR CUBE_3DS PNG [MODEL_3DS [TEXTURE]]   (the page at
                  rest in chromium, for docs/web.png; with a model opened and framed,
                  for docs/web-model.png)
on an X display (tools/with_xvfb.sh) for the Linux windows, Firefox and MiniBrowser,
with what tools/web.sh installs: tools/web.sh check runs it so. The engines are
chromium, firefox and webkit, all of them without --engines.
"""

import functools
import gzip
import os
import re
import shutil
import sys
import tempfile
import time
import urllib.request

from selenium.common.exceptions import WebDriverException

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [os.path.join(ROOT, "tests", "account"), os.path.join(ROOT, "tools")]
from browsers import ENGINES, PHONE_WIDTH, Chromium, DriverError  # noqa: E402
from dice_run import (DARK_LEVEL, MIN_DARK_PIXELS, WINDOW_HEIGHT, WINDOW_TITLE,  # noqa: E402
                      WINDOW_WIDTH, DiceRun, Image, window_to_rest)
from dump_3ds import read_account  # noqa: E402
from run_to_rest import (POLL, STALL_TIMEOUT, START_TIMEOUT, STILL_WATCH,  # noqa: E402
                         THROW_TIMEOUT, TestFailure, check, first_difference, keeps_still,
                         run_to_rest, show, so_far, verdict, watch)
from serve import start_server  # noqa: E402
from throw_path import path_lines, whole_account  # noqa: E402

# Each console line a run may show, with why; any other warning or error fails.
ALLOWED_CONSOLE = [
    (r'WARNING: using emscripten GL emulation\. This is a collection of limited '
     r'workarounds, do not expect it to work\."?$',
     "emscripten's legacy GL emulation, chosen for glBegin/glEnd, announces itself once"),
    (r'WARNING: using emscripten GL immediate mode emulation\. This is very limited in '
     r'what it supports"?$',
     "its immediate-mode part announces itself once too"),
    (r"GL Driver Message \(OpenGL, Performance, GL_CLOSE_PATH_NV, High\): Running out of "
     r"reserved outsideRenderPass queueSerial\. ending renderPass now\.",
     "ANGLE (chromium) notes that it ends a render pass early when many frames are drawn "
     "between two of the browser's paints, as the program's pace draws them"),
]
NO_WEBGL_WORDS = ("This browser offers no WebGL, which the die is drawn with. Turn on WebGL "
                  "(hardware acceleration) in the browser's settings, or try another browser.")
LOST_CONTEXT_WORDS = ("The browser took the drawing context (WebGL) away; reload the page to "
                      "start again.")
MISSING_WORDS = ("The page could not fetch %s (404) from its folder on the server. Put dice.html, "
                 "dice.js, dice.wasm and dice.data side by side there, then reload.")
PAGE_FILES = ["dice.html", "dice.js", "dice.wasm", "dice.data"]
DIE_WORDS = "Model: cube.3ds, the die that comes with the page."
OPENED_WORDS = "Model: %s (%s bytes), in place of cube.3ds."
REFUSED_WORDS = "%s is %s bytes, more than the 1,048,576 the page takes; nothing was changed."
MAX_MODEL_BYTES = 1048576
OWN_MODEL = os.path.join(ROOT, "tests", "3ds", "mp5_sil.3ds")
OWN_TEXTURE = os.path.join(ROOT, "tests", "3ds", "mp5sil.bmp")
# What the program says of the model it views, as the model line shows it.
VIEWED_WORDS = ("\nviewing mp5_sil.3ds: 1 object, 256 vertices, 366 faces, size 2.78231 x 44.2009 "
                "x 19.3638\ntexture MP5SIL.BMP: used, mp5sil.bmp (256 x 256)")
MIN_COLOURED = 0.5  # of the viewed model's pixels, lit and textured (lit alone, grey)
SAVED_NAME = "dice-account.txt"
BROWSER_ENDED = "session deleted because of page crash"  # chromedriver's and WebKit's words
LOG_TAIL = 4000  # bytes
REPLAY_DICE, REPLAY_SEED, PAST_SEEDS = 3, 8841026633, 2**64  # also the Windows check's seed
REPLAY_ADDRESS = "#roll=%d&seed=%d" % (REPLAY_DICE, REPLAY_SEED)
BAD_ADDRESS = "#roll=2&seed=%d" % PAST_SEEDS
BAD_ADDRESS_WORDS = ("The address's seed= takes a whole number from 0 to %d, not %d; here is a "
                     "fresh roll instead." % (PAST_SEEDS - 1, PAST_SEEDS))
# The Linux program's line for one die or several, and the number it started from.
ROLLED_LINE = re.compile(r"dice: rolled (?:(\d) dice: ([1-6](?: \+ [1-6])+) = (\d+)|([1-6])) "
                         r"\(seed (\d+)\)\n")
MIN_TEXT_PX = 12
AXE = os.path.join(ROOT, "checks", "node_modules", "axe-core", "axe.min.js")

FRAMES_PER_STEP = 50
MAX_EDGE_PIXELS = 40
PIPS_REACH = 1  # a pip's dark pixel may lie this far from one of the Linux build's
HIDDEN_WATCH = 3.0
SETTLE_WATCH, SETTLE_TRIES = 1.5, 4  # for output printed before hiding to be shown
HIDE_AFTER_LINES = 20  # path lines on the page before it is hidden
SHOT_WIDTH = 720  # the page's picture: the canvas, its margins and the console
LEFT, MIDDLE, RIGHT = 0, 1, 2


class PageRun:
    """A built page served on 127.0.0.1 and opened in a fresh browser of an engine."""

    def __init__(self, engine, folder, fragment="", **options):
        self.engine = engine
        self.server = start_server(folder)
        self.work = tempfile.mkdtemp(prefix="%s_" % engine.name)
        self.downloads = os.path.join(self.work, "downloads")
        os.mkdir(self.downloads)
        self.browser = None
        self.seen = []
        try:
            self.browser = engine(self.work, **options)
            self.browser.open(self.server.page_address + fragment)
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.browser is not None:
            self.browser.close()
        self.server.shutdown()
        shutil.rmtree(self.work, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        if kind is None:
            self.close()
            return
        self.say_log()
        try:
            self.close()
        except WebDriverException as error:  # a browser that has ended cannot be quit
            print("closing %s: %s" % (self.engine.name, error.msg), file=sys.stderr)

    def say_log(self):
        """The last words of the engine's own log, before the run's folder goes."""
        for name in sorted(os.listdir(self.work)):
            if name.endswith(".log"):
                with open(os.path.join(self.work, name), "rb") as log:
                    tail = log.read()[-LOG_TAIL:].decode(errors="replace")
                if tail:
                    print("-- the end of %s:\n%s" % (name, tail), file=sys.stderr, flush=True)

    def run(self, script, *args):
        return self.browser.run(script, *args)

    def account(self):
        return self.run("return document.getElementById('account').textContent").encode()

    def failure(self):
        return self.run("var f = document.getElementById('failure');"
                        "return f.hidden ? null : f.textContent")

    def canvas_shot(self, folder):
        path = os.path.join(folder, "canvas.png")
        with open(path, "wb") as png:
            png.write(self.browser.shot("canvas"))
        return Image.from_file(path)

    def read_console(self):
        """Everything logged since the last call, kept in .seen as (level, message)."""
        self.seen += self.browser.console()

    def ended(self):
        failure = self.failure()
        return None if failure is None else "the page shows a failure: %r" % failure

    def wait_account(self, want, timeout, what, length=None):
        """Waits until #account holds want (its first `length` bytes, if given), failing
        as soon as it leaves it."""
        return watch(self.account, self.ended, so_far(want, length), timeout, what, STALL_TIMEOUT)

    def wait_still(self, got, when, seconds=STILL_WATCH):
        keeps_still(self.account, got, when, seconds)

    def idle_calls(self):
        return self.run("return Module.idleCalls()")

    def text(self, name):
        return self.run("return document.getElementById(arguments[0]).textContent", name)

    def roll_shown(self, before=None):
        """[words, link, list, the program's faces] of the roll shown, once its link is
        not before."""
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline:
            shown = self.run(
                "return [document.getElementById('rolled').textContent, document.getElementById("
                "'replay').getAttribute('href'), Array.from(document.querySelectorAll('#rolls li'),"
                " function (item) { return item.value + '. ' + item.textContent; }), Array.from("
                "{length: Module._dice_rolled_count()}, function (_, i) {"
                " return Module._dice_rolled_face(i); })]")
            if shown[1] != before:
                return shown
            time.sleep(POLL)
        raise TestFailure("no roll shown after the one at %s" % before)


def linux_roll(dice, asset, texture, address):
    """[the page's words, the faces] for a replay address, from what the Linux program
    says when given the same number of dice and seed."""
    count, seed = re.fullmatch(r"#roll=([0-9])&seed=([0-9]+)", address).groups()
    with tempfile.TemporaryFile() as said:
        with DiceRun(dice, asset, [texture], args=["--roll", count, "--seed", seed],
                     stderr=said) as run:
            run.wait_output(lambda out: len(out) > len(run.dump), START_TIMEOUT, "the throw")
        said.seek(0)
        line = said.read().decode()
    match = ROLLED_LINE.fullmatch(line)
    check(match and (match.group(1) or "1") == count and match.group(5) == seed,
          "dice --roll %s --seed %s said %r" % (count, seed, line))
    faces = [int(face) for face in (match.group(4) or match.group(2)).split(" + ")]
    return ["Rolled a %d" % faces[0] if len(faces) == 1 else "Rolled %s dice: %s and %d, %s in all"
            % (count, ", ".join(map(str, faces[:-1])), faces[-1], match.group(3)), faces]


def check_rolls(run, got, path, linux_said):
    run.run("document.getElementById('count').value = '2'")
    run.browser.click("roll")
    start = len(got) + len("".join(path_lines()[:HIDE_AFTER_LINES]))
    run.wait_account(got + path, START_TIMEOUT, "the path again after Roll", length=start)
    said = [run.roll_shown()]
    run.browser.key("canvas", "Space")
    said.append(run.roll_shown(said[-1][1]))
    run.run("location.hash = arguments[0]", BAD_ADDRESS)
    said.append(run.roll_shown(said[-1][1]))
    check(run.text("notice") == BAD_ADDRESS_WORDS, "at %s the page says %r"
          % (BAD_ADDRESS, run.text("notice")))
    for words, address, _, faces in said:
        linux = linux_said(address)
        check([words, faces] == linux, "at %s the page says %r, its program rolled %s; on "
              "Linux: %s" % (address, words, faces, linux))
    print("Roll, the space bar and a bad address: %s, as the Linux program rolls each"
          % "; ".join("%s (%s)" % tuple(shown[:2]) for shown in said))


def check_console(run, name):
    run.read_console()
    seen = {}
    for level, message in run.seen:
        if level not in ("warning", "error"):
            continue
        reason = next((why for pattern, why in ALLOWED_CONSOLE if re.search(pattern, message)),
                      None)
        check(reason is not None, "%s: console %s not allowed: %s" % (name, level, message))
        seen[reason] = seen.get(reason, 0) + 1
    for reason, count in seen.items():
        print("%s: console warning allowed (%d): %s" % (name, count, reason))


def check_axe(run, name):
    """axe-core's rules against the page as it is shown: no violation."""
    check(os.path.exists(AXE), "no %s: tools/web.sh installs it (npm ci in checks/)" % AXE)
    with open(AXE) as axe:
        run.run(axe.read())
    found = run.browser.run_async(
        "var done = arguments[arguments.length - 1];"
        "axe.run(document, {resultTypes: ['violations']}).then(function (result) {"
        "  done(result.violations.map(function (v) {"
        "    return v.id + ' (' + v.impact + '): ' + v.nodes.map(function (n) {"
        "      return n.target.join(' '); }).join(', '); }));"
        "}, function (error) { done(['axe failed: ' + error]); });")
    check(not found, "%s: axe-core finds %s" % (name, "; ".join(found)))
    print("%s: axe-core %s finds no violation" % (name, run.run("return axe.version")))


def open_page(engine, folder, name):
    run = PageRun(engine, folder)
    check(run.browser.title() == WINDOW_TITLE, "%s is titled %r" % (name, run.browser.title()))
    size = run.run("var c = document.getElementById('canvas');"
                   "return [c.width, c.height, c.clientWidth, c.clientHeight]")
    check(size == [WINDOW_WIDTH, WINDOW_HEIGHT] * 2,
          "%s's canvas is %dx%d, shown %dx%d" % (name, *size))
    return run


def run_page_to_rest(run, expected, folder):
    """run_to_rest on #account: (frames per second while the die rests, canvas)."""
    calls = []
    run_to_rest(run.account, run.ended, expected, at_rest=lambda: calls.append(run.idle_calls()))
    return (run.idle_calls() - calls[0]) / STILL_WATCH, run.canvas_shot(folder)


def check_hidden(run, expected, dump):
    """Hidden early in the throw, the page draws and prints nothing; shown, it goes on."""
    path_start = len(dump) + len("".join(path_lines()[:HIDE_AFTER_LINES]))
    run.wait_account(expected, START_TIMEOUT, "path lines", length=path_start)
    run.browser.hide()
    check(run.run("return document.visibilityState") == "hidden", "minimized, the page is "
          "not hidden")
    calls, got = run.idle_calls(), run.account()
    # What the program printed before is shown on the next animation frame, which
    # hidden Firefox gives once a second: the account may take that long to settle.
    for _ in range(SETTLE_TRIES):
        time.sleep(SETTLE_WATCH)
        settled, got = got, run.account()
        if got == settled:
            break
    run.wait_still(got, "while the page was hidden", HIDDEN_WATCH)
    later = run.idle_calls()
    check(later == calls, "hidden, the page made %d idle calls in %.0f s"
          % (later - calls, HIDDEN_WATCH))
    check(len(got) < len(expected), "the die came to rest before the page was hidden")
    run.browser.show()
    print("hidden after %d of %d bytes: no idle call and nothing printed in %.0f s"
          % (len(got), len(expected), HIDDEN_WATCH))


def check_plain(engine, page, linux_shot, expected, dump, folder, linux_said):
    with open_page(engine, page, "the page") as run:
        check_hidden(run, expected, dump)
        rate, shot = run_page_to_rest(run, expected, folder)
        load = os.getloadavg()
        print("the page: title, 640x480 canvas, the whole %d-byte account, still for %.0f s"
              % (len(expected), STILL_WATCH))
        print("frame rate at rest in %s: %.0f frames/s (load average %.2f %.2f %.2f)"
              % (engine.label, rate, *load))
        differ = shot.differing(linux_shot)
        check(len(differ) <= MAX_EDGE_PIXELS, "the die at rest differs from the Linux window in "
              "%d of %d pixels, e.g. %s" % (len(differ), shot.width * shot.height,
                                            sorted(differ)[:5]))
        print("the die at rest: %d of %d pixels differ from the Linux window's"
              % (len(differ), shot.width * shot.height))
        check_axe(run, "the page")

        # Every press is seen to reach the canvas, so that nothing appended means
        # the program ignored it.
        run.run("window.checkPresses = [];"
                "document.getElementById('canvas').addEventListener('mousedown',"
                " function (event) { window.checkPresses.push(event.button); });")
        run.browser.click("canvas", LEFT)
        again = expected + dump
        got = run.wait_account(again, START_TIMEOUT, "second dump after a left click")
        run.wait_still(got, "after the left click's dump")
        moved = run.canvas_shot(folder).differing(shot)
        check(not moved, "after a left click %d pixels differ from the die at rest" % len(moved))
        for button in (MIDDLE, RIGHT):
            run.browser.click("canvas", button)
            run.wait_still(got, "after pressing mouse button %d" % button)
        presses = run.run("return window.checkPresses")
        check(presses == [0, 1, 2], "the canvas saw mouse buttons %s, not 0, 1, 2" % presses)
        print("left click: one more dump, the die still; middle and right: nothing")
        got = check_buttons(run, got, dump)
        check_rolls(run, got, expected[len(dump):], linux_said)
        check_console(run, "the page")
        run.run("document.getElementById('canvas').getContext('webgl')"
                ".getExtension('WEBGL_lose_context').loseContext()")
        wait_failure(run, LOST_CONTEXT_WORDS, "with its WebGL context lost")
    print("WebGL context lost: the page says so")
    return rate


def wait_failure(run, words, case):
    deadline = time.monotonic() + START_TIMEOUT
    while run.failure() is None:
        check(time.monotonic() < deadline, "%s the page shows no failure" % case)
        time.sleep(POLL)
    check(run.failure() == words, "%s the page says %r" % (case, run.failure()))


def check_buttons(run, got, dump):
    """The page's own controls, each adding exactly its dump; returns #account after."""
    if run.browser.keys_work_controls:
        run.browser.key("reread", "Enter")
        how = "from the keyboard"
    else:
        run.browser.click("reread")
        how = "with the mouse (its driver's keys work no control)"
    got = run.wait_account(got + dump, START_TIMEOUT, "dump from Read again " + how)
    with open(OWN_MODEL, "rb") as model:
        own = model.read()
    name = os.path.basename(OWN_MODEL)
    opened = OPENED_WORDS % (name, "{:,}".format(len(own)))
    for again in ("", " again"):
        run.browser.choose_file("file", OWN_MODEL, OWN_TEXTURE)
        got = run.wait_account(got + read_account(own)[0], START_TIMEOUT,
                               "dump of %s opened%s" % (name, again))
        check(run.text("model") == opened + VIEWED_WORDS, "with %s open%s the page says %r"
              % (name, again, run.text("model")))
    shot = run.canvas_shot(run.work)
    lit = [(x, y) for y in range(shot.height) for x in range(shot.width) if any(shot.rgb(x, y))]
    coloured = [p for p in lit if len(set(shot.rgb(*p))) > 1]
    check(len(coloured) >= MIN_COLOURED * len(lit) > 0, "viewed, %s covers %d pixels, %d of "
          "them coloured" % (name, len(lit), len(coloured)))
    run.browser.click("asdie")
    got = run.wait_account(got + read_account(own)[0], START_TIMEOUT, "dump drawn as the die")
    check(run.text("model") == opened, "drawn as the die, the page says %r" % run.text("model"))
    # Dropped: a file one byte over the limit.
    run.run("var files = new DataTransfer();"
            "files.items.add(new File([new Uint8Array(arguments[0] + 1)], 'large.3ds'));"
            "document.getElementById('canvas').dispatchEvent(new DragEvent('drop',"
            " {dataTransfer: files, bubbles: true, cancelable: true}));", MAX_MODEL_BYTES)
    run.wait_still(got, "after a file over the limit was dropped")
    refused = REFUSED_WORDS % ("large.3ds", "{:,}".format(MAX_MODEL_BYTES + 1))
    check(run.text("notice") == refused and run.text("model") == opened,
          "a file over the limit: the page says %r and %r" % (run.text("notice"),
                                                             run.text("model")))
    run.browser.click("restore")
    got = run.wait_account(got + dump, START_TIMEOUT, "dump of the die restored")
    check(run.text("model") == DIE_WORDS, "back to the die, the page says %r" % run.text("model"))
    run.wait_still(got, "after the die was restored")
    run.browser.click("save")
    saved = os.path.join(run.downloads, SAVED_NAME)
    deadline = time.monotonic() + START_TIMEOUT
    while not os.path.exists(saved):
        check(time.monotonic() < deadline, "Save the account gave no " + SAVED_NAME)
        time.sleep(POLL)
    kept = b""
    while len(kept) < len(got) and time.monotonic() < deadline:  # still being written
        with open(saved, "rb") as account:
            kept = account.read()
        time.sleep(POLL)
    check(kept == got, "the saved account differs " + first_difference(kept, got))
    print("buttons: Read again %s, %s opened twice with its texture (%d bytes; %d of its %d "
          "pixels coloured), and drawn as the die, a dropped file over the limit refused, the "
          "die restored, the %d-byte account saved"
          % (how, name, len(own), len(coloured), len(lit), len(got)))
    return got


def check_pips(engine, page, linux_shot, expected, folder):
    with open_page(engine, page, "the pips page") as run:
        _, shot = run_page_to_rest(run, expected, folder)
        check_console(run, "the pips page")
    print("the pips page: the whole account, still for %.0f s" % STILL_WATCH)

    def dark(image):
        return {(x, y) for y in range(image.height) for x in range(image.width)
                if any(image.rgb(x, y)) and max(image.rgb(x, y)) < DARK_LEVEL}

    def near(point, others):
        x, y = point
        return any((x + dx, y + dy) in others for dx in range(-PIPS_REACH, PIPS_REACH + 1)
                   for dy in range(-PIPS_REACH, PIPS_REACH + 1))

    web_dark, linux_dark = dark(shot), dark(linux_shot)
    check(len(web_dark) >= MIN_DARK_PIXELS, "only %d dark pixels on the die: no pips"
          % len(web_dark))
    strays = [p for p in web_dark if not near(p, linux_dark)]
    missing = [p for p in linux_dark if not near(p, web_dark)]
    check(not strays and not missing, "pips differ from the Linux build's: %d dark pixels where "
          "it has none, e.g. %s; %d of its own missing, e.g. %s"
          % (len(strays), sorted(strays)[:5], len(missing), sorted(missing)[:5]))
    print("the pips at rest: %d dark pixels, each within %d pixel of the Linux build's %d; "
          "%d of %d pixels differ in all" % (len(web_dark), PIPS_REACH, len(linux_dark),
                                             len(shot.differing(linux_shot)),
                                             shot.width * shot.height))


def check_phone(engine, page, expected, dump, replay):
    with PageRun(engine, page, REPLAY_ADDRESS, phone=True) as run:
        layout = run.run("""
            var canvas = document.getElementById('canvas'), box = canvas.getBoundingClientRect();
            var sizes = Array.from(document.querySelectorAll('h1, p, button, #account'),
                                   function (e) { return parseFloat(getComputedStyle(e).fontSize); });
            return [innerWidth, document.documentElement.scrollWidth, canvas.width, canvas.height,
                    box.width, box.height,
                    document.getElementById('account').getBoundingClientRect().right,
                    Math.min.apply(null, sizes)]""")
        width, scrolled, buffer_width, buffer_height, shown_width, shown_height, right, text = layout
        wide = PHONE_WIDTH
        check(width == wide and scrolled == wide, "on a %d px screen the page is laid out %d px "
              "wide and scrolls to %d" % (wide, width, scrolled))
        check([buffer_width, buffer_height] == [WINDOW_WIDTH, WINDOW_HEIGHT]
              and shown_width <= wide and abs(shown_height * 4 - shown_width * 3) <= 4
              and right <= wide, "on a %d px screen: canvas %dx%d shown %.0fx%.0f, console's "
              "right edge at %.0f" % (wide, buffer_width, buffer_height, shown_width,
                                      shown_height, right))
        check(text >= MIN_TEXT_PX, "on a phone the smallest text is %.1f px" % text)
        got = run.wait_account(expected, THROW_TIMEOUT, "whole account on the phone")
        words, faces = replay
        shown = run.roll_shown()
        check(shown == [words, REPLAY_ADDRESS, ["1. " + words], faces], "opened at %s the page "
              "shows %s; on Linux: %s" % (REPLAY_ADDRESS, shown, replay))
        check_axe(run, "the page on a phone")
        run.browser.tap("canvas")
        got = run.wait_account(got + dump, START_TIMEOUT, "dump after a tap")
        run.wait_still(got, "after the tap's dump")
        check_console(run, "the page on a phone")
    print("on a %d px screen: no sideways scroll, the canvas shown %.0fx%.0f, text from %.0f px; "
          "%s: %s, as on Linux; a tap: one dump" % (wide, shown_width, shown_height, text,
                                                     REPLAY_ADDRESS, words))


def check_missing(engine, page):
    for missing in PAGE_FILES[1:]:
        with tempfile.TemporaryDirectory() as folder:
            for name in PAGE_FILES:
                if name != missing:
                    shutil.copy(os.path.join(page, name), folder)
            with PageRun(engine, folder) as run:
                wait_failure(run, MISSING_WORDS % missing, "without %s" % missing)
    print("without %s: the page names the missing file" % ", ".join(PAGE_FILES[1:]))


def check_no_webgl(engine, page):
    with PageRun(engine, page, webgl=False) as run:
        wait_failure(run, NO_WEBGL_WORDS, "without WebGL")
        time.sleep(STILL_WATCH)
        check(run.account() == b"", "without WebGL the program ran: " + show(run.account()))
        check_console(run, "the page without WebGL")
    print("without WebGL: the page says so, and the program does not start")


def check_compressed(page):
    """Each of the page's files comes gzip-compressed to a client that takes it, and as
    it is to one that does not."""
    server = start_server(page)
    try:
        sizes = []
        for name in PAGE_FILES:
            with open(os.path.join(page, name), "rb") as original:
                data = original.read()
            address = server.page_address.replace("dice.html", name)
            for encoding in ("gzip", None):
                headers = {"Accept-Encoding": encoding} if encoding else {}
                with urllib.request.urlopen(urllib.request.Request(address, headers=headers)) \
                        as answer:
                    sent = answer.read()
                    coding = answer.headers.get("Content-Encoding")
                check(coding == encoding, "%s asked %s came %s" % (name, encoding, coding))
                check((gzip.decompress(sent) if encoding else sent) == data,
                      "%s came changed (%s)" % (name, encoding))
                sizes.append(len(sent))
    finally:
        server.shutdown()
    print("served gzip-compressed: %s bytes sent in all, %s without"
          % ("{:,}".format(sum(sizes[0::2])), "{:,}".format(sum(sizes[1::2]))))


def once_more_if_browser_ended(engine, case, *args):
    """Runs a case again, once, in a new browser when the browser itself ended under it
    (seen once in WebKitGTK, under load); a page that ends it twice fails."""
    try:
        return case(*args)
    except WebDriverException as error:
        if BROWSER_ENDED not in str(error.msg):
            raise
        print("%s ended during %s (%s); the case again, in a new browser"
              % (engine.name, case.__name__, error.msg.strip()), flush=True)
    return case(*args)


def check_all(page, pips_page, linux_dice, linux_pips_dice, asset, engines):
    with open(asset, "rb") as model:
        data = model.read()
    dump, expected = read_account(data)[0], whole_account(data)
    texture = os.path.join(os.path.dirname(asset), "die.bmp")
    _, linux_shot, _ = window_to_rest(linux_dice, asset, expected)
    _, linux_pips_shot, _ = window_to_rest(linux_pips_dice, asset, expected,
                                           other_files=[texture])
    linux_said = functools.partial(linux_roll, linux_dice, asset, texture)
    replay = linux_said(REPLAY_ADDRESS)
    check_compressed(page)
    rates = []
    for engine in engines:
        print("-- %s" % engine.label, flush=True)
        started = time.monotonic()

        def plain_and_pips():
            with tempfile.TemporaryDirectory() as folder:
                rate = check_plain(engine, page, linux_shot, expected, dump, folder, linux_said)
                check_pips(engine, pips_page, linux_pips_shot, expected, folder)
            return rate

        rate = once_more_if_browser_ended(engine, plain_and_pips)
        once_more_if_browser_ended(engine, check_phone, engine, page, expected, dump,
                                   replay)
        once_more_if_browser_ended(engine, check_missing, engine, page)
        once_more_if_browser_ended(engine, check_no_webgl, engine, page)
        rates.append("%s %.0f frames/s" % (engine.name, rate))
        print("%s: every case passed in %.0f s" % (engine.name, time.monotonic() - started),
              flush=True)
    return ", ".join(rates) + " at rest"


SHOT_FORWARD = 1.5  # seconds for a model opened at rest to come forward, framed


def shoot(page, asset, png, *model):
    """The page at rest in chromium's viewport, its console scrolled to the end; with a
    model (and its texture), the model opened and come forward, framed, untouched."""
    with open(asset, "rb") as die:
        expected = whole_account(die.read())
    with PageRun(Chromium, page) as run:
        got = run.wait_account(expected, THROW_TIMEOUT, "whole account")
        if model:
            with open(model[0], "rb") as own:
                dump = read_account(own.read())[0]
            run.browser.choose_file("file", *model)
            run.wait_account(got + dump, START_TIMEOUT, "dump of " + model[0])
            time.sleep(SHOT_FORWARD)
        height = run.run("return document.documentElement.scrollHeight")
        run.browser.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": SHOT_WIDTH, "height": height, "deviceScaleFactor": 1, "mobile": False})
        time.sleep(1.0)  # the console's scroll to its end happens on a next frame
        run.browser.driver.save_screenshot(png)


def main(arguments):
    engines = list(ENGINES.values())
    if arguments[:1] == ["check"] and arguments[1:2] == ["--engines"] and len(arguments) > 2:
        names = arguments[2].split(",")
        if not set(names) <= set(ENGINES):
            sys.exit("web_check.py: the engines are %s" % ", ".join(ENGINES))
        engines = [ENGINES[name] for name in names]
        arguments = arguments[:1] + arguments[3:]
    if arguments[:1] == ["check"] and len(arguments) == 6:
        return lambda: check_all(*arguments[1:], engines)
    if arguments[:1] == ["shoot"] and len(arguments) in (4, 5, 6):
        return lambda: shoot(*arguments[1:])
    sys.exit(__doc__.strip())


if __name__ == "__main__":
    verdict("web_check", main(sys.argv[1:]), (TestFailure, WebDriverException, DriverError))
