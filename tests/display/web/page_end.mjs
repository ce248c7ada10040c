// The end in the browser: the wake lock is held while the page runs and released
// after a key; two screenshots a second apart are identical and the title stays.
//   node page_end.mjs PAGE.html
import puppeteer from 'puppeteer-core';
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox']});
const page = await browser.newPage();
await page.evaluateOnNewDocument(() => {
  window.locks = [];
  if (navigator.wakeLock) { const r = navigator.wakeLock.request.bind(navigator.wakeLock);
    navigator.wakeLock.request = (t) => r(t).then((l) => { window.locks.push(l); return l; }, (e) => { window.lockError = String(e); throw e; }); }
});
await page.goto('file://' + process.argv[2]);
await new Promise((r) => setTimeout(r, 1500));
console.log(await page.evaluate(() => JSON.stringify({n: window.locks.length, released: window.locks.map(l => l.released), err: window.lockError || null, has: !!navigator.wakeLock})));
const t1 = await page.title();
await page.keyboard.press('x');
await new Promise((r) => setTimeout(r, 1200));
const s1 = await page.screenshot(); await new Promise((r) => setTimeout(r, 1000)); const s2 = await page.screenshot();
console.log(await page.evaluate(() => JSON.stringify({released: window.locks.map(l => l.released)})), 'screens identical:', Buffer.compare(s1, s2) === 0, 'title', t1, '->', await page.title());
await browser.close();
