#!/usr/bin/env python3
"""The browser build in headless chromium, against the Linux program: each page is
served on 127.0.0.1 and runs at its own pace until the die rests.

The plain page:
- is titled "3d DICE model" and its canvas is 640 x 480;
- hidden early in the throw, it makes no idle call and prints nothing for
  HIDDEN_WATCH seconds; shown again, the throw goes on;
- #account is the whole account byte for byte once the die rests, and nothing more
  arrives in the next 2 s; the frame rate at rest is counted meanwhile;
- the canvas at rest is the Linux window at rest but for at most MAX_EDGE_PIXELS;
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
- the browser's console holds no error or warning but those in ALLOWED_CONSOLE;
- when the browser takes the WebGL context away, the page says so.
On a phone's screen (chromium's mobile emulation, 390 px wide) the plain page lays
out at that width with no sideways scroll, the canvas scaled down with its buffer
still 640 x 480, the text no smaller than MIN_TEXT_PX; a tap on the canvas at rest
appends exactly one dump, and the console stays clean.
The pips page: the same account, and at rest the pips (pixels inside the die much
darker than its white) where the Linux pips build shows them; its console likewise.
Without WebGL, the page says so in words and runs nothing; served without dice.js,
dice.wasm or dice.data, it names the missing file in words.

Usage: web_check.py check PAGE_DIR PIPS_PAGE_DIR LINUX_DICE LINUX_PIPS_DICE CUBE_3DS
       web_check.py shoot PAGE_DIR CUBE_3DS PNG [MODEL_3DS TEXTURE]   (the page at rest,
                  for docs/web.png; with a model opened, turned and nearer: docs/web-model.png)
on an X display for the Linux windows (tools/with_xvfb.sh), with Debian's chromium,
chromium-driver and python3-selenium: tools/web.sh check runs it so.
"""

import os
import re
import shutil
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.interaction import POINTER_TOUCH
from selenium.webdriver.common.actions.mouse_button import MouseButton
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.keys import Keys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [os.path.join(ROOT, "tests", "account"), os.path.join(ROOT, "tools")]
from dice_run import (DARK_LEVEL, MIN_DARK_PIXELS, WINDOW_HEIGHT, WINDOW_TITLE,  # noqa: E402
                      WINDOW_WIDTH, Image, window_to_rest)
from dump_3ds import read_account  # noqa: E402
from run_to_rest import (POLL, STALL_TIMEOUT, START_TIMEOUT, STILL_WATCH,  # noqa: E402
                         THROW_TIMEOUT, TestFailure, check, first_difference, keeps_still,
                         run_to_rest, show, so_far, verdict, watch)
from serve import start_server  # noqa: E402
from throw_path import path_lines, whole_account  # noqa: E402

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = [
    "--headless=new",
    # WebGL on the CPU through ANGLE's SwiftShader: there is no GPU here.
    "--use-angle=swiftshader",
    "--enable-unsafe-swiftshader",
    "--no-sandbox",  # CI runs as root, where chromium's sandbox will not start
    # The network is closed: nothing to fetch, update or sign in to.
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--no-first-run",
    "--disable-quic",
    "--window-size=800,1000",  # the whole canvas in view, for its screenshot
]
# Each console line a run may show, with why; any other warning or error fails.
ALLOWED_CONSOLE = [
    (r'"WARNING: using emscripten GL emulation\. This is a collection of limited '
     r'workarounds, do not expect it to work\."$',
     "emscripten's legacy GL emulation, chosen for glBegin/glEnd, announces itself once"),
    (r'"WARNING: using emscripten GL immediate mode emulation\. This is very limited in '
     r'what it supports"$',
     "its immediate-mode part announces itself once too"),
    (r"GL Driver Message \(OpenGL, Performance, GL_CLOSE_PATH_NV, High\): Running out of "
     r"reserved outsideRenderPass queueSerial\. ending renderPass now\.",
     "ANGLE notes that it ends a render pass early when many frames are drawn between two "
     "of the browser's paints, as the program's pace draws them"),
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
PHONE = {"deviceMetrics": {"width": 390, "height": 844, "pixelRatio": 3.0, "touch": True},
         "userAgent": "Mozilla/5.0 (Linux; Android 14; Pixel 8) Mobile"}
MIN_TEXT_PX = 12

FRAMES_PER_STEP = 50
MAX_EDGE_PIXELS = 40
PIPS_REACH = 1  # a pip's dark pixel may lie this far from one of the Linux build's
HIDDEN_WATCH = 3.0
HIDE_AFTER_LINES = 20  # path lines on the page before it is hidden
SHOT_WIDTH = 720  # the page's picture: the canvas, its margins and the console


class PageRun:
    """A built page served on 127.0.0.1 and opened in a fresh headless chromium."""

    def __init__(self, folder, extra_flags=(), emulate=None, downloads=None):
        self.server = start_server(folder)
        self.profile = tempfile.mkdtemp(prefix="chromium_profile_")
        self.driver = None
        self.console = []
        try:
            options = webdriver.ChromeOptions()
            options.binary_location = CHROMIUM
            for flag in CHROMIUM_FLAGS + list(extra_flags):
                options.add_argument(flag)
            options.add_argument("--user-data-dir=" + self.profile)
            options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
            if emulate:
                options.add_experimental_option("mobileEmulation", emulate)
            # Chromium's crash-report folder goes where its settings would: in the profile.
            service = Service(CHROMEDRIVER, env={**os.environ, "XDG_CONFIG_HOME": self.profile})
            self.driver = webdriver.Chrome(service=service, options=options)
            if downloads:
                self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                            {"behavior": "allow", "downloadPath": downloads})
            self.driver.get(self.server.page_address)
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.driver is not None:
            self.driver.quit()
        self.server.shutdown()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def account(self):
        return self.run("return document.getElementById('account').textContent").encode()

    def failure(self):
        return self.run("var f = document.getElementById('failure');"
                        "return f.hidden ? null : f.textContent")

    def canvas(self):
        return self.driver.find_element("id", "canvas")

    def canvas_shot(self, folder):
        path = os.path.join(folder, "canvas.png")
        with open(path, "wb") as png:
            png.write(self.canvas().screenshot_as_png)
        return Image.from_file(path)

    def read_console(self):
        """Everything logged since the last call, kept in .console as (level, message)."""
        self.console += [(entry["level"], entry["message"])
                         for entry in self.driver.get_log("browser")]

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

    def button(self, name):
        return self.driver.find_element("id", name)


