// scripts/run --web without a desktop: opens the page in headless Chromium,
// lets it run SECONDS seconds, saves a screenshot and prints the caption and
// the page's status line.
//   node page_shot.mjs URL SECONDS OUT.png
import puppeteer from 'puppeteer-core';

const [url, seconds, out] = process.argv.slice(2);
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--force-color-profile=srgb']});
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1024, height: 768});
  await page.goto(url);
  await new Promise((resolve) => setTimeout(resolve, Number(seconds) * 1000));
  await page.screenshot({path: out});
  const status = await page.$eval('#status', (e) => e.textContent);
  const usage = await page.$eval('#usage', (e) => e.innerText);
  console.log(`caption: ${await page.title()}`);
  if (status) console.log(status);
  if (usage) console.log(usage);
} finally {
  await browser.close();
}
