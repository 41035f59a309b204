// SPDX-License-Identifier: MIT
// brin in headless Chromium, against brin-sim's screens at the same moments of a game.
//   node play_test.mjs CASE SITE BRIN_SIM DATA
// CASE: title (the start screen, the title, its fanfare), level (the first level's picture,
// a swap by keys and one by mouse, the help page, Escape and the end screen), scores (a
// level solved, the name typed, the table kept across a reload), shuffle (games begun at two
// times of day deal two shuffles, each brin-sim's at the same time).
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import {
  board,
  boardNow,
  canvasPixels,
  changedCells,
  check,
  clickCell,
  frameHash,
  frames,
  keptScores,
  launch,
  sameRegion,
  simScreens,
  speed,
  startLevel,
  waitFor,
  waitForFrame,
} from './brin.mjs';

const [, , which, site, sim, data] = process.argv;

// Moments of a game without high scores on brin-sim's clock: the title during its fanfare,
// the first level's picture with its grid before it is shuffled, the help page.
const kSimFirstGame = [
  ['12', 'shot', 'title'],
  ['16.2', 'shot', 'grid'],
  ['23', 'key', '28'],
  ['23.5', 'shot', 'help'],
  ['24', 'end'],
];

// Waits until the board differs from `before`, and says which cells changed.
async function swapped(page, whole, before, what) {
  const after = await waitFor(async () => {
    const now = await boardNow(page, whole);
    return now && changedCells(before, now).length > 0 && now;
  }, what);
  return [after, changedCells(before, after)];
}

