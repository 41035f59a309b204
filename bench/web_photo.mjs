// SPDX-License-Identifier: MIT
// What a large photo costs "your pictures" in Chromium, for each site given (an older build's
// static folder, then this one's): the time from picking it to its level kept, and the
// resident memory of all the browser's processes, before and at its peak meanwhile.
//   node web_photo.mjs PHOTO SITE...
import { launch, waitFor } from '../tests/web/brin.mjs';
import { processTree } from './proc.mjs';

const [, , photo, ...sites] = process.argv;

// Resident memory of a process and all its descendants, in MB.
function treeRss(root) {
  let total = 0;
  for (const { fields } of processTree(root).values()) total += (Number(fields[21]) * 4096) / 1e6;
  return total;
}

for (const site of sites) {
  const browser = await launch(site, { speed: 1 });
  try {
    const page = await browser.page();
    await page.goto(browser.url);
    await page.click('#pictures-button');
    await waitFor(() => page.evaluate(() => typeof createPhotoConverter === 'function'), 'the converter');
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const before = treeRss(browser.pid);
    let peak = before;
    const sampler = setInterval(() => (peak = Math.max(peak, treeRss(browser.pid))), 20);
    const t0 = performance.now();
    await (await page.$('#picture-files')).uploadFile(photo);
    const news = await waitFor(
      () => page.$eval('#picture-news', (e) => (e.textContent.includes('next game') ? e.textContent : '')),
      'the level made',
      300000,
    );
    const ms = performance.now() - t0;
    clearInterval(sampler);
    console.log(`==== ${site}`);
    console.log(`  ${news.split('\n')[0]}`);
    console.log(`  picked to kept ${ms.toFixed(0)} ms; the browser's memory ${before.toFixed(0)} MB before, ${peak.toFixed(0)} MB at its peak (+${(peak - before).toFixed(0)} MB)`);
  } finally {
    await browser.close();
  }
}
