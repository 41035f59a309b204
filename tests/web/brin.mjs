// SPDX-License-Identifier: MIT
// What the browser tests share: Debian's Chromium or Firefox ESR driven by puppeteer-core
// (Firefox through WebDriver BiDi), the built page
// served on 127.0.0.1, the frames the page puts on its canvas, and the screens brin-sim
// shows at the same moments of a game.
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import puppeteer from 'puppeteer-core';
import { serve } from './serve.mjs';

export const kWidth = 640;
export const kHeight = 480;
const kCellWidth = 160;
const kCellHeight = 96;

export const kChromiumFlags = [
  '--no-sandbox',  // tests run as root
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
  '--disable-quic',
  '--disable-gpu',
];

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

export function check(condition, what) {
  if (!condition) throw new Error(what);
}

export async function waitFor(probe, what, timeoutMs = 60000) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
    await sleep(100);
  }
}

// The same hash the page takes of every frame it draws (FNV-1a over 32-bit pixels).
export function frameHash(rgba) {
  const px = new Uint32Array(rgba.buffer, rgba.byteOffset, rgba.byteLength / 4);
  let h = 0x811c9dc5;
  for (let i = 0; i < px.length; ++i) h = Math.imul(h ^ px[i], 16777619) >>> 0;
  return h;
}

// Installed in the page ahead of its scripts: the clock the game reads (performance.now, and
// Date.now once to set it to the time of day), a record of every frame drawn, when, and of
// the speaker's sound.
//
// The clock runs at `speed` times real time, or, at speed 0 (held), by brin-sim's rule: every
// reading moves it on by a fixed step, so the game's pace is its own work's. The game's rests
// to the next centisecond or frame (timers of 20 ms or less) then end at once; a longer rest,
// to the next second as in a level, waits in real time for input. A level's countdown stands
// still while the test plays it, however busy the machine is. Held, the clock does not move
// before the first frame: the game starts at `startMs`, however long the page took to load.
function instrument(hashSource, { startMs, speed: startSpeed }) {
  const realNow = performance.now.bind(performance);
  const realSetTimeout = window.setTimeout.bind(window);
  const realClearTimeout = window.clearTimeout.bind(window);
  const kStepMs = 0.1, kShortRestMs = 20;
  let speed = startSpeed, realBase = realNow(), base = realBase;
  let moving = speed > 0;
  const peek = () => (speed > 0 ? base + (realNow() - realBase) * speed : base);
  const read = () => (speed > 0 || !moving ? peek() : (base += kStepMs));
  const dateOffset = (startMs ?? Date.now()) - base;
  performance.now = read;
  Date.now = () => dateOffset + read();
  // A short rest ends at the next turn of the page's event loop: a zero timer would wait 4 ms.
  const soon = new Map();
  let soonId = 0;
  const channel = new MessageChannel();
  channel.port1.onmessage = (e) => {
    const f = soon.get(e.data);
    soon.delete(e.data);
    if (f) f();
  };
  window.setTimeout = (f, ms = 0, ...args) => {
    if (speed > 0 || !moving || ms > kShortRestMs || typeof f !== 'function') return realSetTimeout(f, ms, ...args);
    const id = `soon${++soonId}`;
    soon.set(id, () => f(...args));
    channel.port2.postMessage(id);
    return id;
  };
  window.clearTimeout = (id) => (soon.delete(id) ? undefined : realClearTimeout(id));
  window.__speed = (k) => {
    base = peek();
    realBase = realNow();
    speed = k;
  };
  window.__dateOffset = dateOffset;
  const hash = eval(`(${hashSource})`);
  window.__frames = [];
  window.__frameTimes = [];
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (image, ...rest) {
    window.__frames.push(window.__hashFrames === false ? 0 : hash(image.data));  // a bench may spare it
    window.__frameTimes.push(peek());
    moving = true;
    return put.call(this, image, ...rest);
  };
  // The start screen's choice, to wait for or play, told without the test touching the page.
  document.addEventListener('DOMContentLoaded', () => {
    const start = document.getElementById('start'), text = document.getElementById('start-text');
    if (!start) return;  // a page that is not the game's: the hall's
    const tell = () => {
      const said = start.hidden ? 'playing' : text.textContent;
      if (said !== 'loading…') console.log(`brin-start: ${said}`);
    };
    new MutationObserver(tell).observe(start, { attributes: true, subtree: true, childList: true, characterData: true });
  });
  window.__audio = [];
  for (const method of ['setValueAtTime', 'linearRampToValueAtTime', 'cancelAndHoldAtTime']) {
    const original = AudioParam.prototype[method];
    if (!original) continue;  // Firefox cannot hold a ramp where it is
    AudioParam.prototype[method] = function (...args) {
      window.__audio.push([method, ...args]);
      return original.apply(this, args);
    };
  }
}