def check_console(run, name):
    run.read_console()
    seen = {}
    for level, message in run.console:
        if level not in ("WARNING", "SEVERE"):
            continue
        reason = next((why for pattern, why in ALLOWED_CONSOLE if re.search(pattern, message)),
                      None)
        check(reason is not None, "%s: console %s not allowed: %s" % (name, level, message))
        seen[reason] = seen.get(reason, 0) + 1
    for reason, count in seen.items():
        print("%s: console warning allowed (%d): %s" % (name, count, reason))


def open_page(folder, name, downloads=None):
    run = PageRun(folder, downloads=downloads)
    check(run.driver.title == WINDOW_TITLE, "%s is titled %r" % (name, run.driver.title))
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
    run.driver.minimize_window()
    check(run.run("return document.visibilityState") == "hidden", "minimized, the page is "
          "not hidden")
    calls, got = run.idle_calls(), run.account()
    run.wait_still(got, "while the page was hidden", HIDDEN_WATCH)
    later = run.idle_calls()
    check(later == calls, "hidden, the page made %d idle calls in %.0f s"
          % (later - calls, HIDDEN_WATCH))
    check(len(got) < len(expected), "the die came to rest before the page was hidden")
    run.driver.set_window_rect(width=800, height=1000)
    print("hidden after %d of %d bytes: no idle call and nothing printed in %.0f s"
          % (len(got), len(expected), HIDDEN_WATCH))


def press(run, button):
    """One press and release of a mouse button on the canvas's centre."""
    if button == MouseButton.LEFT:
        ActionChains(run.driver).move_to_element(run.canvas()).click().perform()
    elif button == MouseButton.RIGHT:
        ActionChains(run.driver).move_to_element(run.canvas()).context_click().perform()
    else:
        actions = ActionBuilder(run.driver)
        actions.pointer_action.move_to(run.canvas()).pointer_down(button).pointer_up(button)
        actions.perform()


