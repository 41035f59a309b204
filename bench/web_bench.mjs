// SPDX-License-Identifier: MIT
// The browser edition's figures, for each build given and a floor page beside them, in one
// run: sizes, the largest functions, the first frame after navigation (a first visit in a
// fresh browser, then repeat visits in one browser, taken in turn), the CPU of all Chromium's
// processes while a level waits for the player against a page that draws the countdown's
// rows once a second, each countdown step's time from its second to the canvas, and a key's
// from its keydown event to the next frame, all on the page's own clock. Every round takes
// each build in turn, so that the machine's load falls on all alike.
//   node web_bench.mjs BRIN_SIM DATA SECONDS ROUNDS LABEL=SITE...
// SIZES_ONLY=1 in the environment stops after the sizes and functions.
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { launch, simScreens, speed, startLevel, waitFor } from '../tests/web/brin.mjs';
import { serve } from '../tests/web/serve.mjs';
import { processTree } from './proc.mjs';

const [, , sim, data, seconds, rounds, ...given] = process.argv;
const sites = given.map((g) => ({ label: g.slice(0, g.indexOf('=')), path: g.slice(g.indexOf('=') + 1) }));
const kTicks = 100;  // clock ticks a second in /proc
const kSettleMs = 5000;  // a page's start, before its CPU is measured
const kRepeatVisits = 9;
const kKeyPresses = 20;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const kb = (bytes) => `${(bytes / 1024).toFixed(1)} KB`;
const median = (all) => [...all].sort((a, b) => a - b)[all.length >> 1];
const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
const gz = (bytes) => gzipSync(bytes, { level: 9 }).length;

// A table: a row a figure, a column a build.
function table(title, rows) {
  console.log(title);
  const width = Math.max(...rows.map(([what]) => what.length));
  for (const [what, ...cells] of rows) console.log(`  ${what.padEnd(width)}  ${cells.map((c) => String(c).padStart(24)).join('')}`);
}

// ---- sizes and functions ----

// The bodies of the functions a wasm module defines, in order: their sizes, and the number
// of functions it imports (which come first in the index space).
function functionSizes(wasm) {
  let at = 8;
  const leb = () => {
    let value = 0, shift = 0, byte;
    do {
      byte = wasm[at++];
      value += (byte & 0x7f) * 2 ** shift;
      shift += 7;
    } while (byte & 0x80);
    return value;
  };
  const skip = () => {
    const length = leb();
    at += length;
  };
  let imported = 0;
  const sizes = [];
  while (at < wasm.length) {
    const id = wasm[at++], size = leb(), end = at + size;
    if (id === 2) {  // imports: a module name, a field name, a kind and its description
      for (let n = leb(); n > 0; --n) {
        skip();
        skip();
        const kind = wasm[at++];
        if (kind === 0) {
          ++imported;
          leb();
        } else if (kind === 1) {
          at++;
          const flags = leb();
          leb();
          if (flags & 1) leb();
        } else if (kind === 2) {
          const flags = leb();
          leb();
          if (flags & 1) leb();
        } else {
          at += 2;
        }
      }
    } else if (id === 10) {
      for (let n = leb(); n > 0; --n) {
        const body = leb();
        sizes.push(body);
        at += body;  // after leb() has moved on
      }
    }
    at = end;
  }
  return { sizes, imported };
}

// Where a function's code comes from, by its name.
function roomOf(name) {
  const rooms = [
    [/^(main|brin::)/, 'the game'],
    [/^vora256::/, 'the library'],
    [/^platform::recording::|^offer_recording|^replay_exit|^remove_replay_folder/, 'recordings'],
    [/^platform::/, 'the machine and pacing'],
    [/^(web::|page_)/, 'the browser back-end'],
    [/^(std::|__cxx|operator new|operator delete)/, 'C++ library'],
  ];
  return (rooms.find(([pattern]) => pattern.test(name)) || [, 'C library and runtime'])[1];
}