// A browser with a fresh profile, and the site served. `which`: chromium or firefox.
// `autoplay`: the page may sound without a gesture, so the game starts without its start
// screen. Each evaluate in Firefox counts as the player's gesture (WebDriver BiDi's
// userActivation), so there the start screen shows only if the page chose before the test
// first looked: see startChoice. `phone`: the pages are a phone's,
// portrait, touch only. `speed`: the pages' clocks start held (0) or running at that pace.
export async function launch(site, { which = 'chromium', autoplay = true, phone = false, speed = 0 } = {}) {
  const server = await serve(site);
  const profile = mkdtempSync(join(tmpdir(), `brin-${which}-`));
  let browser;
  if (which === 'firefox') {
    browser = await puppeteer.launch({
      browser: 'firefox',
      executablePath: '/usr/bin/firefox-esr',
      headless: true,
      userDataDir: profile,
      extraPrefsFirefox: { 'media.autoplay.default': autoplay ? 0 : 1 },
    });
  } else {
    const args = [...kChromiumFlags, `--user-data-dir=${profile}`];
    if (autoplay) args.push('--autoplay-policy=no-user-gesture-required');
    browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true, args });
  }
  const viewport = phone
    ? { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true }
    : { width: 800, height: 640 };
  const errors = [];
  const pages = [];
  return {
    url: server.url,
    server,
    pid: browser.process().pid,
    errors,
    // A page whose clock reads `startMs` (the time of day in ms) when it is created.
    async page({ startMs } = {}) {
      const page = await browser.newPage();
      pages.push(page);
      await page.setViewport(viewport);
      page.on('pageerror', (e) => errors.push(e.message));
      await page.evaluateOnNewDocument(instrument, frameHash.toString(), { startMs, speed });
      page.startChoice = new Promise((resolve) =>
        page.on('console', (m) => m.text().startsWith('brin-start: ') && resolve(m.text().slice(12))),
      );
      return page;
    },
    // What the pages show, to see why a test failed.
    async screenshots(prefix) {
      for (const [i, page] of pages.entries()) await page.screenshot({ path: `${prefix}-${i}.png` }).catch(() => {});
    },
    async close() {
      await browser.close();
      await server.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

export async function frames(page) {
  return page.evaluate(() => window.__frames);
}

export async function waitForFrame(page, hash, what, timeoutMs) {
  await waitFor(async () => (await frames(page)).includes(hash), what, timeoutMs);
}

export async function speed(page, k) {
  await page.evaluate((s) => window.__speed(s), k);
}

// What the canvas shows now, as RGBA bytes.
export async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const data = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return new Uint8Array(Buffer.from(base64, 'base64'));
}

// Screens brin-sim shows playing `script` in a folder with the game's data (and `maxPun`,
// when given, and files by name in `own`, such as a level of the player's), with `args`
// besides, by shot name, as RGBA bytes.
export function simScreens(sim, data, script, maxPun, own = {}, args = []) {
  const dir = mkdtempSync(join(tmpdir(), 'brin-sim-'));
  try {
    for (const f of ['1.pcx', '2.pcx', '3.pcx', '4.pcx', 'brin.pcx', 'topaz.fon']) copyFileSync(join(data, f), join(dir, f));
    if (maxPun) writeFileSync(join(dir, 'max.pun'), maxPun);
    for (const [name, bytes] of Object.entries(own)) writeFileSync(join(dir, name), bytes);
    writeFileSync(join(dir, 'script'), script.map((line) => line.join(' ')).join('\n') + '\n');
    execFileSync(resolve(sim), ['--script', 'script', ...args], { cwd: dir, stdio: 'ignore' });
    const screens = {};
    for (const [, command, name] of script) {
      if (command !== 'shot') continue;
      screens[name] = rgbaOf(readFileSync(join(dir, `${name}.vram`)), readFileSync(join(dir, `${name}.pal`)));
    }
    return screens;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// Screen memory through the palette's 6-bit levels, as the page draws it.
function rgbaOf(vram, pal) {
  const level8 = (v) => (v << 2) | (v >> 4);
  const rgba = new Uint8Array(kWidth * kHeight * 4);
  for (let i = 0; i < kWidth * kHeight; ++i) {
    const c = 3 * vram[i];
    rgba.set([level8(pal[c]), level8(pal[c + 1]), level8(pal[c + 2]), 255], 4 * i);
  }
  return rgba;
}

// Which piece of the whole picture `whole` each cell of `shown` holds, by the share of its
// pixels that are the piece's own (frames, countdown and pointer cover the rest); null while
// a cell matches no piece, as during a fade.
export function board(shown, whole) {
  const a = new Uint32Array(shown.buffer, shown.byteOffset, kWidth * kHeight);
  const b = new Uint32Array(whole.buffer, whole.byteOffset, kWidth * kHeight);
  const cellOrigin = (c) => (c >> 2) * kCellHeight * kWidth + (c & 3) * kCellWidth;
  const pieces = [];
  for (let cell = 0; cell < 20; ++cell) {
    let best = -1, bestShare = 0.5;
    for (let piece = 0; piece < 20; ++piece) {
      let same = 0, all = 0;
      for (let y = 4; y < kCellHeight - 4; y += 2) {
        const from = cellOrigin(cell) + y * kWidth, to = cellOrigin(piece) + y * kWidth;
        for (let x = 4; x < kCellWidth - 4; x += 2, ++all) if (a[from + x] === b[to + x]) ++same;
      }
      if (same / all > bestShare) [best, bestShare] = [piece, same / all];
    }
    if (best < 0) return null;
    pieces.push(best);
  }
  return pieces;
}

export async function boardNow(page, whole) {
  return board(await canvasPixels(page), whole);
}

// The cells where two boards differ.
export function changedCells(before, after) {
  return before.map((p, c) => (p !== after[c] ? c : -1)).filter((c) => c >= 0);
}

// The middle of a cell on the page, wherever the canvas lies and at its size.
async function cellCentre(page, cell) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return { left: b.left, top: b.top, width: b.width, height: b.height };
  });
  const x = (cell & 3) * kCellWidth + kCellWidth / 2, y = (cell >> 2) * kCellHeight + kCellHeight / 2;
  return [r.left + (x * r.width) / kWidth, r.top + (y * r.height) / kHeight];
}

