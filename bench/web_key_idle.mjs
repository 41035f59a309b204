// SPDX-License-Identifier: MIT
// The page's main thread on the title, which reads no keys: busy seconds per second over 8 s,
// without a key and with one pressed 0.3 s after the first frame, in Chromium, each site in
// turn, round after round.
//   node web_key_idle.mjs ROUNDS SITE...
import { launch, waitFor } from '../tests/web/brin.mjs';

const [, , rounds, ...sites] = process.argv;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Main-thread task time (CDP's TaskDuration) per second, 0.5 to 8.5 s after the first frame.
async function titleBusy(browser, key) {
  const page = await browser.page();
  await page.evaluateOnNewDocument(() => { window.__hashFrames = false; });  // the tests' work, not the page's
  await page.goto(browser.url);
  await waitFor(() => page.evaluate(() => window.__frames.length > 0), 'the first frame');
  const first = Date.now();
  await sleep(300);
  if (key) await page.keyboard.press('KeyA');
  await sleep(first + 500 - Date.now());
  const before = await page.metrics();
  await sleep(8000);
  const after = await page.metrics();
  await page.close();
  return (after.TaskDuration - before.TaskDuration) / (after.Timestamp - before.Timestamp);
}

const browsers = [];
try {
  for (const site of sites) browsers.push(await launch(site, { speed: 1 }));
  const figures = sites.map(() => ({ quiet: [], key: [] }));
  for (let round = 1; round <= Number(rounds); ++round) {
    for (const [i, browser] of browsers.entries()) {
      figures[i].quiet.push(await titleBusy(browser, false));
      figures[i].key.push(await titleBusy(browser, true));
    }
  }
  console.log('the title, main-thread busy s per s (each round):');
  const round3 = (all) => all.map((s) => s.toFixed(3)).join(' ');
  for (const [i, site] of sites.entries())
    console.log(`  ${site}: without a key ${round3(figures[i].quiet)}; a key pressed ${round3(figures[i].key)}`);
} finally {
  for (const browser of browsers) await browser.close();
}
