// The web page in headless Chromium, one browser for every check but one.
// What the user sees is judged on screenshots of the whole viewport: the
// picture must be exact k x k blocks of one frame of the animation (the
// reference kernel's, from julia-frames), with black around it.
// - at device ratios 1, 1.5 and 2, and at the fractional ratios of phones and
//   laptops (1.25, 1.75, 2.625, 3), upright and turned, each ended by a key:
//   the picture exact; k = max(1, floor(scale x ratio)), or lower only where
//   k + 1 would not fit the window less the lines under it, and the line
//   that says so, its scale to two decimals; the page within the window; the
//   link that continues from the next frame, the parameters as given; the
//   version line naming the kernel of each module (simd=none: the scalar);
// - the same in a browser started at a real ratio of 1.75 (not emulated);
// - a key or a tap ends it: status line, wake lock released, picture and
//   title kept;
// - full screen: the whole screen black and the picture centred on it, k the
//   largest that fits, or ?scale; its control used by keyboard (Enter or
//   Space) does not end the animation, a key then does; after leaving full
//   screen the last frame is refitted to the window;
// - reduced motion: the starting frame stays (no frame for 2 s and 120
//   refreshes) beside a start control; a key pressed then is not kept for
//   the run: started by keyboard, it runs on, one frame per refresh; on a
//   phone started by a tap, and a tap ends it;
// - a bad parameter (the program's, or the page's own, as fps given twice)
//   shows one line and the page's help, and nothing runs; ?help shows the
//   page's help (with what fps=max does) and nothing runs; fps=max says on
//   the page that it flashes;
// - on a phone (390 x 844 CSS pixels, ratio 3, touch) a rotation refits the
//   running picture; a mouse click does not end it, a tap does; the link it
//   then offers shows exactly the frames that would have come next; ?help
//   does not overflow sideways;
// - a window too small for even k = 1 still shows the picture whole, and the
//   page stays within the window;
// - where the animation flashes in large blocks (k = 8 from frame 2300) the
//   page holds frames, painting the one before again; at k = 1 it does not.
//
//   node page_tests.mjs PAGE.html REFERENCE_FRAMES.js
// Exits 77 (skipped) when Chromium or puppeteer-core is not installed.
import { execFile } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { browserToolsOrSkip, chromium } from '../../lib/chromium.mjs';

const [pagePath, referenceTool] = process.argv.slice(2);
const {puppeteer, PNG} = await browserToolsOrSkip();

const width = 320;
const height = 240;
const first = 1000;
const candidates = 48;
const url = 'file://' + pagePath;

// The reference kernel's frames from .. from+count-1 at scale 1.
async function referenceFrames(from, count) {
  const scratch = mkdtempSync(join(tmpdir(), 'quenlixor-page-'));
  try {
    await new Promise((resolve, reject) => execFile(process.execPath,
      [referenceTool, String(from), String(count), join(scratch, 'frames.raw')],
      (error) => (error ? reject(error) : resolve())));
    const frames = readFileSync(join(scratch, 'frames.raw'));
    if (frames.length !== count * width * height * 4) {
      throw new Error(`reference_frames gave ${frames.length} bytes`);
    }
    return {from, count, frames};
  } finally {
    rmSync(scratch, {recursive: true});
  }
}
const launch = (args = [], more = {}) => puppeteer.launch({executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb', ...args], ...more});
// The frames, the browser for every check, and one started at a real ratio
// of 1.75 (a laptop at 175 %), where layout works in device pixels rather
// than in CSS pixels as where a ratio is emulated.
const [reference, browser, realRatio] = await Promise.all([
  referenceFrames(first, candidates), launch(),
  launch(['--force-device-scale-factor=1.75', '--window-size=1097,617'], {defaultViewport: null})]);

let failures = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) ++failures;
};

