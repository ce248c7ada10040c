// Opens the page in headless Chromium at fps=1 from a given frame, reads the
// canvas and tells which of the given raw frames (julia-frames --raw) it
// shows exactly; then presses a key and checks the page has ended.
//   [DEVICE_SCALE=1.5] node page_probe.mjs PAGE.html QUERY FRAME.raw...
// The canvas holds k x k canvas pixels for every picture pixel; each block must
// be the frame's pixel.
import { readFileSync } from 'node:fs';
import puppeteer from 'puppeteer-core';

const [pagePath, query, ...frames] = process.argv.slice(2);
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
let failed = false;
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1200, height: 900,
                          deviceScaleFactor: Number(process.env.DEVICE_SCALE || 1)});
  await page.goto('file://' + pagePath + query);
  await page.waitForFunction(() => document.title.startsWith('Quenlixor Julia Animator FPS:'));
  const [width, cssWidth, data] = await page.evaluate(() => {
    const c = document.getElementById('picture');
    return [c.width, c.getBoundingClientRect().width,
            Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data)];
  });
  const rgba = Buffer.from(data);
  const k = width / 320;
  console.log(`canvas ${width} pixels wide (k = ${k}), laid out ${cssWidth} CSS pixels wide`);
  const matches = frames.filter((path) => {
    const raw = readFileSync(path);
    for (let y = 0; y < 240 * k; ++y) {
      for (let x = 0; x < 320 * k; ++x) {
        const p = raw.readUInt32LE(4 * (Math.floor(y / k) * 320 + Math.floor(x / k)));
        const i = y * 320 * k + x;
        if (rgba[4 * i] !== (p >> 16 & 255) || rgba[4 * i + 1] !== (p >> 8 & 255) ||
            rgba[4 * i + 2] !== (p & 255) || rgba[4 * i + 3] !== 255) return false;
      }
    }
    return true;
  });
  console.log(`title "${await page.title()}", exact frame: ${matches.join(' ') || 'none'}`);
  if (matches.length === 0) failed = true;
  await page.keyboard.press('a');
  await page.waitForFunction(() => document.getElementById('status').textContent.includes('ended'));
  console.log('after a key:', await page.$eval('#status', (e) => e.textContent));
} finally {
  await browser.close();
}
process.exit(failed ? 1 : 0);