// By name, the size of each function of the site's brin.wasm, where its symbol map is beside it.
function functions(site) {
  const map = join(site, 'brin.js.symbols');
  if (!existsSync(map)) return null;
  const names = new Map(readFileSync(map, 'utf8').split('\n').filter(Boolean).map((l) => [Number(l.slice(0, l.indexOf(':'))), l.slice(l.indexOf(':') + 1)]));
  const { sizes, imported } = functionSizes(readFileSync(join(site, 'brin.wasm')));
  const readable = (name) => name.replace(/\\([0-9a-f]{2})/g, (_, h) => String.fromCharCode(parseInt(h, 16)));
  return sizes.map((size, i) => ({ size, name: readable(names.get(imported + i) || `function ${imported + i}`) }));
}

function sizes() {
  const scripts = ['brin.js', 'page.js', 'pictures.js', 'recordings.js', 'crc32.js', 'sw.js'];  // what a build's page runs
  const read = (site, f) => (existsSync(join(site.path, f)) ? readFileSync(join(site.path, f)) : null);
  const both = (site, f) => {
    const b = read(site, f);
    return b ? `${kb(b.length)} / ${kb(gz(b))}` : '-';
  };
  const code = (site) => {
    const all = functions(site.path);
    return all ? kb(all.reduce((sum, f) => sum + f.size, 0)) : '?';
  };
  const gameGz = (site) => kb(['brin.wasm', ...scripts].map((f) => read(site, f)).filter(Boolean).reduce((sum, b) => sum + gz(b), 0));
  table('sizes, raw / gzipped -9:', [
    ['', ...sites.map((s) => s.label)],
    ['brin.wasm', ...sites.map((s) => both(s, 'brin.wasm'))],
    ["  its functions' code, raw", ...sites.map(code)],
    ...scripts.map((f) => [f, ...sites.map((s) => both(s, f))]),
    ["the game's wasm + scripts, gzipped", ...sites.map(gameGz)],
    ['brin.data', ...sites.map((s) => both(s, 'brin.data'))],
    ['the pictures fetched later', ...sites.map((s) => kb(['1.pcx', '2.pcx', '3.pcx', '4.pcx'].map((f) => read(s, f)?.length || 0).reduce((a, b) => a + b)))],
    ['photo.wasm + photo.js (when used)', ...sites.map((s) => kb(['photo.wasm', 'photo.js'].map((f) => read(s, f)).filter(Boolean).reduce((sum, b) => sum + gz(b), 0)) + ' gz')],
  ]);
  for (const site of sites) {
    const all = functions(site.path);
    if (!all) {
      console.log(`${site.label}: no brin.js.symbols beside its brin.wasm, so no list of functions`);
      continue;
    }
    const byRoom = new Map();
    for (const f of all) byRoom.set(roomOf(f.name), (byRoom.get(roomOf(f.name)) || 0) + f.size);
    console.log(`${site.label}: code by where it comes from: ${[...byRoom].sort((a, b) => b[1] - a[1]).map(([r, s]) => `${r} ${kb(s)}`).join(', ')}`);
    console.log(`${site.label}: the largest of its ${all.length} functions:`);
    for (const f of [...all].sort((a, b) => b.size - a.size).slice(0, 12)) console.log(`  ${String(f.size).padStart(7)}  ${f.name.slice(0, 110)}`);
  }
}

// ---- first frames ----

// What a first frame costs any page here: one that draws its canvas from an inline script.
const kFloorFirstFrame = `<!doctype html><meta charset="utf-8"><body style="background: #000">
<canvas width="640" height="480"></canvas><script>
const context = document.querySelector('canvas').getContext('2d'), image = context.createImageData(640, 480);
image.data.fill(255);
context.putImageData(image, 0, 0);
performance.mark('brin-first-frame');
</script>`;