// The frame number that `rgba` shows exactly (k x k blocks, opaque), of
// those in `frames` (the first candidates by default), or -1; in an image
// `at` = {x, y, stride} pixels, else exactly the picture's size.
function matchFrame(rgba, k, frames = reference, at = null) {
  const {x: left, y: top, stride} = at || {x: 0, y: 0, stride: width * k};
  for (let f = 0; f < frames.count; ++f) {
    const base = f * width * height;
    let same = at !== null || rgba.length === width * k * height * k * 4;
    for (let y = 0; same && y < height * k; ++y) {
      for (let x = 0; x < width * k; ++x) {
        const p = frames.frames.readUInt32LE(4 * (base + Math.floor(y / k) * width + Math.floor(x / k)));
        const i = 4 * ((top + y) * stride + left + x);
        if (rgba[i] !== (p >> 16 & 255) || rgba[i + 1] !== (p >> 8 & 255) ||
            rgba[i + 2] !== (p & 255) || rgba[i + 3] !== 255) {
          same = false;
          break;
        }
      }
    }
    if (same) return frames.from + f;
  }
  return -1;
}

// What the user sees: a screenshot of the viewport. The picture is what is
// not black (no frame has a black pixel) in the rows of the canvas's box and
// a few more (the lines under it are further down), or on the whole screen
// (`whole`: full screen, where nothing else is shown). Returns where it lies
// in device pixels, its k (0 unless it is k x 320 by k x 240) and the frame
// it shows exactly at that k (-1: none).
async function seen(page, {whole = false, frames = reference} = {}) {
  const shot = PNG.sync.read(Buffer.from(await page.screenshot()));
  const box = await page.evaluate(() => {
    const box = document.getElementById('picture').getBoundingClientRect();
    return {top: box.top * window.devicePixelRatio, bottom: box.bottom * window.devicePixelRatio};
  });
  const top = whole ? 0 : Math.max(0, Math.floor(box.top) - 4);
  const bottom = whole ? shot.height : Math.min(shot.height, Math.ceil(box.bottom) + 4);
  let left = shot.width, right = -1, upper = shot.height, lower = -1;
  for (let y = top; y < bottom; ++y) {
    for (let x = 0, i = 4 * y * shot.width; x < shot.width; ++x, i += 4) {
      if (shot.data[i] !== 0 || shot.data[i + 1] !== 0 || shot.data[i + 2] !== 0) {
        left = Math.min(left, x);
        right = Math.max(right, x);
        upper = Math.min(upper, y);
        lower = Math.max(lower, y);
      }
    }
  }
  const found = {screen: [shot.width, shot.height], x: left, y: upper,
                 width: right - left + 1, height: lower - upper + 1};
  const k = found.width / width;
  const exact = right >= 0 && Number.isInteger(k) && found.height === height * k;
  const frame = exact ? matchFrame(shot.data, k, frames, {x: left, y: upper, stride: shot.width}) : -1;
  return {...found, k: exact ? k : 0, frame};
}
const where = (s) => `${s.width}x${s.height} at ${s.x},${s.y} of ${s.screen.join('x')}`;

const text = (page, id) => page.$eval('#' + id, (e) => e.textContent);
const caption = /^Quenlixor Julia Animator FPS:\d+$/;
// The page's own word on how far it got (data-state on the root element).
const pageState = (page) => page.evaluate(() => ({
  state: document.documentElement.dataset.state,
  exit: document.documentElement.dataset.exitStatus}));
const reached = (page, state) =>
  page.waitForFunction((s) => document.documentElement.dataset.state === s, {}, state);
const decided = (page) =>
  page.waitForFunction(() => document.documentElement.dataset.state !== 'starting');
const ended = /^The animation has ended \((a key was pressed|the picture was tapped)\)\. Continue from frame (\d+), or reload the page to start it again\.$/;
const continueLink = (page) => page.$eval('#continue', (a) => {
  const link = new URL(a.href);
  return {href: a.href, search: link.search, frame: Number(link.searchParams.get('frame'))};
});
// The page's size against the window's, and the height of the lines under
// the picture (everything but its stage).
const layout = (page) => page.evaluate(() => {
  const view = document.documentElement;
  let lines = 0;
  for (const child of document.body.children) {
    if (child.id === 'stage' || child.offsetParent === null) continue;
    const style = getComputedStyle(child);
    lines += child.getBoundingClientRect().height + parseFloat(style.marginTop) +
             parseFloat(style.marginBottom);
  }
  return {viewWidth: view.clientWidth, viewHeight: view.clientHeight,
          scrollWidth: view.scrollWidth, scrollHeight: view.scrollHeight, lines,
          fit: document.getElementById('fit').textContent};
});
const within = (l) => l.scrollWidth <= l.viewWidth && l.scrollHeight <= l.viewHeight;
// The scale as the fit line writes it: two decimals at most.
const plain = (n) => String(Math.round(n * 100) / 100);
// Whether k x k blocks fit a room (CSS pixels) at `ratio`, leaving the 8 CSS
// pixels a picture may need to start on whole device pixels.
const fits = (k, roomWidth, roomHeight, ratio) =>
  k * width <= (roomWidth - 8) * ratio && k * height <= (roomHeight - 8) * ratio;
