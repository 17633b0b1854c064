"""One page in one browser engine, driven through what every engine's driver does alike,
so that the page's check and benchmark write each case once and run it in them all:

- chromium: Debian's headless chromium, WebGL in SwiftShader, through chromium-driver
  and python3-selenium;
- firefox: Debian's Firefox ESR with a window on the X display (headless it has no
  WebGL), WebGL on Mesa, over WebDriver BiDi through npm's puppeteer-core
  (firefox_page.mjs, run by Node);
- webkit: WebKitGTK's MiniBrowser with a window on the X display, WebGL on Mesa,
  through Debian's WebKitWebDriver (webkit2gtk-driver) and python3-selenium.

Each engine(folder, phone=False, webgl=True) starts a fresh browser whose profile,
downloads and temporary files lie in folder. phone lays the page out 390 px wide, as
a phone held upright does (chromium emulates the phone itself, with touch; Firefox
its viewport and touch; MiniBrowser makes its window that narrow); webgl=False starts
the engine with WebGL turned off. Elements are named by their id.
"""

import base64
import json
import os
import socket
import subprocess
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.interaction import POINTER_TOUCH
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.keys import Keys

HERE = os.path.dirname(os.path.abspath(__file__))
PHONE_WIDTH, PHONE_HEIGHT = 390, 844
WIDE = {"width": 800, "height": 1000}  # the whole canvas in view, for its screenshot
KEYS = {"Enter": Keys.ENTER, "Space": Keys.SPACE}
DRIVER_START = 60.0  # a browser's start on a busy machine; only a broken one waits longer


class DriverError(Exception):
    """The browser or its driver failed, rather than the page."""


class Browser:
    name = label = None
    # Whether a key pressed through the driver works a control (Enter a button), as a
    # user's key does; where not, why.
    keys_work_controls = True

    def open(self, url):
        raise NotImplementedError

    def title(self):
        raise NotImplementedError

    def run(self, script, *args):
        """A function body, given `arguments`, run in the page: what it returns."""
        raise NotImplementedError

    def run_async(self, script, *args):
        """The same, handed a callback as its last argument: what it is called with."""
        raise NotImplementedError

    def click(self, element, button=0):
        """A press and release of a mouse button (0 left, 1 middle, 2 right) on the
        element's centre."""
        raise NotImplementedError

    def key(self, element, key):
        """The element focused, then a key pressed and released on it."""
        raise NotImplementedError

    def tap(self, element):
        raise NotImplementedError

    def choose_file(self, element, *paths):
        """Files chosen together in a file input, as a user chooses them."""
        raise NotImplementedError

    def shot(self, element):
        """The element as shown, a PNG."""
        raise NotImplementedError

    def console(self):
        """What the page put on the browser's console since the last call:
        [(level, text)], level one of "error", "warning" and lesser ones."""
        raise NotImplementedError

    def hide(self):
        """The page out of sight, as when its window is minimized."""
        raise NotImplementedError

    def show(self):
        raise NotImplementedError

    def close(self):
        raise NotImplementedError


class SeleniumBrowser(Browser):
    driver = None

    def title(self):
        return self.driver.title

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def run_async(self, script, *args):
        return self.driver.execute_async_script(script, *args)

    def open(self, url):
        self.driver.set_script_timeout(DRIVER_START)
        self.driver.get(url)

    def find(self, element):
        return self.driver.find_element("id", element)

    def click(self, element, button=0):
        if button == 0:
            ActionChains(self.driver).move_to_element(self.find(element)).click().perform()
        elif button == 2:
            ActionChains(self.driver).move_to_element(self.find(element)).context_click().perform()
        else:
            actions = ActionBuilder(self.driver)
            actions.pointer_action.move_to(self.find(element)).pointer_down(button)
            actions.pointer_action.pointer_up(button)
            actions.perform()

    def key(self, element, key):
        self.find(element).send_keys(KEYS[key])

    def tap(self, element):
        touch = ActionBuilder(self.driver, mouse=PointerInput(POINTER_TOUCH, "finger"))
        touch.pointer_action.move_to(self.find(element)).pointer_down().pointer_up()
        touch.perform()

    def choose_file(self, element, *paths):
        self.find(element).send_keys("\n".join(map(os.path.abspath, paths)))

    def shot(self, element):
        return self.find(element).screenshot_as_png

    def hide(self):
        self.driver.minimize_window()

    def show(self):
        self.driver.set_window_rect(**WIDE)

    def close(self):
        if self.driver is not None:
            self.driver.quit()


