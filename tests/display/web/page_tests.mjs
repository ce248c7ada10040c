// The web page in headless Chromium, one browser for every check:
// - at scale 1 and 2 and device scale factors 1, 1.5 and 2 the canvas holds an
//   exact frame of the animation (the reference kernel's, from julia-frames),
//   every picture pixel a k x k block, k = max(1, floor(scale x ratio)), laid
//   out at one canvas pixel per device pixel; the title is the rate caption;
// - scalar (simd=none) is exact too;
// - a key ends it: status line, wake lock released, picture and title kept;
// - a bad parameter shows the program's one line and the usage, and nothing runs;
// - ?help shows the usage and nothing runs.
//
//   node page_tests.mjs PAGE.html REFERENCE_FRAMES.js
// Exits 77 (skipped) when Chromium or puppeteer-core is not installed.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const chromium = '/usr/bin/chromium';
const [pagePath, referenceFrames] = process.argv.slice(2);
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
const candidates = 8;
// The frames first .. first+candidates-1 of the reference kernel at scale 1.
const scratch = mkdtempSync(join(tmpdir(), 'quenlixor-page-'));
execFileSync(process.execPath,
  [referenceFrames, String(first), String(candidates), join(scratch, 'frames.raw')]);
const reference = readFileSync(join(scratch, 'frames.raw'));
rmSync(scratch, {recursive: true});
if (reference.length !== candidates * width * height * 4) {
  console.error(`reference_frames gave ${reference.length} bytes`);
  process.exit(1);
}

let failures = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) ++failures;
};

// The frame number the canvas shows exactly (k x k blocks, opaque), or -1.
function matchFrame(rgba, k) {
  for (let f = 0; f < candidates; ++f) {
    const base = f * width * height;
    let same = rgba.length === width * k * height * k * 4;
    for (let y = 0; same && y < height * k; ++y) {
      for (let x = 0; x < width * k; ++x) {
        const p = reference.readUInt32LE(4 * (base + Math.floor(y / k) * width + Math.floor(x / k)));
        const i = 4 * (y * width * k + x);
        if (rgba[i] !== (p >> 16 & 255) || rgba[i + 1] !== (p >> 8 & 255) ||
            rgba[i + 2] !== (p & 255) || rgba[i + 3] !== 255) {
          same = false;
          break;
        }
      }
    }
    if (same) return first + f;
  }
  return -1;
}

const readCanvas = (page) => page.evaluate(() => {
  const c = document.getElementById('picture');
  const box = c.getBoundingClientRect();
  return {width: c.width, height: c.height, cssWidth: box.width, cssHeight: box.height,
          rendering: getComputedStyle(c).imageRendering, hidden: c.hidden,
          data: Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data)};
});
// What the user sees: a screenshot of the canvas's box, decoded in the page.
async function screenshotCanvas(page) {
  const png = await (await page.$('#picture')).screenshot({encoding: 'base64'});
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, image.width, image.height).data);
  }, png);
}
const text = (page, id) => page.$eval('#' + id, (e) => e.textContent);
const caption = /^Quenlixor Julia Animator FPS:\d+$/;

