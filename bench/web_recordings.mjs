// SPDX-License-Identifier: MIT
// What a hostile recording given to the page costs, in Chromium and Firefox, for each build
// given: a 1 GiB and a 2 GiB file that start as a recording does (sparse: they take no room
// on the disk), and deflate bombs, small files whose stream unpacks far past what they
// declare. For each: what the page says, how long it took, the resident memory of the
// browser's page processes before and at its peak, and the longest the page's main thread
// went without running a 10 ms timer meanwhile.
//   node web_recordings.mjs LABEL=SITE...
import { mkdtempSync, rmSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { deflateSync } from 'node:zlib';
import { launch, waitFor } from '../tests/web/brin.mjs';
import { peakDuring } from './proc.mjs';

const sites = process.argv.slice(2).map((g) => ({ label: g.slice(0, g.indexOf('=')), path: g.slice(g.indexOf('=') + 1) }));
const kMiB = 1 << 20;

// A recording's prefix: the magic, format 2, the unpacked length it declares.
function prefix(declared) {
  const p = Buffer.alloc(14);
  p.write('BRINREC\x1a', 0, 'latin1');
  p.writeUInt16LE(2, 8);
  p.writeUInt32LE(declared, 10);
  return p;
}

function files(dir) {
  const made = {};
  for (const [name, gib] of [['1gib.brinrec', 1], ['2gib.brinrec', 2]]) {
    made[name] = join(dir, name);
    writeFileSync(made[name], prefix(128 * kMiB));
    truncateSync(made[name], gib * 2 ** 30);
  }
  // Zeros unpack to nothing a recording holds: the game refuses what the page hands it.
  const bomb = deflateSync(Buffer.alloc(128 * kMiB), { level: 9 });
  for (const [name, declared] of [['bomb128.brinrec', 128 * kMiB], ['bomb16.brinrec', 16 * kMiB]]) {
    made[name] = join(dir, name);
    writeFileSync(made[name], Buffer.concat([prefix(declared), bomb]));
  }
  return made;
}

const kPages = /--type=renderer|-contentproc/;  // the browsers' page processes

async function measure(site, which, path) {
  const browser = await launch(site.path, { which, autoplay: false, speed: 1 });
  try {
    const page = await browser.page();
    await page.goto(browser.url);
    await page.startChoice;  // the start screen waits for the player: no game runs
    await page.evaluate(() => {
      window.__longest = 0;
      let last = performance.now();
      setInterval(() => {
        const now = performance.now();
        window.__longest = Math.max(window.__longest, now - last);
        last = now;
      }, 10);
    });
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const { result: said, ms, before, peak } = await peakDuring(browser.pid, kPages, async () => {
      await (await page.$('#recording-file')).uploadFile(path);
      return waitFor(
        () => page.$eval('#replay-news', (e) => (!e.hidden && !e.textContent.endsWith('…') ? e.textContent : '')),
        'what the page says',
        300000,
      );
    });
    const longest = await page.evaluate(() => window.__longest);
    return `${ms.toFixed(0)} ms, ${before.toFixed(0)} -> ${peak.toFixed(0)} MB (+${(peak - before).toFixed(0)}), ` +
           `main thread held ${longest.toFixed(0)} ms at most: "${said.slice(0, 90)}"`;
  } catch (e) {
    return `failed: ${e.message}`;
  } finally {
    await browser.close();
  }
}

const dir = mkdtempSync(join(tmpdir(), 'brin-hostile-'));
try {
  const made = files(dir);
  for (const which of ['chromium', 'firefox'])
    for (const [name, path] of Object.entries(made))
      for (const site of sites) console.log(`${which} ${name.padEnd(16)} ${site.label.padEnd(4)} ${await measure(site, which, path)}`);
} finally {
  rmSync(dir, { recursive: true, force: true });
}
