// The browser tests' Chromium (Debian's, headless) and what drives it and
// reads its screenshots: puppeteer-core and pngjs, from the source tree's
// node_modules (npm ci). A test without them is skipped: it says which is
// missing and exits 77.
import { existsSync } from 'node:fs';

export const chromium = '/usr/bin/chromium';

export async function browserToolsOrSkip() {
  if (!existsSync(chromium)) {
    console.log(`SKIP: ${chromium} is missing (Debian: apt-get install chromium)`);
    process.exit(77);
  }
  try {
    const puppeteer = (await import('puppeteer-core')).default;
    const {PNG} = await import('pngjs');
    return {puppeteer, PNG};
  } catch {
    console.log('SKIP: puppeteer-core or pngjs is not installed (run npm ci in the source tree)');
    process.exit(77);
  }
}