export async function clickCell(page, cell) {
  await page.mouse.click(...(await cellCentre(page, cell)));
}

// As a finger on a touch screen gives it.
export async function tapCell(page, cell) {
  await page.touchscreen.tap(...(await cellCentre(page, cell)));
}

// Bytes the page keeps in IndexedDB: `field` of the record at `key` of a store, or null.
async function keptBytes(page, database, store, key, field) {
  const bytes = await page.evaluate(
    (...where) =>
      new Promise((resolve) => {
        const [name, storeName, recordKey, recordField] = where;
        const open = indexedDB.open(name);
        open.onerror = () => resolve(null);
        open.onsuccess = () => {
          const db = open.result;
          if (!db.objectStoreNames.contains(storeName)) return resolve(null);
          const get = db.transaction(storeName).objectStore(storeName).get(recordKey);
          get.onsuccess = () => resolve(get.result ? Array.from(get.result[recordField]) : null);
          get.onerror = () => resolve(null);
        };
      }),
    database,
    store,
    key,
    field,
  );
  return bytes && Uint8Array.from(bytes);
}

// The high-score file as the page keeps it in IndexedDB, or null.
export function keptScores(page) {
  return keptBytes(page, '/saved', 'FILE_DATA', '/saved/max.pun', 'contents');
}

