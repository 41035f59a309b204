// SPDX-License-Identifier: MIT
// The browser edition served by a real brin-hall, in headless Chromium: a game played in the
// page, sent to the hall from its end screen, listed by the hall, and watched from the hall's
// page to "every frame as recorded"; the same game through a #r= link, and a link that
// carries more than a link may.
//   node page_test.mjs SITE BRIN_SIM DATA BRIN_HALL
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { check, enterHighScore, launch, simScreens, speed, waitFor } from '../web/brin.mjs';

const [, , site, sim, data, brinHall] = process.argv;

// A hall at a port it chose, keeping its games in an SQLite file in `dir`.
async function startHall(dir) {
  const hall = spawn(brinHall, ['--listen', '127.0.0.1:0', '--db', join(dir, 'hall.db'), '--shipped', data, '--site', site,
    '--verifier', sim], { stdio: ['ignore', 'pipe', 'inherit'] });
  const said = await new Promise((resolve, reject) => {
    createInterface({ input: hall.stdout }).once('line', resolve);
    hall.once('exit', (status) => reject(new Error(`brin-hall ended with ${status}`)));
  });
  return { process: hall, url: said.replace(/^.* on /, '') };
}

function shown(page, id, what) {
  return waitFor(() => page.$eval(id, (e) => !e.hidden && !e.textContent.endsWith('…') && e.textContent), what, 180000);
}

// A replay that starts with the page, at 20 times its pace, to its end.
async function replayed(page) {
  await speed(page, 20);
  return shown(page, '#replay-news', 'the end of the replay');
}

const dir = mkdtempSync(join(tmpdir(), 'brin-hall-page-'));
const hall = await startHall(dir);
const browser = await launch(site);
try {
  const screens = simScreens(sim, data, [['16.2', 'shot', 'grid'], ['17', 'end']]);
  const page = await browser.page();
  await page.goto(hall.url);
  const kept = await enterHighScore(page, screens.grid);
  const score = kept[0] | (kept[1] << 8);
  // Escape ends the program in the next game's level; until then the game takes no key.
  await waitFor(async () => {
    await page.keyboard.press('Escape');
    return page.$eval('#end', (e) => !e.hidden);
  }, 'the end screen', 180000);

  await waitFor(() => page.$eval('#send-hall', (e) => !e.hidden), '"send to the hall"');
  await page.click('#send-hall');
  const answer = await shown(page, '#hall-news', "the hall's answer");
  check(answer === `the hall took this game: place 1 with ${score} points for web`, `the page said "${answer}"`);
  const listed = await (await fetch(`${hall.url}api/games`)).json();
  const game = listed.sets[0].games[0];
  check(listed.sets[0].games.length === 1 && game.name === 'web' && game.score === score,
    `the hall lists ${JSON.stringify(listed.sets[0].games)}`);

  await page.click('#copy-link');
  const link = await waitFor(() => page.$eval('#game-link', (e) => !e.hidden && e.value), 'the link');
  check(link.startsWith(`${hall.url}#r=`), `the link is ${link.slice(0, 80)}…`);
  await page.screenshot({ path: 'hall-end.png' });

  const hallPage = await browser.page();
  await hallPage.goto(`${hall.url}hall/`);
  const name = await waitFor(() => hallPage.$eval(`tr[data-id="${game.id}"] td:nth-child(2)`, (e) => e.textContent)
    .catch(() => null), "the game on the hall's page");
  check(name === 'web', `the hall's page shows the name as "${name}"`);
  await hallPage.screenshot({ path: 'hall-page.png' });
  await Promise.all([hallPage.waitForNavigation(), hallPage.click(`tr[data-id="${game.id}"] a:first-child`)]);
  const watched = await replayed(hallPage);
  check(watched === "the hall's game: the replay ended, every frame as recorded", `watching it said "${watched}"`);

  const linked = await browser.page();
  await linked.goto(link);
  const viaLink = await replayed(linked);
  check(viaLink === 'the linked game: the replay ended, every frame as recorded', `the link said "${viaLink}"`);

  const tooLong = await browser.page();
  await tooLong.goto(`${hall.url}#r=${'A'.repeat(70000)}`);
  const refused = await shown(tooLong, '#link-news', 'the word on a link too long');
  check(refused === 'the link carries 52 KB, more than a link may (48 KB)', `a link too long said "${refused}"`);
  check(browser.errors.length === 0, `errors in the page: ${browser.errors.join('; ')}`);
  console.log('the hall in chromium: passed');
} catch (e) {
  console.error(`the hall in chromium: ${e.message} (the pages as they were: hall-failed-*.png)`);
  await browser.screenshots('hall-failed');
  process.exitCode = 1;
} finally {
  await browser.close();
  hall.process.kill('SIGTERM');
  await new Promise((resolve) => hall.process.once('exit', resolve));
  rmSync(dir, { recursive: true, force: true });
}