// Where a page's first frame came, and when before it the page had its files (the last
// response of its scripts, code and data), its code compiled (the compiled module
// instantiated) and the game started (the start screen hidden).
async function firstFrame(browser, url) {
  const page = await browser.page();
  await page.evaluateOnNewDocument(() => {
    window.__hashFrames = false;  // the tests' work, not the page's
    window.__marks = {};
    const mark = (what) => (window.__marks[what] ??= performance.now());
    const instantiate = WebAssembly.instantiate;
    WebAssembly.instantiate = function (...args) {
      mark('compiled');
      return instantiate.apply(this, args);
    };
    document.addEventListener('DOMContentLoaded', () => {
      const start = document.getElementById('start');
      if (start) new MutationObserver(() => start.hidden && mark('started')).observe(start, { attributes: true });
    });
  });
  await page.goto(url);
  const frame = await waitFor(() => page.evaluate(() => performance.getEntriesByName('brin-first-frame')[0]?.startTime), 'a frame');
  const times = await page.evaluate(() => ({
    ...window.__marks,
    files: Math.max(0, ...performance.getEntriesByType('resource').filter((e) => /\.(js|wasm|data)$/.test(e.name)).map((e) => e.responseEnd)),
  }));
  await page.close();
  return { frame, ...times };
}

// Each site, and the floor page, visited first in a browser of its own, then again and again
// in one browser, in turn.
async function firstFrames(floorSite) {
  const all = [...sites, { label: 'floor: a page drawing at once', path: floorSite }];
  const first = [];
  for (const site of all) {
    const browser = await launch(site.path, { speed: 1 });
    try {
      first.push(await firstFrame(browser, browser.url));
    } finally {
      await browser.close();
    }
  }
  const browsers = [];
  for (const site of all) browsers.push(await launch(site.path, { speed: 1 }));
  const repeat = all.map(() => []);
  try {
    for (const b of browsers) await firstFrame(b, b.url);  // each has its worker
    for (let r = 0; r < kRepeatVisits; ++r)
      for (const [i, b] of browsers.entries()) repeat[i].push(await firstFrame(b, b.url));
  } finally {
    for (const b of browsers) await b.close();
  }
  console.log('first frame after navigation, ms:');
  const stage = (visits, what) => {
    const had = visits.filter((v) => v[what] !== undefined).map((v) => v[what]);
    return had.length ? median(had).toFixed(0) : '-';
  };
  for (const [i, site] of all.entries()) {
    console.log(`  ${site.label.padEnd(32)} first visit ${first[i].frame.toFixed(0).padStart(5)}; repeat visits median ` +
                `${stage(repeat[i], 'frame').padStart(4)} (${repeat[i].map((v) => v.frame.toFixed(0)).join(' ')})`);
    console.log(`  ${''.padEnd(32)} repeat visits' medians: files in ${stage(repeat[i], 'files')}, code compiled ` +
                `${stage(repeat[i], 'compiled')}, game started ${stage(repeat[i], 'started')}`);
  }
}

// ---- CPU idle in a level ----

// CPU time so far of a process and all its descendants, in clock ticks, by process id.
function cpuTicks(root) {
  return new Map([...processTree(root)].map(([pid, { fields, cmd }]) => {
    const kind = (cmd.match(/--type=([a-z-]+)/) || [, 'browser'])[1];
    return [pid, { ticks: Number(fields[11]) + Number(fields[12]), type: kind + (cmd.includes('--utility-sub-type=audio') ? ' (audio)' : '') }];
  }));
}