class Chromium(SeleniumBrowser):
    name, label = "chromium", "headless chromium (SwiftShader)"
    BINARY = "/usr/bin/chromium"
    DRIVER = "/usr/bin/chromedriver"
    FLAGS = [
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
        "--window-size=%(width)d,%(height)d" % WIDE,
    ]
    PHONE = {"deviceMetrics": {"width": PHONE_WIDTH, "height": PHONE_HEIGHT, "pixelRatio": 3.0,
                               "touch": True},
             "userAgent": "Mozilla/5.0 (Linux; Android 14; Pixel 8) Mobile"}
    LEVELS = {"SEVERE": "error", "WARNING": "warning"}

    def __init__(self, folder, phone=False, webgl=True):
        options = webdriver.ChromeOptions()
        options.binary_location = self.BINARY
        for flag in self.FLAGS + ([] if webgl else ["--disable-webgl"]):
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + os.path.join(folder, "profile"))
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        if phone:
            options.add_experimental_option("mobileEmulation", self.PHONE)
        # Chromium's crash-report folder goes where its settings would: in the profile.
        service = Service(self.DRIVER, env={**os.environ, "XDG_CONFIG_HOME": folder})
        self.driver = webdriver.Chrome(service=service, options=options)
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {
            "behavior": "allow", "downloadPath": os.path.join(folder, "downloads")})

    def console(self):
        return [(self.LEVELS.get(entry["level"], entry["level"].lower()), entry["message"])
                for entry in self.driver.get_log("browser")]