def check_plain(page, linux_dice, asset, expected, dump, folder):
    _, linux_shot, _ = window_to_rest(linux_dice, asset, expected)
    with open_page(page, "the page", downloads=folder) as run:
        check_hidden(run, expected, dump)
        rate, shot = run_page_to_rest(run, expected, folder)
        load = os.getloadavg()
        print("the page: title, 640x480 canvas, the whole %d-byte account, still for %.0f s"
              % (len(expected), STILL_WATCH))
        print("frame rate at rest in headless chromium: %.0f frames/s (load average %.2f %.2f "
              "%.2f)" % (rate, *load))
        differ = shot.differing(linux_shot)
        check(len(differ) <= MAX_EDGE_PIXELS, "the die at rest differs from the Linux window in "
              "%d of %d pixels, e.g. %s" % (len(differ), shot.width * shot.height,
                                            sorted(differ)[:5]))
        print("the die at rest: %d of %d pixels differ from the Linux window's"
              % (len(differ), shot.width * shot.height))

        # Every press is seen to reach the canvas, so that nothing appended means
        # the program ignored it.
        run.run("window.checkPresses = [];"
                "document.getElementById('canvas').addEventListener('mousedown',"
                " function (event) { window.checkPresses.push(event.button); });")
        press(run, MouseButton.LEFT)
        again = expected + dump
        got = run.wait_account(again, START_TIMEOUT, "second dump after a left click")
        run.wait_still(got, "after the left click's dump")
        moved = run.canvas_shot(folder).differing(shot)
        check(not moved, "after a left click %d pixels differ from the die at rest" % len(moved))
        for button in (MouseButton.MIDDLE, MouseButton.RIGHT):
            press(run, button)
            run.wait_still(got, "after pressing mouse button %d" % button)
        presses = run.run("return window.checkPresses")
        check(presses == [0, 1, 2], "the canvas saw mouse buttons %s, not 0, 1, 2" % presses)
        print("left click: one more dump, the die still; middle and right: nothing")
        got = check_buttons(run, got, dump, folder)
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


def check_buttons(run, got, dump, folder):
    """The page's own controls, each adding exactly its dump; returns #account after."""
    run.button("reread").send_keys(Keys.ENTER)
    got = run.wait_account(got + dump, START_TIMEOUT, "dump from the keyboard's Read again")
    with open(OWN_MODEL, "rb") as model:
        own = model.read()
    name = os.path.basename(OWN_MODEL)
    opened = OPENED_WORDS % (name, "{:,}".format(len(own)))
    for again in ("", " again"):
        run.button("file").send_keys("\n".join(map(os.path.abspath, (OWN_MODEL, OWN_TEXTURE))))
        got = run.wait_account(got + read_account(own)[0], START_TIMEOUT,
                               "dump of %s opened%s" % (name, again))
        check(run.text("model") == opened + VIEWED_WORDS, "with %s open%s the page says %r"
              % (name, again, run.text("model")))
    shot = run.canvas_shot(folder)
    lit = [(x, y) for y in range(shot.height) for x in range(shot.width) if any(shot.rgb(x, y))]
    coloured = [p for p in lit if len(set(shot.rgb(*p))) > 1]
    check(len(coloured) >= MIN_COLOURED * len(lit) > 0, "viewed, %s covers %d pixels, %d of "
          "them coloured" % (name, len(lit), len(coloured)))
    run.button("asdie").click()
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
    run.button("restore").click()
    got = run.wait_account(got + dump, START_TIMEOUT, "dump of the die restored")
    check(run.text("model") == DIE_WORDS, "back to the die, the page says %r" % run.text("model"))
    run.wait_still(got, "after the die was restored")
    run.button("save").click()
    saved = os.path.join(folder, SAVED_NAME)
    deadline = time.monotonic() + START_TIMEOUT
    while not os.path.exists(saved):
        check(time.monotonic() < deadline, "Save the account gave no " + SAVED_NAME)
        time.sleep(POLL)
    with open(saved, "rb") as account:
        kept = account.read()
    check(kept == got, "the saved account differs " + first_difference(kept, got))
    print("buttons: Read again from the keyboard, %s opened twice with its texture (%d bytes; "
          "%d of its %d pixels coloured), and drawn as the die, a dropped file over the limit "
          "refused, the die restored, the %d-byte account saved"
          % (name, len(own), len(coloured), len(lit), len(got)))
    return got


def check_pips(page, linux_dice, asset, expected, dump, folder):
    texture = os.path.join(os.path.dirname(asset), "die.bmp")
    _, linux_shot, _ = window_to_rest(linux_dice, asset, expected, other_files=[texture])
    with open_page(page, "the pips page") as run:
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