// Animation frames (requestAnimationFrame) and presents on the page from now
// until at least `ticks` frames and `ms` milliseconds have passed.
const presentsOver = (page, ticks, ms) => page.evaluate((ticks, ms) => new Promise((done) => {
  const from = window.presents;
  const start = performance.now();
  let count = 0;
  const tick = () => {
    if (++count >= ticks && performance.now() - start >= ms) {
      done({ticks: count, presents: window.presents - from});
    } else {
      requestAnimationFrame(tick);
    }
  };
  requestAnimationFrame(tick);
}), ticks, ms);

// Every wake lock the page is granted, to see it released at the end; the
// frames presented, and a copy of the first.
const watch = () => {
  window.grantedLocks = [];
  if (navigator.wakeLock) {
    const request = navigator.wakeLock.request.bind(navigator.wakeLock);
    navigator.wakeLock.request = (type) => request(type).then((lock) => {
      window.grantedLocks.push(lock);
      return lock;
    });
  }
  window.base64Of = (bytes) => {
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(text);
  };
  window.presents = 0;
  // Paints that show another picture than the one before (one pixel of
  // each k x k block compared), and the most paints in a row of one.
  window.pictures = 0;
  window.longestRepeat = 0;
  let last = null;
  let repeats = 0;
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (image, ...rest) {
    if (window.presents++ === 0) {
      window.firstPresent = {width: image.width, data: new Uint8ClampedArray(image.data)};
    }
    const k = image.width / 320;
    if (Number.isInteger(k) && image.height === 240 * k) {
      const words = new Uint32Array(image.data.buffer, image.data.byteOffset, image.width * image.height);
      const picture = new Uint32Array(320 * 240);
      for (let y = 0; y < 240; ++y) {
        for (let x = 0; x < 320; ++x) picture[y * 320 + x] = words[y * k * image.width + x * k];
      }
      if (last === null || picture.some((word, at) => word !== last[at])) {
        ++window.pictures;
        repeats = 0;
      } else {
        window.longestRepeat = Math.max(window.longestRepeat, ++repeats);
      }
      last = picture;
    }
    return put.call(this, image, ...rest);
  };
};
// A run ended by a key at `query`: the page within the window while it
// runs; then the picture exact at the k the window allows, the fit line, the
// link; returns what was seen.
async function endedByKey(page, query, scale, ratio, what) {
  await page.goto(url + query);
  await page.waitForFunction((c) => new RegExp(c).test(document.title), {}, caption.source);
  const l = await layout(page);
  await page.keyboard.press('a');
  await reached(page, 'ended');
  const s = await seen(page);
  const wanted = Math.max(1, Math.floor(scale * ratio));
  const largest = s.k === wanted || !fits(s.k + 1, l.viewWidth, l.viewHeight - l.lines, ratio);
  check(s.frame >= 0 && s.k <= wanted && largest && within(l),
        `${what}: a screenshot shows exact frame ${s.frame} at k = ${s.k} (wanted ${wanted}), ` +
        `${where(s)}; page ${l.scrollWidth}x${l.scrollHeight} in ${l.viewWidth}x${l.viewHeight}`);
  const lowered = `Scale ${scale} lowered to ${plain(s.k / ratio)} to fit the screen ` +
                  `(every pixel ${s.k}\u00d7${s.k} device pixels).`;
  check(l.fit === (s.k < wanted ? lowered : ''), `${what}: fit line "${l.fit}"`);
  const status = await text(page, 'status');
  const link = await continueLink(page);
  const goOn = query.replace(`frame=${first}`, `frame=${s.frame + 1}`);
  check(ended.test(status) && status.includes('(a key was pressed)') && link.search === goOn,
        `${what}: "${status}", the link goes on at ${link.search}`);
  return s;
}

