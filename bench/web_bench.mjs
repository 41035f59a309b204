// SPDX-License-Identifier: MIT
// The browser edition's figures: its sizes gzipped, the first frame after navigation on
// localhost (on a first visit, then loaded again, beside a page that draws at once), the CPU
// of all Chromium's processes while a level waits for the player against a blank page (with
// a 100 Hz timer, and without) and a bare canvas in the same run, each countdown step's time
// from its second to the canvas, and a key's from its keydown event to the next frame, all
// on the page's own clock.
//   node web_bench.mjs SITE BRIN_SIM DATA [SECONDS]
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launch, simScreens, speed, startLevel, waitFor } from '../tests/web/brin.mjs';
import { serve } from '../tests/web/serve.mjs';
import { processTree } from './proc.mjs';

const [, , site, sim, data, seconds = '20'] = process.argv;
const kTicks = 100;  // clock ticks a second in /proc

const kSettleMs = 5000;  // a page's start, before its CPU is measured
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function kb(bytes) {
  return `${(bytes / 1024).toFixed(1)} KB`;
}

function sizes() {
  const size = (f) => readFileSync(join(site, f)).length;
  const gz = (f) => gzipSync(readFileSync(join(site, f)), { level: 9 }).length;
  const here = (files) => files.filter((f) => existsSync(join(site, f)));
  const game = here(['brin.wasm', 'brin.js', 'page.js', 'pictures.js', 'recordings.js', 'crc32.js', 'sw.js']);
  const photo = here(['photo.wasm', 'photo.js']);  // loaded only by "your pictures"
  console.log('sizes (raw / gzipped -9):');
  for (const f of [...game, 'index.html', 'brin.data', ...photo]) console.log(`  ${f.padEnd(11)} ${kb(size(f)).padStart(9)} / ${kb(gz(f))}`);
  const total = (files) => kb(files.reduce((sum, f) => sum + gz(f), 0));
  console.log(`  the game's wasm + JavaScript gzipped: ${total(game)}`);
  if (photo.length) console.log(`  the photo converter's, loaded when used: ${total(photo)}`);
}

// CPU time so far of a process and all its descendants, in clock ticks, by process id.
function cpuTicks(root) {
  return new Map([...processTree(root)].map(([pid, { fields, cmd }]) => {
    const kind = (cmd.match(/--type=([a-z-]+)/) || [, 'browser'])[1];
    return [pid, { ticks: Number(fields[11]) + Number(fields[12]), type: kind + (cmd.includes('--utility-sub-type=audio') ? ' (audio)' : '') }];
  }));
}

// The share of a core all Chromium's processes used over the next `seconds`: those that ended
// meanwhile are not counted, those that began are counted whole.
function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

function spread(what, ms) {
  ms.sort((a, b) => a - b);
  console.log(`  ${what.padEnd(34)} median ${percentile(ms, 50).toFixed(1)} ms, 95th percentile ` +
              `${percentile(ms, 95).toFixed(1)} ms (${ms.length})`);
}

// The frames drawn since `from` of the page's clock: the countdown's steps, in a level left
// alone. Each is late by its distance past the second of the game's clock (the page's,
// offset once to the time of day).
async function countdownSteps(page, from) {
  const { times, offset } = await page.evaluate(() => ({ times: window.__frameTimes, offset: window.__dateOffset }));
  spread('countdown step to canvas', times.filter((t) => t >= from).map((t) => (((offset + t) % 1000) + 1000) % 1000));
}

// Arrow keys, each after a quiet spell, from the keydown event to the next frame drawn.
async function keysToCanvas(page, presses) {
  await page.evaluate(() => {
    window.__keyTimes = [];
    // On the page's clock, as the frames' times are (an event's timeStamp is on the real one).
    window.addEventListener('keydown', () => window.__keyTimes.push(performance.now()), true);
  });
  for (let i = 0; i < presses; ++i) {
    await page.keyboard.press(i % 2 ? 'ArrowLeft' : 'ArrowRight');
    await sleep(300);
  }
  const ms = await page.evaluate(() =>
    window.__keyTimes.map((k) => window.__frameTimes.find((t) => t > k) - k).filter((d) => d >= 0),
  );
  spread('key to canvas', ms);
}

