// SPDX-License-Identifier: MIT
// What a large photo costs "your pictures" in Chromium, for each site given (an older build's
// static folder, then this one's): the time from picking it to its level kept, and the
// resident memory of all the browser's processes, before and at its peak meanwhile.
//   node web_photo.mjs PHOTO SITE...
import { launch, waitFor } from '../tests/web/brin.mjs';
import { peakDuring } from './proc.mjs';

const [, , photo, ...sites] = process.argv;

for (const site of sites) {
  const browser = await launch(site, { speed: 1 });
  try {
    const page = await browser.page();
    await page.goto(browser.url);
    await page.click('#pictures-button');
    await waitFor(() => page.evaluate(() => typeof createPhotoConverter === 'function'), 'the converter');
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const { result: news, ms, before, peak } = await peakDuring(browser.pid, /./, async () => {
      await (await page.$('#picture-files')).uploadFile(photo);
      return waitFor(
        () => page.$eval('#picture-news', (e) => (e.textContent.includes('next game') ? e.textContent : '')),
        'the level made',
        300000,
      );
    });
    console.log(`==== ${site}`);
    console.log(`  ${news.split('\n')[0]}`);
    console.log(`  picked to kept ${ms.toFixed(0)} ms; the browser's memory ${before.toFixed(0)} MB before, ${peak.toFixed(0)} MB at its peak (+${(peak - before).toFixed(0)} MB)`);
  } finally {
    await browser.close();
  }
}
