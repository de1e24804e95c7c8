// The demo's picture of the page: opens URL in Debian's chromium, waits until
// the grid has drawn its routes, and writes a PNG.
//   node tests/web/shot.mjs URL OUT.png
import { chromium } from 'playwright-core';

const [url, out] = process.argv.slice(2);
if (!url || !out) {
  console.error('usage: node tests/web/shot.mjs URL OUT.png');
  process.exit(2);
}
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(url);
  // The grid is ready once it knows its channels and has loaded the routes.
  await page.waitForFunction(() => window.velmar && window.velmar.grid.outAxis && window.velmar.grid.names.length > 1,
    null, { timeout: 15000 });
  await page.waitForTimeout(300); // one more frame for the canvas to show what it drew
  await page.screenshot({ path: out });
} finally {
  await browser.close();
}