async function cpuOver(pid, what) {
  const before = cpuTicks(pid);
  const t0 = performance.now();
  await sleep(Number(seconds) * 1000);
  const after = cpuTicks(pid);
  const elapsed = (performance.now() - t0) / 1000;
  const share = (t) => ((100 * t) / kTicks / elapsed).toFixed(2);
  const byType = {};
  let total = 0;
  for (const [p, { ticks, type }] of after) {
    const used = ticks - (before.get(p)?.ticks || 0);
    total += used;
    byType[type] = (byType[type] || 0) + used;
  }
  const parts = Object.entries(byType).filter(([, t]) => t > 0).map(([type, t]) => `${type} ${share(t)}`);
  console.log(`  ${what.padEnd(34)} ${share(total).padStart(6)} % of a core   (${parts.join(', ')})`);
}


// What any page showing a countdown costs the browser at least: a 640x480 canvas, shown
// scaled as the game's is, the 35 rows the countdown changes put on it each second.
function drawEachSecond() {
  const canvas = document.body.appendChild(document.createElement('canvas'));
  canvas.width = 640;
  canvas.height = 480;
  canvas.style.cssText = 'width: 800px; image-rendering: pixelated';
  const context = canvas.getContext('2d');
  const image = context.createImageData(640, 480);
  let n = 0;
  setInterval(() => {
    image.data.fill(++n & 255);
    context.putImageData(image, 0, 0, 0, 404, 640, 35);
  }, 1000);
}

async function blankPage(browser, what, setUp) {
  const page = await browser.page();
  await page.goto('about:blank');
  if (setUp) await page.evaluate(setUp);
  await sleep(kSettleMs);
  await cpuOver(browser.pid, what);
  await page.close();
}

// What a first frame costs any page here: one that draws its canvas from an inline script.
const kFloorPage = `<!doctype html><meta charset="utf-8"><body style="background: #000">
<canvas width="640" height="480"></canvas><script>
const context = document.querySelector('canvas').getContext('2d'), image = context.createImageData(640, 480);
image.data.fill(255);
context.putImageData(image, 0, 0);
performance.mark('brin-first-frame');
</script>`;

async function firstFrame(browser, url) {
  const page = await browser.page();
  await page.evaluateOnNewDocument(() => { window.__hashFrames = false; });  // the tests' work, not the page's
  await page.goto(url);
  const ms = await waitFor(() => page.evaluate(() => performance.getEntriesByName('brin-first-frame')[0]?.startTime), 'a frame');
  await page.close();
  return ms;
}

async function firstFrames(browser, runs) {
  const visit = await firstFrame(browser, browser.url);  // nothing kept yet: no code, no service worker
  const folder = mkdtempSync(join(tmpdir(), 'brin-floor-'));
  writeFileSync(join(folder, 'index.html'), kFloorPage);
  const floor = await serve(folder);
  const times = { brin: [], floor: [] };
  for (let i = 0; i < runs; ++i) {
    times.brin.push(await firstFrame(browser, browser.url));
    times.floor.push(await firstFrame(browser, floor.url));
  }
  await floor.close();
  rmSync(folder, { recursive: true });
  console.log(`first frame after navigation (ms): a first visit ${visit.toFixed(0)}; then ${runs} loads each, in turn:`);
  for (const [what, all] of Object.entries(times)) {
    all.sort((a, b) => a - b);
    console.log(`  ${what === 'brin' ? 'brin' : 'a page drawing its canvas at once'}: median ${all[runs >> 1].toFixed(0)}, ` +
                `all ${all.map((t) => t.toFixed(0)).join(' ')}`);
  }
}

sizes();
const browser = await launch(site, { speed: 1 });
try {
  await firstFrames(browser, 9);

  // The browser's own chores after its start (its databases, its lists) fall in the first
  // minute: a blank page measured before the game and after it shows what is left of them.
  console.log(`CPU over ${seconds} s, all Chromium processes:`);
  await blankPage(browser, 'blank page, before the game');
  const grid = simScreens(sim, data, [['16.2', 'shot', 'grid'], ['17', 'end']]).grid;
  const game = await browser.page();
  await game.goto(browser.url);
  await speed(game, 10);
  await startLevel(game, grid);
  await speed(game, 1);
  await sleep(kSettleMs);  // the engine's second compile of the game's hot code
  // The tests' hash of each frame costs the page more than the game's own code does.
  const idleFrom = await game.evaluate(() => {
    window.__hashFrames = false;
    return performance.now();
  });
  await cpuOver(browser.pid, 'brin idle in a level');
  console.log('on the page\'s clock:');
  await countdownSteps(game, idleFrom);
  await keysToCanvas(game, 30);
  await game.close();
  await blankPage(browser, 'blank page with a 100 Hz timer', () => setInterval(() => {}, 10));
  await blankPage(browser, 'a canvas changing each second', drawEachSecond);
  await blankPage(browser, 'blank page, after the game');
} finally {
  await browser.close();
}
