// The web page in headless Chromium, one browser for every check:
// - at scale 1 and 2 and device scale factors 1, 1.5 and 2 the canvas holds an
//   exact frame of the animation (the reference kernel's, from julia-frames),
//   every picture pixel a k x k block, k = max(1, floor(scale x ratio)), laid
//   out at one canvas pixel per device pixel; the title is the rate caption;
// - scalar (simd=none) is exact too;
// - a key ends it: status line, wake lock released, picture and title kept,
//   and a link that continues from the next frame;
// - a bad parameter (the program's, or the page's own, as fps given twice)
//   shows one line and the page's help, and nothing runs;
// - ?help shows the page's help and nothing runs;
// - on a phone (390 x 844 CSS pixels, ratio 3, touch) at ?scale=2 the
//   picture is whole on the screen and exact at the k the page chose, and
//   after a rotation to 844 x 390 too; a mouse click does not end it, a tap
//   does; the link it then offers shows exactly the frames that would have
//   come next; ?help does not overflow sideways;
// - a window too small for even k = 1 still shows the picture whole.
//
//   node page_tests.mjs PAGE.html REFERENCE_FRAMES.js
// Exits 77 (skipped) when Chromium or puppeteer-core is not installed.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const chromium = '/usr/bin/chromium';
const [pagePath, referenceTool] = process.argv.slice(2);
if (!existsSync(chromium)) {
  console.log(`SKIP: ${chromium} is missing (Debian: apt-get install chromium)`);
  process.exit(77);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  console.log('SKIP: puppeteer-core is not installed (run npm ci in the source tree)');
  process.exit(77);
}

const width = 320;
const height = 240;
const first = 1000;
const candidates = 32;

// The reference kernel's frames from .. from+count-1 at scale 1.
function referenceFrames(from, count) {
  const scratch = mkdtempSync(join(tmpdir(), 'quenlixor-page-'));
  try {
    execFileSync(process.execPath,
      [referenceTool, String(from), String(count), join(scratch, 'frames.raw')]);
    const frames = readFileSync(join(scratch, 'frames.raw'));
    if (frames.length !== count * width * height * 4) {
      throw new Error(`reference_frames gave ${frames.length} bytes`);
    }
    return {from, count, frames};
  } finally {
    rmSync(scratch, {recursive: true});
  }
}
const reference = referenceFrames(first, candidates);

let failures = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) ++failures;
};

