// SPDX-License-Identifier: MIT
// A browser game recorded in Chromium at its own pace: Right pressed every 2 s from the first
// frame for MINUTES minutes, then Escape until the end screen. The recording that "save this
// game" offers is written to OUT and its size a minute printed; brin-sim --replay OUT checks it.
//   node web_game_recording.mjs SITE MINUTES OUT
import { writeFileSync } from 'node:fs';
import { launch, waitFor } from '../tests/web/brin.mjs';

const [, , site, minutes, out] = process.argv;
const browser = await launch(site, { speed: 1 });
try {
  const page = await browser.page();
  await page.goto(browser.url);
  await waitFor(() => page.evaluate(() => window.__frames.length > 0), 'the first frame');
  for (const end = Date.now() + Number(minutes) * 60000; Date.now() < end;) {
    await page.keyboard.press('ArrowRight');
    await new Promise((resolve) => setTimeout(resolve, 2000));
  }
  // Escape ends the program in a level; outside one the game takes no key.
  await waitFor(async () => {
    await page.keyboard.press('Escape');
    return page.$eval('#end', (e) => !e.hidden);
  }, 'the end screen', 180000);
  await waitFor(() => page.$eval('#save-game', (e) => !e.hidden && e.href), '"save this game"');
  const bytes = await page.evaluate(async () => {
    const file = await (await fetch(document.getElementById('save-game').href)).arrayBuffer();
    return Array.from(new Uint8Array(file));
  });
  writeFileSync(out, Buffer.from(bytes));
  console.log(`${site}: ${bytes.length} bytes, ${(bytes.length / 1024 / Number(minutes)).toFixed(1)} KB a minute`);
} finally {
  await browser.close();
}
