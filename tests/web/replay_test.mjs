// SPDX-License-Identifier: MIT
// A recording whose polls hardly move the clock, as anyone may send one, replayed in the page:
// the game is behind its recording at every poll, and the page must still answer while it
// plays, and Escape end it within a frame or two.
//   node replay_test.mjs BROWSER SITE
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { deflateSync } from 'node:zlib';
import { check, launch, waitFor } from './brin.mjs';

const [, , browserName, site] = process.argv;
// Runs of polls in which no time passes, each as long as a recording may hold: 2^26 polls,
// half a minute and more of a page that never yields, over before the test if it does.
const kRuns = 64;
const kFrameMs = 1000 / 60;
const kAnswerMs = 5000;  // an evaluate on a page that yields; a frozen one takes half a minute and more

function varint(n) {
  const bytes = [];
  for (; n >= 0x80; n = Math.floor(n / 0x80)) bytes.push((n & 0x7f) | 0x80);
  bytes.push(n);
  return Buffer.from(bytes);
}

function le(n, size) {
  const b = Buffer.alloc(8);
  b.writeBigUInt64LE(BigInt(n));
  return b.subarray(0, size);
}

// Format 2 (docs/recording.md): no data files, no table; the display and the mouse opened,
// then `runs` runs of 2^20 clock readings that all give the same time (the most a recording
// holds), each followed by one a microsecond later, and the end.
function frozenRecording(runs) {
  const run = Buffer.concat([Buffer.from([1, 0, 5]), varint(2 ** 20 - 1), Buffer.from([1, 1])]);
  const contents = Buffer.concat([
    Buffer.from([3]), Buffer.from('1.0'), le(1700000000000000, 8), le(0, 2), Buffer.from([0]), le(0, 2),
    Buffer.from([8, 1, 9, 1]), ...Array(runs).fill(run), Buffer.from([12]),
  ]);
  return Buffer.concat([Buffer.from('BRINREC\x1a', 'latin1'), le(2, 2), le(contents.length, 4), deflateSync(contents)]);
}

// The page's answer to an evaluate, which must come within kAnswerMs.
async function answer(page, probe, what) {
  const none = Symbol('none');
  const value = await Promise.race([page.evaluate(probe), new Promise((resolve) => setTimeout(() => resolve(none), kAnswerMs))]);
  check(value !== none, `the page did not answer within ${kAnswerMs} ms ${what}`);
  return value;
}

const dir = mkdtempSync(join(tmpdir(), 'brin-frozen-'));
const file = join(dir, 'frozen.brinrec');
writeFileSync(file, frozenRecording(kRuns));
// The page's clock is held (brin.mjs): each reading moves it on by a step, so a frame of it is
// so much of the game's work, however busy the machine.
const browser = await launch(site, { which: browserName, autoplay: false });
try {
  const page = await browser.page();
  await page.goto(browser.url);
  const choice = await page.startChoice;
  check(choice === 'click or press a key to play', `the start screen says "${choice}"`);
  await (await page.$('#recording-file')).uploadFile(file);
  await waitFor(async () => (await answer(page, () => window.__frames.length, 'as the replay began')) > 0,
                'the replay\'s first frame');

  // The page's turns while the replay plays, a message posted to itself at each: the longest
  // time between two, on its clock.
  const longest = await answer(page, () => new Promise((resolve) => {
    const channel = new MessageChannel(), gaps = [];
    let last = performance.now();
    channel.port1.onmessage = () => {
      gaps.push(performance.now() - last);
      last = performance.now();
      if (gaps.length < 200) channel.port2.postMessage(0);
      else resolve(Math.max(...gaps));
    };
    channel.port2.postMessage(0);
  }), 'while the replay played');
  check(await answer(page, () => document.getElementById('end').hidden, 'while the replay played'), 'the replay ended by itself');

  // From the page's turn that takes Escape in to the end screen, on its clock.
  await page.evaluate(() => {
    window.addEventListener('keydown', () => { window.__escapeAt = performance.now(); }, true);
    new MutationObserver(() => { window.__endAt = performance.now(); })
      .observe(document.getElementById('end'), { attributes: true });
  });
  await page.keyboard.press('Escape');
  const ms = await waitFor(() => answer(page, () => window.__endAt && window.__endAt - window.__escapeAt, 'after Escape'),
                           'the end screen after Escape');
  console.log(`on the page's clock: turns at most ${longest.toFixed(1)} ms apart, Escape to the end ${ms.toFixed(1)} ms`);
  check(longest <= 2 * kFrameMs, `the page's turns came ${longest.toFixed(1)} ms apart`);
  check(ms <= kFrameMs, `Escape ended the replay after ${ms.toFixed(1)} ms`);
  check(browser.errors.length === 0, `errors in the page: ${browser.errors.join('; ')}`);
  console.log(`a frozen replay in ${browserName}: passed`);
} catch (e) {
  console.error(`a frozen replay in ${browserName}: ${e.message}`);
  process.exitCode = 1;
} finally {
  await browser.close();
  rmSync(dir, { recursive: true, force: true });
}