const cases = {
  async title(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    const text = await waitFor(
      () => page.$eval('#start-text', (e) => (e.textContent.includes('play') ? e.textContent : '')),
      'the start screen',
    );
    check(text === 'click or press a key to play', `start screen says "${text}"`);
    check((await frames(page)).length === 0, 'the game drew before the player started it');
    await page.screenshot({ path: 'start.png' });
    await page.keyboard.press('KeyX');
    await speed(page, 5);
    await waitForFrame(page, frameHash(screens.title), 'the title');
    check(await page.$eval('#start', (e) => e.hidden), 'the start screen stays');
    await page.screenshot({ path: 'title.png' });
    await page.click('#full');
    await waitFor(() => page.evaluate(() => document.fullscreenElement?.id === 'stage'), 'full screen');
    await page.evaluate(() => document.exitFullscreen());
    // The fanfare: ten falling tones, the first a rest, each ramped in and out in 2 ms.
    const wanted = [];
    for (let d = 600; d < 6000; d += 600) wanted.push(Math.round(1193182 / d));
    const audio = await waitFor(async () => {
      const calls = await page.evaluate(() => window.__audio);
      const pitches = new Set(calls.filter(([m, v]) => m === 'setValueAtTime' && v > 1).map(([, v]) => Math.round(v)));
      return wanted.every((hz) => pitches.has(hz)) && calls;
    }, `tones at ${wanted} Hz`);
    const ramps = audio.filter(([m]) => m === 'linearRampToValueAtTime');
    check(ramps.some(([, v]) => Math.abs(v - 0.18) < 1e-6) && ramps.some(([, v]) => v === 0), 'tones not ramped in and out');
    for (let i = 1; i < audio.length; ++i) {
      if (audio[i][0] !== 'linearRampToValueAtTime') continue;
      check(audio[i - 1][0] === 'cancelAndHoldAtTime', 'a ramp that does not start from the tone as it is');
      check(Math.abs(audio[i][2] - audio[i - 1][1] - 0.002) < 1e-9, 'a ramp not 2 ms long');
    }
  },

  async level(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    const start = await startLevel(page, screens.grid);
    await page.screenshot({ path: 'level.png' });

    // The cursor starts on the cell under the pointer, 10: mark it, go down a row, swap.
    await page.keyboard.press('Space');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('Space');
    const [afterKeys, byKeys] = await swapped(page, screens.grid, start, 'a swap by keys');
    check(byKeys.join() === '10,14' && afterKeys[10] === start[14], `keys swapped cells ${byKeys}`);

    await clickCell(page, 0);
    await clickCell(page, 5);
    const [afterMouse, byMouse] = await swapped(page, screens.grid, afterKeys, 'a swap by mouse');
    check(byMouse.join() === '0,5' && afterMouse[0] === afterKeys[5], `the mouse swapped cells ${byMouse}`);

    // The help page covers the top-left corner; the pointer is kept out of it.
    await page.mouse.move(700, 500);
    await page.keyboard.press('Enter');
    await waitFor(async () => sameRegion(await canvasPixels(page), screens.help, 320, 192), 'the help page');
    await page.screenshot({ path: 'help.png' });
    await page.keyboard.press('KeyX');
    await waitFor(async () => {
      const b = await boardNow(page, screens.grid);
      return b && b.join() === afterMouse.join();
    }, 'the level back after the help page');

    await page.keyboard.press('Escape');
    await waitFor(() => page.$eval('#end', (e) => !e.hidden), 'the end screen');
    const again = await page.$eval('#again', (e) => e.textContent);
    check(again === 'play again', `the end screen offers "${again}"`);
    await page.screenshot({ path: 'end.png' });
    const drawn = (await frames(page)).length;
    await page.click('#again');
    await waitFor(async () => (await frames(page)).length > drawn, 'a new game after "play again"');
  },

  // The page's clock starts held at each time of day, as brin-sim's does; with the table the
  // page ships, both reach the shuffle at the same reading.
  async shuffle(browser, screens) {
    const shipped = readFileSync(join(data, 'max.pun'));
    const dealt = [];
    for (const startS of [1000000000, 1000000007]) {
      const page = await browser.page({ startMs: startS * 1000 });
      await page.goto(browser.url);
      const shown = (await startLevel(page, screens.grid)).join();
      await page.close();
      const script = [['21.5', 'shot', 'level'], ['22', 'end']];
      const bySim = board(simScreens(sim, data, script, shipped, ['--start', `${startS}`]).level, screens.grid).join();
      check(shown === bySim, `begun at ${startS} s the page dealt ${shown}, brin-sim ${bySim}`);
      dealt.push(shown);
    }
    check(dealt[0] !== dealt[1], `games begun at two times dealt the same ${dealt[0]}`);
  },

  async scores(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    let now = await startLevel(page, screens.grid);
    for (let cell = 0; cell < 20; ++cell) {
      if (now[cell] === cell) continue;
      const from = now.indexOf(cell);
      await clickCell(page, cell);
      await clickCell(page, from);
      if (changedCells(now, [...now.keys()]).length === 2) break;  // whole now: the level is won
      now = (await swapped(page, screens.grid, now, `piece ${cell} put in place`))[0];
      check(now[cell] === cell, `piece ${cell} went to cell ${now.indexOf(cell)}`);
    }
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
    const kept = await waitFor(() => keptScores(page), 'max.pun in the browser storage');
    check(kept.length === 58, `max.pun of ${kept.length} bytes`);
    const score = kept[0] | (kept[1] << 8);
    const name = String.fromCharCode(kept[10], kept[16], kept[22]);
    check(score > 0 && name === 'web', `first entry: ${name} ${score}`);

    // Another game, after a reload, ends on the table with that entry.
    const table = simScreens(sim, data, [['90', 'shot', 'table'], ['91', 'end']], kept).table;
    await page.reload();
    await speed(page, 20);
    await waitForFrame(page, frameHash(table), 'the table after the reload', 120000);
    await page.screenshot({ path: 'table.png' });
  },
};

const browser = await launch(site, { autoplay: which !== 'title' });
try {
  await cases[which](browser, simScreens(sim, data, kSimFirstGame));
  check(browser.errors.length === 0, `errors in the page: ${browser.errors.join('; ')}`);
  console.log(`${which}: passed`);
} catch (e) {
  console.error(`${which}: ${e.message} (the page as it was: ${which}-failed-0.png)`);
  await browser.screenshots(`${which}-failed`);
  process.exitCode = 1;
} finally {
  await browser.close();
}