const browser = await puppeteer.launch({executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
try {
  const page = await browser.newPage();
  // Every wake lock the page is granted, to see it released at the end.
  await page.evaluateOnNewDocument(() => {
    window.grantedLocks = [];
    if (navigator.wakeLock) {
      const request = navigator.wakeLock.request.bind(navigator.wakeLock);
      navigator.wakeLock.request = (type) => request(type).then((lock) => {
        window.grantedLocks.push(lock);
        return lock;
      });
    }
  });
  const open = async (query, ratio) => {
    await page.setViewport({width: 1200, height: 900, deviceScaleFactor: ratio});
    await page.goto('file://' + pagePath + query);
  };

  for (const [scale, ratio, simd] of [[1, 1, ''], [1, 1.5, ''], [1, 2, ''], [2, 1, ''],
                                      [2, 1.5, ''], [1, 1, '&simd=none']]) {
    const query = `?scale=${scale}&fps=2&frame=${first}${simd}`;
    await open(query, ratio);
    await page.waitForFunction((c) => new RegExp(c).test(document.title), {}, caption.source);
    const c = await readCanvas(page);
    const k = Math.max(1, Math.floor(scale * ratio));
    const frame = matchFrame(Buffer.from(c.data), k);
    // Layout sizes are in 1/64 CSS pixel: one canvas pixel per device pixel
    // up to that, and drawn without smoothing.
    const near = (css, device) => Math.abs(css * ratio - device) <= ratio / 64;
    check(c.width === width * k && c.height === height * k && near(c.cssWidth, c.width) &&
          near(c.cssHeight, c.height) && ['pixelated', 'crisp-edges'].includes(c.rendering),
          `${query} at ratio ${ratio}: canvas ${c.width}x${c.height} (k = ${k}), ` +
          `${c.cssWidth}x${c.cssHeight} CSS pixels, ${c.rendering}`);
    check(frame >= 0, `${query} at ratio ${ratio}: exact frame ${frame}, title "${await page.title()}"`);
    // A screenshot is taken at CSS size x ratio and resampled when the CSS
    // size is not a whole number of pixels (320 / 1.5), so only where it is.
    if (Number.isInteger(width * k / ratio)) {
      const seen = matchFrame(Buffer.from(await screenshotCanvas(page)), k);
      check(seen >= 0, `${query} at ratio ${ratio}: a screenshot shows exact frame ${seen}`);
    }
  }

  // The end: the page of the last check is still running.
  const before = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  await page.keyboard.press('a');
  await page.waitForFunction(() => document.getElementById('status').textContent !== '');
  const status = await text(page, 'status');
  check(status === 'The animation has ended (a key was pressed). Reload the page to start it again.',
        `after a key: "${status}"`);
  const title = await page.title();
  const first_ = await readCanvas(page);
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const second = await readCanvas(page);
  const after = await page.evaluate(() => window.grantedLocks.map((l) => l.released));
  check(Buffer.compare(Buffer.from(first_.data), Buffer.from(second.data)) === 0 &&
        matchFrame(Buffer.from(second.data), 1) >= 0, 'after a key the last frame stays');
  check(title === (await page.title()) && caption.test(title), `after a key the title stays "${title}"`);
  check(before.length > 0 && before.every((r) => !r) && after.every((r) => r),
        `wake lock held while running (${before}), released at the end (${after})`);

  // A bad parameter: the one line, the usage, no animation.
  for (const [query, line] of [['?scale=9', 'quenlixor-julia: --scale 9 is out of range (1-8)'],
                               ['?speed=3', 'quenlixor-julia: unknown option --speed']]) {
    await open(query, 1);
    await page.waitForFunction(() => document.getElementById('status').textContent !== '');
    const usage = await text(page, 'usage');
    const shown = await text(page, 'status');
    const c = await readCanvas(page);
    check(shown === line && usage.startsWith('usage: quenlixor-julia') && c.hidden &&
          !caption.test(await page.title()),
          `${query}: "${shown}", usage shown, canvas hidden, title "${await page.title()}"`);
  }

  // ?help: the usage and the page's note, no animation.
  await open('?help', 1);
  await page.waitForFunction(() => document.getElementById('usage').textContent !== '');
  const usage = await text(page, 'usage');
  check(usage.startsWith('usage: quenlixor-julia') && usage.includes('URL parameters') &&
        (await readCanvas(page)).hidden && !caption.test(await page.title()),
        `?help: usage shown (${usage.split('\n').length} lines), canvas hidden`);
} finally {
  await browser.close();
}
console.log(failures === 0 ? 'all checks passed' : `${failures} checks failed`);
process.exit(failures === 0 ? 0 : 1);
