// julia-frames' APNG in a real browser: Debian's Chromium (headless, through
// puppeteer-core from the source tree's node_modules) shows it in an <img>,
// animating and looping. Screenshots of the page, one after another, must
// each be exactly one of the frames julia-frames writes as raw frames, and
// they must go through the frames in order, more than once round. (A
// canvas cannot be the witness: drawn into one, an animated image is its
// first frame.)
//
//   node apng_in_chromium.mjs JULIA-FRAMES
// Exits 77 (skipped) when Chromium or puppeteer-core is not installed.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { browserToolsOrSkip, chromium } from '../lib/chromium.mjs';

const [tool] = process.argv.slice(2);
const {puppeteer, PNG} = await browserToolsOrSkip();

// Twelve frames far apart, at 5 frames a second: a loop takes 2.4 s, each
// frame long enough for a screenshot or two.
const count = 12;
const frames = ['--frame', '1', '--count', String(count), '--step', '300', '--quiet'];
const scratch = mkdtempSync(join(tmpdir(), 'quenlixor-apng-'));
const pixels = 320 * 240;
let failures = 0;
const check = (ok, what) => {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) ++failures;
};

// A frame's pixels as a screenshot gives them (RGBA), hashed (FNV-1a).
function hashRgba(rgba) {
  let hash = 0x811c9dc5;
  for (let at = 0; at < rgba.length; ++at) {
    hash = Math.imul(hash ^ rgba[at], 0x01000193) >>> 0;
  }
  return hash;
}

let browser;
try {
  const apng = join(scratch, 'julia.png');
  execFileSync(tool, [...frames, '--fps', '5', '--apng', apng], {stdio: ['ignore', 'ignore', 'inherit']});
  const raw = execFileSync(tool, [...frames, '--raw', '-'], {maxBuffer: count * pixels * 4 + 1});
  const expected = new Map();  // hash -> frame index
  for (let frame = 0; frame < count; ++frame) {
    const rgba = new Uint8Array(pixels * 4);
    for (let pixel = 0; pixel < pixels; ++pixel) {
      const word = raw.readUInt32LE(4 * (frame * pixels + pixel));
      rgba.set([word >> 16 & 255, word >> 8 & 255, word & 255, 255], 4 * pixel);
    }
    expected.set(hashRgba(rgba), frame);
  }
  check(expected.size === count, `the ${count} frames differ from one another`);

  browser = await puppeteer.launch({executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--force-color-profile=srgb']});
  const page = await browser.newPage();
  await page.setContent('<!doctype html><body style="margin: 0"><img id="shown"></body>');
  await page.setViewport({width: 320, height: 240, deviceScaleFactor: 1});
  await page.evaluate((file) => {
    const image = document.getElementById('shown');
    const bytes = Uint8Array.from(atob(file), (c) => c.charCodeAt(0));
    image.src = URL.createObjectURL(new Blob([bytes], {type: 'image/png'}));
    return image.decode();
  }, readFileSync(apng).toString('base64'));
  // Screenshots of what the image shows, until the shown frames have come
  // round three times (or a minute has passed, however slow the machine:
  // then the checks below say what was seen).
  const seen = [];
  const started = Date.now();
  while (seen.length <= 3 * count && Date.now() - started < 60000) {
    const shot = PNG.sync.read(await page.screenshot({clip: {x: 0, y: 0, width: 320, height: 240}}));
    const hash = hashRgba(shot.data);
    if (seen.length === 0 || seen[seen.length - 1] !== hash) seen.push(hash);
  }
  const shown = seen.map((hash) => expected.get(hash));
  check(shown.every((frame) => frame !== undefined),
    `every picture shown is one of the frames, exactly (${shown.filter((f) => f === undefined).length} of ${shown.length} are not)`);
  const known = shown.filter((frame) => frame !== undefined);
  // In order: each picture the one after the last or later (a screenshot
  // may miss some), and back to the start after the last: a loop.
  let loops = 0;
  let inOrder = true;
  for (let at = 1; at < known.length; ++at) {
    if (known[at] < known[at - 1]) ++loops;
    const ahead = (known[at] - known[at - 1] + count) % count;
    inOrder = inOrder && ahead > 0 && ahead < count / 2;
  }
  check(inOrder, `the frames are shown in order (${known.join(' ')})`);
  check(new Set(known).size >= 3, `it animates (${new Set(known).size} of the ${count} frames seen)`);
  check(loops >= 2, `it loops (${loops} times round)`);
} finally {
  if (browser) await browser.close();
  rmSync(scratch, {recursive: true});
}
process.exit(failures === 0 ? 0 : 1);