def check_phone(page, expected, dump):
    with PageRun(page, emulate=PHONE) as run:
        layout = run.run("""
            var canvas = document.getElementById('canvas'), box = canvas.getBoundingClientRect();
            var sizes = Array.from(document.querySelectorAll('h1, p, button, #account'),
                                   function (e) { return parseFloat(getComputedStyle(e).fontSize); });
            return [innerWidth, document.documentElement.scrollWidth, canvas.width, canvas.height,
                    box.width, box.height,
                    document.getElementById('account').getBoundingClientRect().right,
                    Math.min.apply(null, sizes)]""")
        width, scrolled, buffer_width, buffer_height, shown_width, shown_height, right, text = layout
        wide = PHONE["deviceMetrics"]["width"]
        check(width == wide and scrolled == wide, "on a %d px screen the page is laid out %d px "
              "wide and scrolls to %d" % (wide, width, scrolled))
        check([buffer_width, buffer_height] == [WINDOW_WIDTH, WINDOW_HEIGHT]
              and shown_width <= wide and abs(shown_height * 4 - shown_width * 3) <= 4
              and right <= wide, "on a %d px screen: canvas %dx%d shown %.0fx%.0f, console's "
              "right edge at %.0f" % (wide, buffer_width, buffer_height, shown_width,
                                      shown_height, right))
        check(text >= MIN_TEXT_PX, "on a phone the smallest text is %.1f px" % text)
        got = run.wait_account(expected, THROW_TIMEOUT, "whole account on the phone")
        touch = ActionBuilder(run.driver, mouse=PointerInput(POINTER_TOUCH, "finger"))
        touch.pointer_action.move_to(run.canvas()).pointer_down().pointer_up()
        touch.perform()
        got = run.wait_account(got + dump, START_TIMEOUT, "dump after a tap")
        run.wait_still(got, "after the tap's dump")
        check_console(run, "the page on a phone")
    print("on a %d px screen: no sideways scroll, the canvas shown %.0fx%.0f, text from %.0f px; "
          "a tap: one dump" % (wide, shown_width, shown_height, text))


def check_missing(page):
    for missing in PAGE_FILES[1:]:
        with tempfile.TemporaryDirectory() as folder:
            for name in PAGE_FILES:
                if name != missing:
                    shutil.copy(os.path.join(page, name), folder)
            with PageRun(folder) as run:
                wait_failure(run, MISSING_WORDS % missing, "without %s" % missing)
    print("without %s: the page names the missing file" % ", ".join(PAGE_FILES[1:]))


def check_no_webgl(page):
    with PageRun(page, ["--disable-webgl"]) as run:
        wait_failure(run, NO_WEBGL_WORDS, "without WebGL")
        time.sleep(STILL_WATCH)
        check(run.account() == b"", "without WebGL the program ran: " + show(run.account()))
        check_console(run, "the page without WebGL")
    print("without WebGL: the page says so, and the program does not start")


def check_all(page, pips_page, linux_dice, linux_pips_dice, asset):
    with open(asset, "rb") as model:
        data = model.read()
    dump, expected = read_account(data)[0], whole_account(data)
    with tempfile.TemporaryDirectory() as folder:
        check_plain(page, linux_dice, asset, expected, dump, folder)
        check_pips(pips_page, linux_pips_dice, asset, expected, dump, folder)
    check_phone(page, expected, dump)
    check_missing(page)
    check_no_webgl(page)


SHOT_TURN = 180  # pixels of drag: a quarter turn
SHOT_NEARER = 8  # wheel steps


def shoot(page, asset, png, model=None, texture=None):
    """The page at rest in chromium's viewport, its console scrolled to the end; with a
    model, the model opened with its texture, turned a quarter and brought nearer."""
    with open(asset, "rb") as die:
        expected = whole_account(die.read())
    with PageRun(page) as run:
        got = run.wait_account(expected, THROW_TIMEOUT, "whole account")
        if model:
            with open(model, "rb") as own:
                dump = read_account(own.read())[0]
            run.button("file").send_keys(os.path.abspath(model) + "\n" + os.path.abspath(texture))
            run.wait_account(got + dump, START_TIMEOUT, "dump of " + model)
            ActionChains(run.driver).move_to_element(run.canvas()).click_and_hold() \
                .move_by_offset(SHOT_TURN // 2, 0).move_by_offset(SHOT_TURN // 2, 0) \
                .release().perform()
            for _ in range(SHOT_NEARER):
                run.run("arguments[0].dispatchEvent(new WheelEvent('wheel', {deltaY: -100, "
                        "bubbles: true, cancelable: true}))", run.canvas())
        height = run.run("return document.documentElement.scrollHeight")
        run.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": SHOT_WIDTH, "height": height, "deviceScaleFactor": 1, "mobile": False})
        time.sleep(1.0)  # the console's scroll to its end happens on a next frame
        run.driver.save_screenshot(png)


if __name__ == "__main__":
    commands = {("check", 7): check_all, ("shoot", 5): shoot, ("shoot", 7): shoot}
    command = commands.get((sys.argv[1] if len(sys.argv) > 1 else None, len(sys.argv)))
    if command is None:
        sys.exit(__doc__.strip())
    verdict("web_check", lambda: command(*sys.argv[2:]), (TestFailure, WebDriverException))