// The share of a core all Chromium's processes used over the next `seconds`: those that ended
// meanwhile are not counted, those that began are counted whole.
async function cpuOver(pid) {
  const before = cpuTicks(pid);
  const t0 = performance.now();
  await sleep(Number(seconds) * 1000);
  const after = cpuTicks(pid);
  const elapsed = (performance.now() - t0) / 1000;
  const share = (t) => (100 * t) / kTicks / elapsed;
  const byType = {};
  let total = 0;
  for (const [p, { ticks, type }] of after) {
    const used = ticks - (before.get(p)?.ticks || 0);
    total += used;
    byType[type] = (byType[type] || 0) + used;
  }
  const parts = Object.entries(byType).filter(([, t]) => t > 0).map(([type, t]) => `${type} ${share(t).toFixed(2)}`);
  return { percent: share(total), parts: parts.join(', ') };
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

async function idlePage(browser, setUp) {
  const page = await browser.page();
  await page.goto('about:blank');
  if (setUp) await page.evaluate(setUp);
  await sleep(kSettleMs);
  const cpu = await cpuOver(browser.pid);
  await page.close();
  return cpu;
}

// Each countdown step lies off the second of the game's clock (the page's, offset once to
// the time of day) by its distance from the nearest one: the two clocks' readings may
// differ by a hair either way.
async function countdownSteps(page, from) {
  const { times, offset } = await page.evaluate(() => ({ times: window.__frameTimes, offset: window.__dateOffset }));
  return times.filter((t) => t >= from).map((t) => {
    const past = (((offset + t) % 1000) + 1000) % 1000;
    return Math.min(past, 1000 - past);
  });
}

// Arrow keys, each after a quiet spell, from the keydown event to the next frame drawn.
async function keysToCanvas(page) {
  await page.evaluate(() => {
    window.__keyTimes = [];
    // On the page's clock, as the frames' times are (an event's timeStamp is on the real one).
    window.addEventListener('keydown', () => window.__keyTimes.push(performance.now()), true);
  });
  for (let i = 0; i < kKeyPresses; ++i) {
    await page.keyboard.press(i % 2 ? 'ArrowLeft' : 'ArrowRight');
    await sleep(300);
  }
  return page.evaluate(() =>
    window.__keyTimes.map((k) => window.__frameTimes.find((t) => t > k) - k).filter((d) => d >= 0),
  );
}

// A level under way with nothing pressed: its CPU, then its countdown and keys.
async function idleLevel(browser, grid) {
  const page = await browser.page();
  await page.goto(browser.url);
  await speed(page, 10);
  await startLevel(page, grid);
  await speed(page, 1);
  await sleep(kSettleMs);  // the engine's second compile of the game's hot code
  // The tests' hash of each frame costs the page more than the game's own code does.
  const from = await page.evaluate(() => {
    window.__hashFrames = false;
    return performance.now();
  });
  const cpu = await cpuOver(browser.pid);
  const steps = await countdownSteps(page, from);
  const keys = await keysToCanvas(page);
  await page.close();
  return { cpu, steps, keys };
}

function spread(ms) {
  const sorted = [...ms].sort((a, b) => a - b);
  return sorted.length ? `${percentile(sorted, 50).toFixed(1)} / ${percentile(sorted, 95).toFixed(1)} ms (${sorted.length})` : '-';
}

async function idle(grid) {
  const browsers = [];
  for (const site of sites) browsers.push(await launch(site.path, { speed: 1 }));
  const steps = sites.map(() => []), keys = sites.map(() => []);
  try {
    // The browser's own chores after its start (its databases, its lists) fall in the first
    // minute: a blank page measured first and last shows what is left of them.
    const blank = await idlePage(browsers[0]);
    console.log(`CPU over ${seconds} s, all Chromium processes, % of a core (the game's page is in a level):`);
    console.log(`  blank page, first: ${blank.percent.toFixed(2)} (${blank.parts})`);
    for (let r = 1; r <= Number(rounds); ++r) {
      const row = [];
      for (const [i, site] of sites.entries()) {
        const level = await idleLevel(browsers[i], grid);
        steps[i].push(...level.steps);
        keys[i].push(...level.keys);
        row.push(`${site.label} ${level.cpu.percent.toFixed(2)} (${level.cpu.parts})`);
      }
      const floor = await idlePage(browsers[browsers.length - 1], drawEachSecond);
      row.push(`floor ${floor.percent.toFixed(2)} (${floor.parts})`);
      console.log(`  round ${r}: ${row.join('; ')}`);
    }
    const blankAfter = await idlePage(browsers[0]);
    console.log(`  blank page, last: ${blankAfter.percent.toFixed(2)} (${blankAfter.parts})`);
  } finally {
    for (const b of browsers) await b.close();
  }
  table('on the page\'s clock, median / 95th percentile (count):', [
    ['', ...sites.map((s) => s.label)],
    ['countdown step to canvas', ...steps.map(spread)],
    ['key to canvas', ...keys.map(spread)],
  ]);
}

sizes();
if (process.env.SIZES_ONLY) process.exit(0);
const folder = mkdtempSync(join(tmpdir(), 'brin-floor-'));
writeFileSync(join(folder, 'index.html'), kFloorFirstFrame);
try {
  await firstFrames(folder);
} finally {
  rmSync(folder, { recursive: true });
}
await idle(simScreens(sim, data, [['16.2', 'shot', 'grid'], ['17', 'end']]).grid);