class WebKit(SeleniumBrowser):
    name, label = "webkit", "WebKitGTK's MiniBrowser (Mesa)"
    DRIVER = "/usr/bin/WebKitWebDriver"
    # MiniBrowser's toolbar asks for 447 px; narrower buttons and address field let its
    # window, and so the page, be as narrow as a phone.
    NARROW_TOOLBAR = "button, entry { min-width: 0; padding-left: 0; padding-right: 0; }\n"
    # WebKitWebDriver keeps no console log: the page's warnings and errors are caught in
    # the page, from its load on (emscripten's first words may come before).
    CONSOLE_HOOK = """
        if (window.checkConsole) return;
        var seen = window.checkConsole = [];
        [['warn', 'warning'], ['error', 'error']].forEach(function (pair) {
          var original = console[pair[0]];
          console[pair[0]] = function () {
            seen.push([pair[1], Array.prototype.join.call(arguments, ' ')]);
            return original.apply(console, arguments);
          };
        });
        window.addEventListener('error', function (event) {
          seen.push(['error', String(event.message || event.target)]);
        }, true);
        window.addEventListener('unhandledrejection', function (event) {
          seen.push(['error', String(event.reason)]);
        });"""

    def __init__(self, folder, phone=False, webgl=True):
        # Its settings, and where it saves a download, follow HOME: the folder.
        os.makedirs(os.path.join(folder, ".config", "gtk-3.0"))
        with open(os.path.join(folder, ".config", "gtk-3.0", "gtk.css"), "w") as css:
            css.write(self.NARROW_TOOLBAR)
        with open(os.path.join(folder, ".config", "user-dirs.dirs"), "w") as dirs:
            dirs.write('XDG_DOWNLOAD_DIR="$HOME/downloads"\n')
        self.process = None
        with socket.socket() as free:
            free.bind(("127.0.0.1", 0))
            port = free.getsockname()[1]
        env = {**os.environ, "HOME": folder, "XDG_CONFIG_HOME": os.path.join(folder, ".config")}
        with open(os.path.join(folder, "webkit.log"), "wb") as log:
            self.process = subprocess.Popen([self.DRIVER, "--port=%d" % port], env=env,
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        options = webdriver.WebKitGTKOptions()
        options.binary_location = minibrowser()
        options.add_argument("--automation")
        if not webgl:
            options.add_argument("--enable-webgl=false")
        address = "http://127.0.0.1:%d" % port
        deadline = time.monotonic() + DRIVER_START
        while True:
            try:
                self.driver = webdriver.Remote(command_executor=address, options=options)
                break
            except Exception:  # noqa: BLE001 (not listening yet)
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.close()
                    raise DriverError("WebKitWebDriver did not start (see %s/webkit.log)"
                                      % folder)
                time.sleep(0.2)
        # A driver of this machine's, reading the files chosen straight from here.
        self.driver._is_remote = False
        if phone:
            self.driver.set_window_rect(width=PHONE_WIDTH, height=PHONE_HEIGHT)
        else:
            self.driver.set_window_rect(**WIDE)

    def open(self, url):
        super().open(url)
        self.run(self.CONSOLE_HOOK)

    def console(self):
        return [tuple(entry) for entry in self.run("var seen = window.checkConsole || [];"
                                                    "return seen.splice(0, seen.length)")]

    def close(self):
        try:
            super().close()
        finally:
            if self.process is not None and self.process.poll() is None:
                self.process.terminate()
                self.process.wait()


def minibrowser():
    """WebKitGTK's MiniBrowser, in the library's folder of this machine's architecture."""
    found = subprocess.run(["dpkg-query", "-L", "libwebkit2gtk-4.1-0"], capture_output=True,
                           text=True).stdout.split()
    paths = [path for path in found if path.endswith("/MiniBrowser")]
    if not paths:
        raise DriverError("no MiniBrowser: install webkit2gtk-driver (tools/install_deps.sh web)")
    return paths[0]


class Firefox(Browser):
    name, label = "firefox", "Firefox ESR (Mesa)"
    # Its keys reach the page (keydown, keypress and keyup, trusted, with their key
    # codes, and text into a field) but work no control: Enter on a button and Space
    # on a checkbox do nothing, on a page of its own as on ours, with a window or
    # headless (Firefox ESR 153, puppeteer-core 24.43).
    keys_work_controls = False
    PAGE = os.path.join(HERE, "firefox_page.mjs")

    def __init__(self, folder, phone=False, webgl=True):
        if not os.path.isdir(os.path.join(HERE, "node_modules", "puppeteer-core")):
            raise DriverError("checks/node_modules lacks puppeteer-core: tools/web.sh installs "
                              "it (npm ci in checks/)")
        settings = {"profile": os.path.join(folder, "profile"), "phone": phone, "webgl": webgl,
                    "downloads": os.path.join(folder, "downloads")}
        os.makedirs(settings["profile"])
        self.process = subprocess.Popen(["node", self.PAGE, json.dumps(settings)],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env={**os.environ, "TMPDIR": folder})

    def ask(self, op, **request):
        request["op"] = op
        try:
            self.process.stdin.write((json.dumps(request) + "\n").encode())
            self.process.stdin.flush()
            line = self.process.stdout.readline()
        except BrokenPipeError:
            line = b""
        if not line:
            raise DriverError("Firefox's driver ended (status %s) during %s"
                              % (self.process.wait(), op))
        answer = json.loads(line)
        if "error" in answer:
            raise DriverError("Firefox: %s: %s" % (op, answer["error"]))
        return answer["value"]

    def open(self, url):
        self.ask("open", url=url)

    def title(self):
        return self.ask("title")

    def run(self, script, *args):
        return self.ask("run", script=script, args=list(args))

    def run_async(self, script, *args):
        return self.ask("runAsync", script=script, args=list(args))

    def click(self, element, button=0):
        self.ask("click", id=element, button=button)

    def key(self, element, key):
        # Over BiDi, puppeteer knows the space bar only as the character.
        self.ask("key", id=element, key=" " if key == "Space" else key)

    def tap(self, element):
        self.ask("tap", id=element)

    def choose_file(self, element, *paths):
        self.ask("chooseFile", id=element, paths=[os.path.abspath(path) for path in paths])

    def shot(self, element):
        return base64.b64decode(self.ask("shot", id=element))

    def console(self):
        return [("warning" if level == "warn" else level, text)
                for level, text in self.ask("console")]

    def hide(self):
        self.ask("hide")

    def show(self):
        self.ask("show")

    def close(self):
        self.process.stdin.close()  # it closes Firefox and ends
        try:
            self.process.wait(timeout=DRIVER_START)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


ENGINES = {engine.name: engine for engine in (Chromium, Firefox, WebKit)}
