// Figures of the page in headless Chromium: the caption at fps=30 and at
// fps=max, the time from opening to the first frame, what putImageData
// (presenting) costs, the time between presents at fps=max, and what the
// Asyncify yield costs: from the MessageChannel post in the display's yield
// until the program's stack has unwound back to the browser (a microtask
// queued at the post runs then). Chromium rounds performance.now() to 0.1 ms
// here, so that one is a mean over every frame.
//   node page_measure.mjs PAGE.html
import puppeteer from 'puppeteer-core';

const pagePath = process.argv[2];
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
const median = (v) => { const s = [...v].sort((a, b) => a - b); return s[s.length >> 1]; };
try {
  for (const query of ['?fps=30', '?fps=max', '', '?fps=max&simd=none']) {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(() => {
      window.unwinds = [];
      const post = MessagePort.prototype.postMessage;
      MessagePort.prototype.postMessage = function (...args) {
        const start = performance.now();
        post.apply(this, args);
        queueMicrotask(() => window.unwinds.push(performance.now() - start));
      };
      window.presents = [];
      const put = CanvasRenderingContext2D.prototype.putImageData;
      CanvasRenderingContext2D.prototype.putImageData = function (...args) {
        const start = performance.now();
        put.apply(this, args);
        window.presents.push([start, performance.now() - start]);
      };
    });
    await page.goto('file://' + pagePath + query);
    await new Promise((r) => setTimeout(r, 3500));
    const figures = await page.evaluate(() => {
      const p = window.presents;
      const gaps = [];
      for (let i = Math.floor(p.length / 2); i + 1 < p.length; ++i) {
        gaps.push(p[i + 1][0] - p[i][0] - p[i][1]);
      }
      return {title: document.title, first: p[0][0], count: p.length,
              present: p.slice(1).map((x) => x[1]), gaps,
              unwind: window.unwinds.reduce((a, x) => a + x, 0) / Math.max(1, window.unwinds.length)};
    });
    console.log(`${query || '(default)'}: "${figures.title}", first frame at ${figures.first.toFixed(1)} ms, ` +
      `${figures.count} frames, present median ${median(figures.present).toFixed(3)} ms, ` +
      `between presents median ${median(figures.gaps).toFixed(3)} ms` +
      (query.includes('max') ? `, yield unwind mean ${(figures.unwind * 1000).toFixed(1)} us` : ''));
    await page.close();
  }
} finally {
  await browser.close();
}