// The level kept by the page's "your pictures" for level `n`, as PCX bytes, or null.
export function keptLevel(page, n) {
  return keptBytes(page, 'brin-pictures', 'levels', n, 'pcx');
}

// The mean distance in RGB between two screens seen as 8x8 squares of their mean colours,
// so that dithering counts for little and framing for much.
export function squaresDistance(a, b) {
  let sum = 0;
  for (let y = 0; y < kHeight; y += 8)
    for (let x = 0; x < kWidth; x += 8) {
      const d = [0, 0, 0];
      for (let j = 0; j < 8; ++j)
        for (let i = 0; i < 8; ++i) for (let k = 0; k < 3; ++k) d[k] += a[((y + j) * kWidth + x + i) * 4 + k] - b[((y + j) * kWidth + x + i) * 4 + k];
      sum += Math.hypot(...d) / 64;
    }
  return sum / ((kWidth / 8) * (kHeight / 8));
}

export function sameRegion(a, b, width, height) {
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width * 4; ++x) if (a[y * kWidth * 4 + x] !== b[y * kWidth * 4 + x]) return false;
  return true;
}

// Plays to the first level's picture with its grid (`grid`, as brin-sim shows it), and until it
// is shuffled and lit; resolves to the board then.
export async function startLevel(page, grid) {
  await waitForFrame(page, frameHash(grid), "the first level's picture with its grid");
  return waitFor(async () => {
    const b = await boardNow(page, grid);
    return b && changedCells(b, [...b.keys()]).length > 0 && b;
  }, 'the shuffled level');
}

// Waits until the board differs from `before`, and says which cells changed.
export async function swapped(page, whole, before, what) {
  const after = await waitFor(async () => {
    const now = await boardNow(page, whole);
    return now && changedCells(before, now).length > 0 && now;
  }, what);
  return [after, changedCells(before, after)];
}

// Solves the first level with the mouse, lets the second run out and types the name "web"
// for the high score; resolves to max.pun as the browser then keeps it.
export async function enterHighScore(page, grid) {
  let now = await startLevel(page, grid);
  for (let cell = 0; cell < 20; ++cell) {
    if (now[cell] === cell) continue;
    const from = now.indexOf(cell);
    await clickCell(page, cell);
    await clickCell(page, from);
    if (changedCells(now, [...now.keys()]).length === 2) break;
    now = (await swapped(page, grid, now, `piece ${cell} put in place`))[0];
    check(now[cell] === cell, `piece ${cell} went to cell ${now.indexOf(cell)}`);
  }
  // The last swap wins the level; the score's texts then cover some cells, so the board
  // reads whole or not at all. Only then is the clock sped up: the mouse's events after a
  // click wait for the game to see it, but for no more than 250 ms of the page's clock,
  // which at ten times its pace a busy machine's game overruns, and the last click was lost.
  const won = await waitFor(async () => {
    const b = await boardNow(page, grid);
    return b === null ? 'covered' : changedCells(now, b).length > 0 && b;
  }, 'the level won');
  check(won === 'covered' || changedCells(won, [...won.keys()]).length === 0, `the last swap left ${won}`);
  // The second level runs out fast; the game then asks for a name, in red on black.
  await speed(page, 10);
  await waitFor(async () => {
    const px = await canvasPixels(page);
    let red = 0, lit = 0;
    for (let i = 0; i < 640 * 480; ++i) {
      if (px[4 * i] || px[4 * i + 1] || px[4 * i + 2]) ++lit;
      if (i >= 20 * 640 && i < 36 * 640 && px[4 * i] === 255 && !px[4 * i + 1] && !px[4 * i + 2]) ++red;
    }
    return red > 200 && lit < 20000;
  }, 'the question for a name', 120000);
  for (const key of ['KeyW', 'KeyE', 'KeyB', 'Enter']) await page.keyboard.press(key);
  return waitFor(() => keptScores(page), 'max.pun in the browser storage');
}