// The frame number the canvas shows exactly (k x k blocks, opaque), of
// those in `frames` (the first candidates by default), or -1.
function matchFrame(rgba, k, frames = reference) {
  for (let f = 0; f < frames.count; ++f) {
    const base = f * width * height;
    let same = rgba.length === width * k * height * k * 4;
    for (let y = 0; same && y < height * k; ++y) {
      for (let x = 0; x < width * k; ++x) {
        const p = frames.frames.readUInt32LE(4 * (base + Math.floor(y / k) * width + Math.floor(x / k)));
        const i = 4 * (y * width * k + x);
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

// Pixels come back from the page as base64: an array of numbers each would
// cost seconds at k = 3 or 4.
const readCanvas = async (page) => {
  const c = await page.evaluate(() => {
    const c = document.getElementById('picture');
    const box = c.getBoundingClientRect();
    return {width: c.width, height: c.height, cssWidth: box.width, cssHeight: box.height,
            rendering: getComputedStyle(c).imageRendering, hidden: c.hidden,
            data: window.base64Of(c.getContext('2d').getImageData(0, 0, c.width, c.height).data)};
  });
  return {...c, data: Buffer.from(c.data, 'base64')};
};
// What the user sees: a screenshot of the canvas's box (a PNG), and its
// pixels, decoded in the page.
const canvasPng = async (page) =>
  (await page.$('#picture')).screenshot({encoding: 'base64'});
const pngPixels = async (page, png) => Buffer.from(await page.evaluate(async (data) => {
  const image = new Image();
  image.src = 'data:image/png;base64,' + data;
  await image.decode();
  const canvas = new OffscreenCanvas(image.width, image.height);
  const context = canvas.getContext('2d');
  context.drawImage(image, 0, 0);
  return window.base64Of(context.getImageData(0, 0, image.width, image.height).data);
}, png), 'base64');
const screenshotCanvas = async (page) => pngPixels(page, await canvasPng(page));
const text = (page, id) => page.$eval('#' + id, (e) => e.textContent);
const caption = /^Quenlixor Julia Animator FPS:\d+$/;
const captioned = (page) =>
  page.waitForFunction((c) => new RegExp(c).test(document.title), {}, caption.source);
// Layout sizes are in 1/64 CSS pixel: one canvas pixel per device pixel up
// to that.
const near = (css, device, ratio) => Math.abs(css * ratio - device) <= ratio / 64;
// The page's own word on how far it got (data-state on the root element).
const pageState = (page) => page.evaluate(() => ({
  state: document.documentElement.dataset.state,
  exit: document.documentElement.dataset.exitStatus}));
const decided = (page) =>
  page.waitForFunction(() => document.documentElement.dataset.state !== 'starting');
const ended = /^The animation has ended \((a key was pressed|the picture was tapped)\)\. Continue from frame (\d+), or reload the page to start it again\.$/;
// The continue link's parameters, frame apart, and its frame.
const continueLink = (page) => page.$eval('#continue', (a) => {
  const query = new URL(a.href).searchParams;
  const frame = Number(query.get('frame'));
  query.delete('frame');
  return {href: a.href, frame, rest: query.toString()};
});

const browser = await puppeteer.launch({executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
try {
  const page = await browser.newPage();
  // Every wake lock the page is granted, to see it released at the end; the
  // frames presented, and a copy of the first.
  await page.evaluateOnNewDocument(() => {
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
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (image, ...rest) {
      if (window.presents++ === 0) {
        window.firstPresent = {width: image.width, data: new Uint8ClampedArray(image.data)};
      }
      return put.call(this, image, ...rest);
    };
  });
  const open = async (query, ratio) => {
    await page.setViewport({width: 1200, height: 900, deviceScaleFactor: ratio});
    await page.goto('file://' + pagePath + query);
  };

  for (const [scale, ratio, simd] of [[1, 1, ''], [1, 1.5, ''], [1, 2, ''], [2, 1, ''],
                                      [2, 1.5, ''], [1, 1, '&simd=none']]) {
    const query = `?scale=${scale}&fps=2&frame=${first}${simd}`;
    await open(query, ratio);
    await captioned(page);
    const c = await readCanvas(page);
    const k = Math.max(1, Math.floor(scale * ratio));
    const frame = matchFrame(c.data, k);
    // One canvas pixel per device pixel, drawn without smoothing.
    check(c.width === width * k && c.height === height * k && near(c.cssWidth, c.width, ratio) &&
          near(c.cssHeight, c.height, ratio) && ['pixelated', 'crisp-edges'].includes(c.rendering),
          `${query} at ratio ${ratio}: canvas ${c.width}x${c.height} (k = ${k}), ` +
          `${c.cssWidth}x${c.cssHeight} CSS pixels, ${c.rendering}`);
    check(frame >= 0, `${query} at ratio ${ratio}: exact frame ${frame}, title "${await page.title()}"`);
    // A screenshot is taken at CSS size x ratio and resampled when the CSS
    // size is not a whole number of pixels (320 / 1.5), so only where it is.
    if (Number.isInteger(width * k / ratio)) {
      const seen = matchFrame(await screenshotCanvas(page), k);
      check(seen >= 0, `${query} at ratio ${ratio}: a screenshot shows exact frame ${seen}`);
    }
  }

  // The end: the page of the last check is still running.
  const before = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  await page.keyboard.press('a');
  await page.waitForFunction(() => document.getElementById('status').textContent !== '');
  const status = await text(page, 'status');
  const title = await page.title();
  const first_ = await readCanvas(page);
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const second = await readCanvas(page);
  const after = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  const last = matchFrame(second.data, 1);
  check(ended.test(status) && status.includes('(a key was pressed)') &&
        (await pageState(page)).state === 'ended', `after a key: "${status}"`);
  check(Buffer.compare(first_.data, second.data) === 0 && last >= 0,
        'after a key the last frame stays');
  check(title === (await page.title()) && caption.test(title), `after a key the title stays "${title}"`);
  check(before.length > 0 && before.every((r) => !r) && after.every((r) => r),
        `wake lock held while running (${before}), released at the end (${after})`);
  const link = await continueLink(page);
  check(link.frame === last + 1 && link.rest === 'scale=1&fps=2&simd=none',
        `after frame ${last} the link continues from frame ${link.frame}: ${link.href}`);

  // A bad parameter: the one line, the page's help, no animation.
  for (const [query, line] of [['?scale=9', 'quenlixor-julia: --scale 9 is out of range (1-8)'],
                               ['?speed=3', 'quenlixor-julia: unknown option --speed'],
                               ['?fps=max&fps=30', 'quenlixor-julia: fps is given twice'],
                               ['?fps=30&fps=max', 'quenlixor-julia: fps is given twice'],
                               ['?simd=sse2', 'quenlixor-julia: simd takes one value, none']]) {
    await open(query, 1);
    await decided(page);
    const usage = await text(page, 'usage');
    const shown = await text(page, 'status');
    const state = await pageState(page);
    const c = await readCanvas(page);
    check(shown === line && usage.includes('scale=N') && c.hidden && state.state === 'refused' &&
          state.exit === '2' && !caption.test(await page.title()),
          `${query}: "${shown}", help ${usage.includes('scale=N') ? 'shown' : 'missing'}, ` +
          `canvas ${c.hidden ? 'hidden' : 'shown'}, state ${state.state} ` +
          `(exit status ${state.exit}), title "${await page.title()}"`);
  }

  // ?help: the page's help, in its own terms, and no animation.
  const helpShown = async () => {
    await decided(page);
    const usage = await text(page, 'usage');
    const state = await pageState(page);
    return {usage, state: state.state, hidden: (await readCanvas(page)).hidden,
            title: await page.title()};
  };
  await open('?help', 1);
  const help = await helpShown();
  check(['scale=N', 'fps=N', 'fps=max', 'frame=N', 'simd=none', 'a tap'].every(
          (word) => help.usage.includes(word)) && !/window|terminal|--/.test(help.usage) &&
        help.hidden && help.state === 'printed' && !caption.test(help.title),
        `?help: the page's help shown (${help.usage.length} characters), canvas hidden`);

  // --- A phone: 390 x 844 CSS pixels, ratio 3, touch ---------------------
  const phone = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
  const ratio = phone.deviceScaleFactor;
  // Where the picture lies, its k, whether the page overflows, and the
  // height of the lines under the picture (to see whether k + 1 would fit).
  const layout = () => page.evaluate(() => {
    const view = document.documentElement;
    const canvas = document.getElementById('picture');
    const box = canvas.getBoundingClientRect();
    let content = 0;
    for (const child of document.body.children) {
      if (child.offsetParent === null) continue;
      const style = getComputedStyle(child);
      content += child.getBoundingClientRect().height + parseFloat(style.marginTop) +
                 parseFloat(style.marginBottom);
    }
    return {k: canvas.width / 320, height: canvas.height, left: box.left, top: box.top,
            right: box.right, bottom: box.bottom, cssWidth: box.width, cssHeight: box.height,
            viewWidth: view.clientWidth, viewHeight: view.clientHeight,
            scrollWidth: view.scrollWidth, scrollHeight: view.scrollHeight,
            linesHeight: content - box.height, fit: document.getElementById('fit').textContent};
  });
  const whole = async (scale, what) => {
    const l = await layout();
    const k = l.k;
    const wanted = Math.max(1, Math.floor(scale * ratio));
    const largest = (k + 1) * width / ratio > l.viewWidth ||
                    (k + 1) * height / ratio + l.linesHeight > l.viewHeight;
    check(Number.isInteger(k) && l.height === height * k && l.left >= 0 && l.top >= 0 &&
          l.right <= l.viewWidth && l.bottom <= l.viewHeight &&
          l.scrollWidth <= l.viewWidth && l.scrollHeight <= l.viewHeight &&
          near(l.cssWidth, width * k, ratio) && near(l.cssHeight, height * k, ratio) &&
          k <= wanted && (k === wanted || largest),
          `${what}: k = ${k} (wanted ${wanted}), box ${l.left},${l.top}-${l.right},${l.bottom} ` +
          `in ${l.viewWidth}x${l.viewHeight}, page ${l.scrollWidth}x${l.scrollHeight}`);
    const lowered = `Scale ${scale} lowered to ${Math.round(k / ratio * 100) / 100} to fit the screen`;
    check(k < wanted ? l.fit.startsWith(lowered) : l.fit === '', `${what}: "${l.fit}"`);
    const c = await readCanvas(page);
    const frame = matchFrame(c.data, k);
    check(frame >= 0, `${what}: exact frame ${frame}`);
    if (Number.isInteger(width * k / ratio)) {
      const seen = matchFrame(await screenshotCanvas(page), k);
      check(seen >= 0, `${what}: a screenshot shows exact frame ${seen}`);
    }
    return k;
  };

  await page.setViewport(phone);
  await page.goto(`file://${pagePath}?scale=2&fps=2&frame=${first}`);
  await captioned(page);
  const upright = await whole(2, '390x844 at ?scale=2');
  // Rotated: the next frame refits the canvas (k must change: 4 fits now; a
  // canvas never refitted fails the checks that follow).
  await page.setViewport({...phone, width: phone.height, height: phone.width, isLandscape: true});
  await page.waitForFunction((k) => document.getElementById('picture').width !== 320 * k, {},
                             upright).catch(() => {});
  await whole(2, '844x390 at ?scale=2');

  // A mouse click on the picture is not a key; a tap is.
  await page.setViewport(phone);
  const query = `?scale=2&fps=30&frame=${first}`;
  await page.goto(`file://${pagePath}${query}`);
  await page.waitForFunction(() => /FPS:[1-9]/.test(document.title));
  const picture = await (await page.$('#picture')).boundingBox();
  const centre = [picture.x + picture.width / 2, picture.y + picture.height / 2];
  await page.mouse.click(...centre);
  const shown = await page.evaluate(() => window.presents);
  await page.waitForFunction(
    (n) => window.presents >= n + 2 || document.documentElement.dataset.state !== 'running', {},
    shown);
  check((await pageState(page)).state === 'running', 'a mouse click does not end it');
  const locked = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  await page.touchscreen.tap(...centre);
  await page.waitForFunction(() => document.documentElement.dataset.state !== 'running');
  const tapped = await text(page, 'status');
  const titleAtEnd = await page.title();
  const shotAtEnd = await canvasPng(page);
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const shotLater = await canvasPng(page);
  const released = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  check(ended.test(tapped) && tapped.includes('(the picture was tapped)') &&
        (await pageState(page)).state === 'ended', `after a tap: "${tapped}"`);
  check(shotAtEnd === shotLater,
        'after a tap two screenshots a second apart are the same');
  check(titleAtEnd === (await page.title()) && caption.test(titleAtEnd),
        `after a tap the title stays "${titleAtEnd}"`);
  check(locked.length > 0 && locked.every((r) => !r) && released.every((r) => r),
        `wake lock held while running (${locked}), released after the tap (${released})`);

  // The link goes on from the frame after the last one shown, with the same
  // parameters; opening it shows exactly that frame first.
  const goOn = await continueLink(page);
  const around = referenceFrames(goOn.frame - 1, 2);
  const lastShown = matchFrame(await pngPixels(page, shotLater), upright, around);
  check(lastShown === goOn.frame - 1 && goOn.rest === 'scale=2&fps=30',
        `the picture left is frame ${lastShown}; the link: ${goOn.href}`);
  const linkBox = await (await page.$('#continue')).boundingBox();
  await Promise.all([page.waitForNavigation(),
                     page.touchscreen.tap(linkBox.x + linkBox.width / 2,
                                          linkBox.y + linkBox.height / 2)]);
  await page.waitForFunction(() => window.presents > 0);
  const opened = await page.evaluate(() => ({search: location.search, width: window.firstPresent.width,
                                             data: window.base64Of(window.firstPresent.data)}));
  const firstShown = matchFrame(Buffer.from(opened.data, 'base64'), opened.width / width, around);
  check(opened.search === `?scale=2&fps=30&frame=${goOn.frame}` && firstShown === goOn.frame,
        `the link opened ${opened.search} and showed frame ${firstShown} first`);

  // ?help on the phone: nothing overflows sideways.
  await page.goto(`file://${pagePath}?help`);
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

  // A window smaller than the picture at k = 1: shown whole, smaller.
  await page.setViewport({width: 240, height: 200, deviceScaleFactor: 1});
  await page.goto(`file://${pagePath}?fps=2&frame=${first}`);
  await captioned(page);
  const small = await layout();
  check(small.left >= 0 && small.top >= 0 && small.right <= small.viewWidth &&
        small.bottom <= small.viewHeight && small.scrollWidth <= small.viewWidth &&
        small.fit.startsWith('Scale 1 lowered to'),
        `240x200: box ${small.left},${small.top}-${small.right},${small.bottom}, "${small.fit}"`);
} finally {
  await browser.close();
}
console.log(failures === 0 ? 'all checks passed' : `${failures} checks failed`);
process.exit(failures === 0 ? 0 : 1);
