// scripts/run --web: opens the page in headless Chromium and reads how the
// program on it fares from the page's root element (data-state and
// data-exit-status, see display/web/page.js).
//   node page_shot.mjs URL SECONDS OUT.png   lets it run SECONDS seconds, saves
//                                            a screenshot, prints the caption
//                                            and the page's status line
//   node page_shot.mjs --check URL           only waits until it runs
// When the program does not run (a bad parameter, ?help, ?version, a
// browser that cannot), what it said goes to stdout or stderr as from the
// program itself, and this ends with the program's exit status (1 when it
// has none), without a screenshot.
import puppeteer from 'puppeteer-core';

const args = process.argv.slice(2);
const check = args[0] === '--check';
const [url, seconds, out] = check ? args.slice(1) : args;

// The program's first moments: compiling and instantiating its module.
const startLimitMs = 60000;

const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
let exitStatus = 0;
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1024, height: 768});
  await page.goto(url);
  const state = () => page.evaluate(() => {
    const root = document.documentElement;
    const text = (id) => {
      const node = document.getElementById(id);
      return node ? node.innerText.trim() : '';
    };
    return {name: root.getAttribute('data-state') || 'starting',
            status: root.getAttribute('data-exit-status'),
            status_line: text('status'), printed: text('usage')};
  });
  const left = (name) => `document.documentElement.getAttribute('data-state') !== '${name}'`;
  await page.waitForFunction(`(${left('starting')}) && document.documentElement.hasAttribute('data-state')`,
                             {timeout: startLimitMs, polling: 50});
  // "waiting": the system asks for reduced motion, and the first frame
  // stays until the page's start control is used; shown as it is.
  const shown = (name) => name === 'running' || name === 'waiting';
  let now = await state();
  if (shown(now.name) && !check) {
    await page.waitForFunction(left(now.name), {timeout: Number(seconds) * 1000, polling: 100})
        .catch(() => {});
    now = await state();
    if (shown(now.name)) {
      await page.screenshot({path: out});
      console.log(`caption: ${await page.title()}`);
      if (now.status_line) console.log(now.status_line);
    }
  }
  if (!shown(now.name)) {
    if (now.name === 'printed') {
      if (now.printed) console.log(now.printed);
    } else if (now.status_line) {
      console.error(now.status_line);
    }
    exitStatus = now.status === null ? (now.name === 'ended' ? 0 : 1) : Number(now.status);
  }
} catch (error) {
  console.error(`scripts/run: the page did not start: ${error.message}`);
  exitStatus = 1;
} finally {
  await browser.close();
}
process.exit(exitStatus);
