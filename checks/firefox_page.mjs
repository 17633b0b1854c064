// One page in Debian's Firefox ESR, driven over WebDriver BiDi with puppeteer-core, for
// the page's check and benchmark (checks/web_check.py), which speak to it a request per
// line on standard input and read one answer per line on standard output:
//   {"op": NAME, ...}  ->  {"value": ...}  or  {"error": "what went wrong"}
// Firefox is run with a window (on the caller's X display): headless, it has no WebGL.
//
// Usage: node checks/firefox_page.mjs '{"profile": DIR, "downloads": DIR, "webgl": true,
//                                       "phone": false}'
import readline from 'node:readline';
import puppeteer from 'puppeteer-core';

const FIREFOX = '/usr/bin/firefox-esr';
const BUTTONS = ['left', 'middle', 'right'];

const settings = JSON.parse(process.argv[2]);
const browser = await puppeteer.launch({
  browser: 'firefox',
  executablePath: FIREFOX,
  headless: false,
  userDataDir: settings.profile,
  args: ['--width=800', '--height=1000'],
  extraPrefsFirefox: {
    'webgl.disabled': !settings.webgl,
    // "Save the account" saves, without asking, where the check looks.
    'browser.download.dir': settings.downloads,
    'browser.download.folderList': 2,
    'browser.download.useDownloadDir': true,
    'browser.download.always_ask_before_handling_new_types': false,
  },
});
const page = (await browser.pages())[0];
const console_ = [];
page.on('console', (message) => console_.push([message.type(), message.text()]));
page.on('pageerror', (error) => console_.push(['error', String(error)]));
if (settings.phone) {
  // Firefox ESR 140 (Debian 12 without its security updates) sets the viewport but knows
  // no screen orientation, which puppeteer sets beside it: the viewport is what counts.
  await page.setViewport({width: 390, height: 844, deviceScaleFactor: 3, isMobile: true,
                          hasTouch: true}).catch((error) => {
    if (!String(error).includes('unknown command emulation.setScreenOrientationOverride')) {
      throw error;
    }
  });
}
let cover = null;  // a tab in front of the page's, while it is hidden

async function centre(id) {
  const box = await (await page.$('#' + id)).boundingBox();
  return [box.x + box.width / 2, box.y + box.height / 2];
}

// A script runs as WebDriver's "execute script" runs it: a function body, given
// `arguments`; an asynchronous one is handed a callback as its last argument.
const requests = {
  open: async ({url}) => { await page.goto(url); },
  title: () => page.title(),
  run: ({script, args}) => page.evaluate(
    (body, values) => new Function(body).apply(null, values), script, args),
  runAsync: ({script, args}) => page.evaluate((body, values) => new Promise(
    (resolve) => new Function(body).apply(null, values.concat([resolve]))), script, args),
  click: async ({id, button}) => {
    const [x, y] = await centre(id);
    await page.mouse.click(x, y, {button: BUTTONS[button]});
  },
  key: async ({id, key}) => {
    await page.focus('#' + id);
    await page.keyboard.press(key);
  },
  tap: async ({id}) => page.touchscreen.tap(...await centre(id)),
  chooseFile: async ({id, paths}) => (await page.$('#' + id)).uploadFile(...paths),
  shot: async ({id}) => (await page.$('#' + id)).screenshot({encoding: 'base64'}),
  console: () => console_.splice(0),
  hide: async () => {
    cover = await browser.newPage();
    await cover.bringToFront();
  },
  show: async () => {
    await cover.close();
    cover = null;
    await page.bringToFront();
  },
};

const lines = readline.createInterface({input: process.stdin});
for await (const line of lines) {
  const request = JSON.parse(line);
  let answer;
  try {
    const value = await requests[request.op](request);
    answer = {value: value === undefined ? null : value};
  } catch (error) {
    answer = {error: String(error && error.message || error)};
  }
  process.stdout.write(JSON.stringify(answer) + '\n');
}
await browser.close();
