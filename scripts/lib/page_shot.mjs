// scripts/run --web: opens the page in headless Chromium and reads how the
// program on it fares (the page's quenlixorPage.state()).
//   node page_shot.mjs URL SECONDS OUT.png   lets it run SECONDS seconds, saves
//                                            a screenshot, prints the caption
//                                            and the page's status line
//   node page_shot.mjs --check URL           only waits until it runs
// When the program ends instead of running (a bad parameter, ?help,
// ?version), what it printed goes to stdout and stderr as from the program
// itself, and this ends with the program's exit status, with no screenshot.
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
  const phase = () => page.evaluate(() => quenlixorPage.state());
  await page.waitForFunction(() => quenlixorPage.state().phase !== 'starting',
                             {timeout: startLimitMs, polling: 50});
  let state = await phase();
  if (state.phase === 'running' && !check) {
    await page.waitForFunction(() => quenlixorPage.state().phase === 'ended',
                               {timeout: Number(seconds) * 1000, polling: 100})
        .catch(() => {});
    state = await phase();
    if (state.phase === 'running') {
      await page.screenshot({path: out});
      const status = await page.$eval('#status', (e) => e.textContent);
      console.log(`caption: ${await page.title()}`);
      if (status) console.log(status);
    }
  }
  if (state.phase === 'ended') {
    for (const line of state.output) console.log(line);
    for (const line of state.errors) console.error(line);
    exitStatus = state.status;
  }
} catch (error) {
  console.error(`scripts/run: the page did not start: ${error.message}`);
  exitStatus = 1;
} finally {
  await browser.close();
}
process.exit(exitStatus);