try {
  const real = (await realRatio.pages())[0];
  await real.evaluateOnNewDocument(watch);
  const ratio = await real.evaluate(() => window.devicePixelRatio);
  await endedByKey(real, `?scale=1&frame=${first}&fps=10`, 1, ratio, `at a real ratio of ${ratio}`);
} finally {
  await realRatio.close();
}

try {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(watch);

  // --- The picture at every ratio, ended by a key ------------------------
  // [window width, height, ratio, scale, more parameters]; frame=1000 in the
  // middle, where the continue link must keep it.
  const windows = [[1200, 900, 1, 1, '&simd=none'], [1200, 900, 1.5, 2, ''],
                   [390, 844, 3, 2, ''], [844, 390, 3, 2, ''], [412, 915, 2.625, 2, ''],
                   [915, 412, 2.625, 1, ''], [1097, 617, 1.75, 4, ''], [617, 1097, 1.75, 2, ''],
                   [1536, 864, 1.25, 2, ''], [864, 1536, 1.25, 1, '']];
  for (const [w, h, ratio, scale, more] of windows) {
    await page.setViewport({width: w, height: h, deviceScaleFactor: ratio});
    const query = `?scale=${scale}&frame=${first}&fps=10${more}`;
    await endedByKey(page, query, scale, ratio, `${query} in ${w}x${h} at ratio ${ratio}`);
    const info = await text(page, 'info');
    // Rounded, not cut: 4 / 1.75 is 2.29.
    if (scale === 4) {
      check((await layout(page)).fit.startsWith('Scale 4 lowered to 2.29 '), `${query}: the fit line says 2.29`);
    }
    check(info.includes(`renderer kernel: ${more ? 'reference' : 'simd128'}`),
          `${query}: the version line "${info}"`);
  }

  // --- Full screen ----------------------------------------------------------
  // The screen here is the window: 915 x 412 at ratio 2.625, 2,401 x 1,081
  // device pixels. Without ?scale, the largest k: 4 (5 x 240 > 1,081).
  const screen = {width: 915, height: 412, deviceScaleFactor: 2.625};
  const centred = (s) => Math.abs(s.x - (s.screen[0] - s.x - s.width)) <= 8 * screen.deviceScaleFactor &&
                         Math.abs(s.y - (s.screen[1] - s.y - s.height)) <= 8 * screen.deviceScaleFactor;
  const fullScreen = () => page.waitForFunction(() => document.fullscreenElement !== null);
  await page.setViewport(screen);
  for (const [query, k, key] of [[`?scale=1&frame=${first}&fps=10`, 2, 'Enter'],
                                  [`?frame=${first}&fps=10`, 4, 'Space']]) {
    await page.goto(url + query);
    await reached(page, 'running');
    // By keyboard: Tab to the control, Enter or Space; neither ends the
    // animation, which shows two frames more.
    await page.keyboard.press('Tab');
    const focused = await page.evaluate(() => document.activeElement.id);
    await page.keyboard.press(key);
    await fullScreen();
    const presented = await page.evaluate(() => window.presents);
    await page.waitForFunction(
      (n) => window.presents >= n + 2 || document.documentElement.dataset.state !== 'running', {},
      presented);
    check(focused === 'full' && (await pageState(page)).state === 'running',
          `${query}: Tab reaches the full-screen control (${focused}), ${key} uses it, and it runs on`);
    await page.waitForFunction((k) => document.getElementById('picture').width >= 320 * k, {}, k);
    await page.keyboard.press('a');
    await reached(page, 'ended');
    const s = await seen(page, {whole: true});
    check(s.frame >= 0 && s.k === k && centred(s),
          `${query} in full screen, ended by a key: exact frame ${s.frame} at k = ${s.k} ` +
          `(${k} expected), ${where(s)}, black around`);
  }
  // Leaving full screen after the end: the last frame, refitted to the window
  // (k = floor(2.625)).
  const lastFull = await seen(page, {whole: true});
  await page.evaluate(() => document.exitFullscreen());
  await page.waitForFunction(() => document.fullscreenElement === null);
  await page.waitForFunction(() => document.getElementById('picture').width < 320 * 4);
  const back = await seen(page);
  check(back.frame === lastFull.frame && back.k === 2,
        `after leaving full screen: frame ${back.frame} at k = ${back.k}, ${where(back)}`);

  // --- Reduced motion -----------------------------------------------------
  await page.emulateMediaFeatures([{name: 'prefers-reduced-motion', value: 'reduce'}]);
  await page.setViewport({width: 1200, height: 900, deviceScaleFactor: 1});
  await page.goto(`${url}?frame=${first}`);
  await reached(page, 'waiting');
  const still = await presentsOver(page, 120, 2000);
  const waiting = await seen(page);
  const startShown = await page.$eval('#start', (b) => !b.hidden && b.getBoundingClientRect().height > 0);
  // Full screen would hide the start control: offered once it runs.
  const fullOffered = () => page.$eval('#full', (b) => !b.hidden);
  const fullWhileWaiting = await fullOffered();
  check(still.presents === 0 && waiting.frame === first && startShown && !fullWhileWaiting &&
        (await text(page, 'status')).includes('reduced motion'),
        `reduced motion: frame ${waiting.frame} stays for ${still.ticks} refreshes and 2 s ` +
        `(${still.presents} frames presented), the start control ${startShown ? 'shown' : 'missing'}, ` +
        `full screen ${fullWhileWaiting ? 'offered' : 'not yet'}`);
  // A key pressed while it waits is not kept for the run: started, it runs on.
  await page.keyboard.press('a');
  await page.keyboard.press('Tab');
  const startFocused = await page.evaluate(() => document.activeElement.id);
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.documentElement.dataset.state !== 'waiting');
  // Paced by the refreshes: never more frames than refreshes; fewer where
  // a busy machine makes a frame miss one (so at least half, not all).
  const pace = await presentsOver(page, 30, 0);
  const runs = (await pageState(page)).state;
  check(startFocused === 'start' && runs === 'running' && pace.presents <= pace.ticks + 2 &&
        2 * pace.presents >= pace.ticks && (await fullOffered()),
        `a key while waiting, then started by Tab (${startFocused}) and Enter: ${runs}, ` +
        `${pace.presents} frames in ${pace.ticks} refreshes, full screen offered`);
  await page.keyboard.press('a');
  await reached(page, 'ended');
  check(ended.test(await text(page, 'status')), 'started, a key then ends it');

  // --- Bad parameters and ?help: one line and the help, nothing runs -------
  await page.emulateMediaFeatures([]);
  for (const [query, line] of [['?scale=9', 'quenlixor-julia: --scale 9 is out of range (1-8)'],
                               ['?speed=3', 'quenlixor-julia: unknown option --speed'],
                               ['?fps=max&fps=30', 'quenlixor-julia: fps is given twice'],
                               ['?fps=30&fps=max', 'quenlixor-julia: fps is given twice'],
                               ['?simd=sse2', 'quenlixor-julia: simd takes one value, none']]) {
    await page.goto(url + query);
    await decided(page);
    const usage = await text(page, 'usage');
    const shown = await text(page, 'status');
    const state = await pageState(page);
    const hidden = await page.$eval('#picture', (c) => c.hidden);
    check(shown === line && usage.includes('scale=N') && hidden && state.state === 'refused' &&
          state.exit === '2' && !caption.test(await page.title()),
          `${query}: "${shown}", help ${usage.includes('scale=N') ? 'shown' : 'missing'}, ` +
          `canvas ${hidden ? 'hidden' : 'shown'}, state ${state.state} ` +
          `(exit status ${state.exit}), title "${await page.title()}"`);
  }
  const helpShown = async () => {
    await decided(page);
    return {usage: await text(page, 'usage'), state: (await pageState(page)).state,
            hidden: await page.$eval('#picture', (c) => c.hidden), title: await page.title()};
  };
  await page.goto(url + '?help');
  const help = await helpShown();
  check(['scale=N', 'fps=N', 'fps=max', 'frame=N', 'simd=none', 'a tap', 'photosensitive epilepsy',
         'Full screen', 'reduced motion'].every((word) => help.usage.includes(word)) &&
        !/window|terminal|--/.test(help.usage) && help.hidden && help.state === 'printed' &&
        !caption.test(help.title),
        `?help: the page's help shown (${help.usage.length} characters), canvas hidden`);
  await page.goto(`${url}?fps=max&frame=${first}`);
  await reached(page, 'running');
  const warning = await text(page, 'warning');
  check(/^fps=max flashes: .*seizures in people with photosensitive epilepsy\.$/.test(warning),
        `fps=max: "${warning}"`);
  // And it is unpaced: more frames than the display's refreshes.
  const rate = await page.evaluate(() => new Promise((resolve) => {
    const from = window.presents;
    const start = performance.now();
    let refreshes = 0;
    const tick = () => {
      ++refreshes;
      if (performance.now() - start < 1000) {
        requestAnimationFrame(tick);
      } else {
        resolve({paints: window.presents - from, refreshes});
      }
    };
    requestAnimationFrame(tick);
  }));
  check(rate.paints > 2 * rate.refreshes,
        `fps=max: ${rate.paints} frames in a second of ${rate.refreshes} refreshes`);

  // --- A phone: 390 x 844 CSS pixels, ratio 3, touch ---------------------
  const phone = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
  const turned = {...phone, width: phone.height, height: phone.width, isLandscape: true};
  // Rotated while running: the next frame refits the picture (k 3 to 4).
  await page.setViewport(phone);
  await page.goto(`${url}?scale=2&fps=2&frame=${first}`);
  await reached(page, 'running');
  await page.setViewport(turned);
  await page.waitForFunction(() => document.getElementById('picture').width >= 320 * 4);
  const turnedLayout = await layout(page);
  await page.keyboard.press('a');
  await reached(page, 'ended');
  const rotated = await seen(page);
  check(rotated.frame >= 0 && rotated.k === 4 && within(turnedLayout),
        `turned to 844x390 while running: exact frame ${rotated.frame} at k = ${rotated.k}, ${where(rotated)}`);

  // A mouse click on the picture is not a key; a tap is.
  await page.setViewport(phone);
  const query = `?scale=2&fps=30&frame=${first}`;
  await page.goto(url + query);
  await page.waitForFunction(() => window.presents > 1);
  const picture = await (await page.$('#picture')).boundingBox();
  const centre = [picture.x + picture.width / 2, picture.y + picture.height / 2];
  await page.mouse.click(...centre);
  const presented = await page.evaluate(() => window.presents);
  await page.waitForFunction(
    (n) => window.presents >= n + 2 || document.documentElement.dataset.state !== 'running', {},
    presented);
  check((await pageState(page)).state === 'running', 'a mouse click does not end it');
  const locked = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  await page.touchscreen.tap(...centre);
  await reached(page, 'ended');
  const tapped = await text(page, 'status');
  const titleAtEnd = await page.title();
  const goOn = await continueLink(page);
  const around = goOn.frame < first + candidates ? reference : await referenceFrames(goOn.frame - 1, 2);
  const shotAtEnd = await seen(page, {frames: around});
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const shotLater = await seen(page, {frames: around});
  const released = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  check(ended.test(tapped) && tapped.includes('(the picture was tapped)'), `after a tap: "${tapped}"`);
  check(titleAtEnd === (await page.title()) && caption.test(titleAtEnd),
        `after a tap the title stays "${titleAtEnd}"`);
  check(locked.length > 0 && locked.every((r) => !r) && released.every((r) => r),
        `wake lock held while running (${locked}), released after the tap (${released})`);
  // The link goes on from the frame after the last one shown, with the same
  // parameters; opening it shows exactly that frame first.
  check(shotAtEnd.frame === goOn.frame - 1 && shotLater.frame === shotAtEnd.frame &&
        shotLater.y === shotAtEnd.y && goOn.search === `?scale=2&fps=30&frame=${goOn.frame}`,
        `the picture left is frame ${shotAtEnd.frame} (a second later ${shotLater.frame}); ` +
        `the link: ${goOn.search}`);
  const linkBox = await (await page.$('#continue')).boundingBox();
  await Promise.all([page.waitForNavigation(),
                     page.touchscreen.tap(linkBox.x + linkBox.width / 2,
                                          linkBox.y + linkBox.height / 2)]);
  await page.waitForFunction(() => window.presents > 0);
  const opened = await page.evaluate(() => ({search: location.search, width: window.firstPresent.width,
                                             data: window.base64Of(window.firstPresent.data)}));
  const firstShown = matchFrame(Buffer.from(opened.data, 'base64'), opened.width / width, around);
  check(opened.search === goOn.search && firstShown === goOn.frame,
        `the link opened ${opened.search} and showed frame ${firstShown} first`);

  // Reduced motion on the phone: a tap on the start control starts it (and
  // is not a tap on the picture); a tap on the picture then ends it.
  await page.emulateMediaFeatures([{name: 'prefers-reduced-motion', value: 'reduce'}]);
  await page.goto(`${url}?scale=2&frame=${first}`);
  await reached(page, 'waiting');
  const start = await (await page.$('#start')).boundingBox();
  await page.touchscreen.tap(start.x + start.width / 2, start.y + start.height / 2);
  await reached(page, 'running');
  await page.waitForFunction(() => window.presents > 3);
  const moving = await (await page.$('#picture')).boundingBox();
  await page.touchscreen.tap(moving.x + moving.width / 2, moving.y + moving.height / 2);
  await reached(page, 'ended');
  check((await text(page, 'status')).includes('(the picture was tapped)'),
        'reduced motion on a phone: a tap starts it, a tap on the picture ends it');
  await page.emulateMediaFeatures([]);

  // ?help on the phone: nothing overflows sideways.
  await page.goto(url + '?help');
  await helpShown();
  const sideways = await page.evaluate(() => {
    const view = document.documentElement;
    let widest = 0;
    for (const e of document.querySelectorAll('#usage *')) {
      widest = Math.max(widest, e.getBoundingClientRect().right, e.scrollWidth);
    }
    return {page: view.scrollWidth, widest, view: view.clientWidth};
  });
  check(sideways.page <= sideways.view && sideways.widest <= sideways.view,
        `?help at 390 CSS pixels: page ${sideways.page}, widest line ${sideways.widest} ` +
        `in ${sideways.view}`);

  // --- The guard on the pace ----------------------------------------------
  // From frame 2300 on the animation flashes in blocks of 8, where each part
  // of the screen it is judged by (341 x 256 device pixels) holds 43 x 32
  // picture pixels: the page holds frames there for most of a second,
  // painting the one on the screen again meanwhile. In blocks of 1 every
  // paint is a new picture (but for a refit's).
  for (const [w, h, scale] of [[2600, 2300, 8], [1200, 900, 1]]) {
    await page.setViewport({width: w, height: h, deviceScaleFactor: 1});
    await page.goto(`${url}?scale=${scale}&frame=2300`);
    await reached(page, 'running');
    await page.waitForFunction(() => window.presents >= 120, {timeout: 120000});
    const painted = await page.evaluate(() => ({presents: window.presents, pictures: window.pictures,
                                                 longest: window.longestRepeat}));
    await page.keyboard.press('a');
    await reached(page, 'ended');
    check(scale === 8 ? painted.longest >= 10 : painted.longest <= 1,
          `?scale=${scale}&frame=2300 in ${w}x${h}: ${painted.pictures} pictures in ` +
          `${painted.presents} paints, at most ${painted.longest} repeated in a row`);
  }

  // A window smaller than the picture at k = 1: shown whole, smaller, and
  // the page, lines and all, within the window.
  await page.setViewport({width: 300, height: 220, deviceScaleFactor: 1});
  await page.goto(`${url}?fps=2&frame=${first}`);
  await reached(page, 'running');
  const small = await layout(page);
  const box = await page.$eval('#picture', (c) => c.getBoundingClientRect().toJSON());
  check(box.left >= 0 && box.top >= 0 && box.right <= small.viewWidth && box.bottom <= small.viewHeight &&
        within(small) && small.fit.startsWith('Scale 1 lowered to'),
        `300x220: picture ${box.left},${box.top}-${box.right},${box.bottom}, ` +
        `page ${small.scrollWidth}x${small.scrollHeight}, "${small.fit}"`);
} finally {
  await browser.close();
}

console.log(failures === 0 ? 'all checks passed' : `${failures} checks failed`);
process.exit(failures === 0 ? 0 : 1);
