// SPDX-License-Identifier: MIT
// brin in headless Chromium or Firefox, against brin-sim's screens at the same moments of a game.
//   node play_test.mjs CASE BROWSER SITE BRIN_SIM DATA [BRIN_PICTURE PHOTO]
// CASE: title (the start screen, the title, its fanfare), level (in Chromium, the game
// started by audio that starts late; the first level's picture, a swap by keys and one by
// mouse, the help page, Escape and the end screen), scores (a
// level solved, the name typed, the table kept across a reload), offline (the page reloaded
// with the server gone starts and shows the title), phone (a phone's screen: the canvas as
// wide as it, a swap by taps, the on-page keys), photo (a photo picked in "your pictures"
// played as level 1, against brin-sim on the level the page made and on brin-picture's; the
// same photo dropped onto the panel).
// shuffle (games begun at two times of day deal two shuffles, each brin-sim's at the same
// time), record (the level's game taken from "save this game" and replayed by brin-sim;
// brin-sim's recording and bad files given to the page), late (the first level's picture
// held back by the server). BROWSER: chromium or firefox.
import { execFileSync, spawnSync } from 'node:child_process';
import { appendFileSync, cpSync, mkdtempSync, readFileSync, rmSync, truncateSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { crc32, deflateSync, inflateSync } from 'node:zlib';
import { join } from 'node:path';
import {
  board,
  boardNow,
  canvasPixels,
  check,
  clickCell,
  enterHighScore,
  frameHash,
  frames,
  keptLevel,
  launch,
  sameRegion,
  tapCell,
  simScreens,
  squaresDistance,
  speed,
  startLevel,
  swapped,
  waitFor,
  waitForFrame,
} from './brin.mjs';

const [, , which, browserName, site, sim, data, brinPicture, photo] = process.argv;
const kPrefix = 14;  // a recording's magic, format and unpacked length

// Moments of a game without high scores on brin-sim's clock: the title during its fanfare,
// the first level's picture with its grid before it is shuffled, the help page.
const kSimFirstGame = [
  ['12', 'shot', 'title'],
  ['16.2', 'shot', 'grid'],
  ['23', 'key', '28'],
  ['23.5', 'shot', 'help'],
  ['24', 'end'],
];

// A black PNG, of few bytes however large.
function blackPng(width, height) {
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type), data]);
    const out = Buffer.alloc(12 + data.length);
    out.writeUInt32BE(data.length, 0);
    body.copy(out, 4);
    out.writeUInt32BE(crc32(body), 8 + data.length);
    return out;
  };
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr.set([8, 2, 0, 0, 0], 8);
  const rows = deflateSync(Buffer.alloc((1 + 3 * width) * height), { level: 9 });
  return Buffer.concat([
    Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]),
    chunk('IHDR', ihdr),
    chunk('IDAT', rows),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// The first level played: a swap by keys and one by mouse, the help page, and Escape to the
// end screen.
async function playLevel(page, screens) {
  const start = await startLevel(page, screens.grid);
  await page.screenshot({ path: 'level.png' });

  // The cursor starts on the cell under the pointer, 10: mark it, go down a row, swap.
  await page.keyboard.press(' ');  // Space, by the name both drivers know
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press(' ');
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
}

// Chromium tells a page whether it may sound only by playing a sound, maybe after the game
// has loaded: here the page's silent sound plays when the test says, with no gesture. Gives
// what the test calls once the page is loaded: the page must wait, then start by itself,
// and make no audio context before its first frame.
async function audioStartingLate(page) {
  await page.evaluateOnNewDocument(() => {
    const play = HTMLMediaElement.prototype.play;
    let start;
    const started = new Promise((resolve) => (start = resolve));
    HTMLMediaElement.prototype.play = function () {
      return started.then(() => play.call(this));
    };
    window.__startAudio = start;
    window.__audioMade = [];
    window.AudioContext = class extends window.AudioContext {
      constructor(...args) {
        super(...args);
        window.__audioMade.push(window.__frames.length);
      }
    };
  });
  return async () => {
    const text = await page.startChoice;
    check(text === 'click or press a key to play', `before the audio starts, the start screen says "${text}"`);
    check((await frames(page)).length === 0, 'the game drew before the audio started');
    await page.evaluate(() => window.__startAudio());
  };
}

// The frames drawn before each audio context was made.
async function framesBeforeAudio(page) {
  return page.evaluate(() => window.__audioMade);
}

// The bytes of the recording the end screen offers, fetched in the page.
async function offeredRecording(page) {
  const name = await waitFor(
    () => page.$eval('#save-game', (a) => !a.hidden && a.textContent === 'save this game' && a.href && a.download),
    '"save this game"',
  );
  check(/^brin-\d{4}-\d\d-\d\d-\d{6}\.brinrec$/.test(name), `the recording is offered as ${name}`);
  const base64 = await page.$eval('#save-game', async (a) => {
    const bytes = new Uint8Array(await (await fetch(a.href)).arrayBuffer());
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

// A folder with the game's data, for brin-sim.
function simFolder() {
  const dir = mkdtempSync(join(tmpdir(), 'brin-record-'));
  for (const f of ['1.pcx', '2.pcx', '3.pcx', '4.pcx', 'brin.pcx', 'topaz.fon']) cpSync(join(data, f), join(dir, f));
  return dir;
}

// brin-sim's replay of a recording the page offered, which must match it frame for frame.
function checkReplayedBySim(dir, recorded) {
  writeFileSync(join(dir, 'page.brinrec'), recorded);
  const replayed = spawnSync(sim, ['--replay', 'page.brinrec'], { cwd: dir, encoding: 'utf8' });
  check(replayed.status === 0, `brin-sim replayed the page's game with status ${replayed.status}: ${replayed.stderr}`);
}

// Gives the page a recording with its picker, and waits for what it says at the end.
async function replayInPage(page, path) {
  await page.$eval('#replay-news', (e) => { e.textContent = ''; });
  await (await page.$('#recording-file')).uploadFile(path);
  return waitFor(() => page.$eval('#replay-news', (e) => !e.hidden && !e.textContent.endsWith('…') && e.textContent),
    'the end of the replay', 120000);
}

const cases = {
  async title(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    // Launched to block sound, the page waits for the player, who starts it with a key.
    const text = await page.startChoice;
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
    // Where the browser cannot hold a ramp where it is, the page sets the level it holds.
    for (let i = 1; i < audio.length; ++i) {
      if (audio[i][0] !== 'linearRampToValueAtTime') continue;
      const [method, ...args] = audio[i - 1];
      check(['cancelAndHoldAtTime', 'setValueAtTime'].includes(method), 'a ramp that does not start from the tone as it is');
      check(Math.abs(audio[i][2] - args[args.length - 1] - 0.002) < 1e-9, 'a ramp not 2 ms long');
    }
  },

  async level(browser, screens) {
    const page = await browser.page();
    const startAudio = browserName === 'chromium' && (await audioStartingLate(page));
    await page.goto(browser.url);
    if (startAudio) await startAudio();
    await playLevel(page, screens);
    if (startAudio) {
      const made = await framesBeforeAudio(page);
      check(made.length === 1 && made[0] > 0, `audio contexts made after ${made} frames, not once after the first`);
    }
    const again = await page.$eval('#again', (e) => e.textContent);
    check(again === 'play again', `the end screen offers "${again}"`);
    await page.screenshot({ path: 'end.png' });
    const drawn = (await frames(page)).length;
    await page.click('#again');
    await waitFor(async () => (await frames(page)).length > drawn, 'a new game after "play again"');
  },

  // A game recorded in the page replays in brin-sim, frame for frame; a recording made by
  // brin-sim, and the page's own, replay in the page; a foreign, cut or damaged file is
  // refused there.
  async record(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    await playLevel(page, screens);
    const recorded = await offeredRecording(page);
    // A game begun while the last one is still being packed: the last one is not offered
    // beside it. A pack of the same bytes begun after the page's settles after it.
    const staleOffered = await page.evaluate(async () => {
      const file = new Uint8Array(4 << 20);
      brinRecordings.recorded(file, '');
      brinRecordings.starting();
      await new Response(new Blob([file]).stream().pipeThrough(new CompressionStream('deflate'))).arrayBuffer();
      await new Promise((resolve) => setTimeout(resolve, 0));
      return !document.getElementById('save-game').hidden;
    });
    check(!staleOffered, 'a game packed after the next began was offered beside it');
    const dir = simFolder();
    try {
      checkReplayedBySim(dir, recorded);

      writeFileSync(join(dir, 'script'), kSimFirstGame.map((line) => line.join(' ')).join('\n') + '\n');
      cpSync(join(data, 'max.pun'), join(dir, 'max.pun'));
      execFileSync(sim, ['--script', 'script', '--record', 'sim.brinrec'], { cwd: dir, stdio: 'ignore' });
      writeFileSync(join(dir, 'hello.brinrec'), 'hello');
      writeFileSync(join(dir, 'cut.brinrec'), recorded.subarray(0, recorded.length / 2));
      const flipped = Buffer.from(recorded);
      for (let i = flipped.length >> 1; i < (flipped.length >> 1) + 4; ++i) flipped[i] ^= 0x5a;
      writeFileSync(join(dir, 'flipped.brinrec'), flipped);
      // Begun 7 s later, the game deals another shuffle: the replay differs at the level. The
      // page packs a game as one block: its length, its CRC-32, then the stream.
      const block = (packed) => {
        const head = Buffer.alloc(8);
        head.writeUInt32LE(packed.length, 0);
        head.writeUInt32LE(crc32(packed), 4);
        return Buffer.concat([head, packed]);
      };
      const contents = inflateSync(recorded.subarray(kPrefix + 8));
      const startAt = 1 + contents[0];  // after the program's version
      contents.writeBigUInt64LE(contents.readBigUInt64LE(startAt) + 7000000n, startAt);
      writeFileSync(join(dir, 'later.brinrec'), Buffer.concat([recorded.subarray(0, kPrefix), block(deflateSync(contents))]));
      // A block that unpacks to 64 MiB, past the 16 MiB any recording holds, and a file longer
      // than any recording (sparse: it takes no room).
      const bomb = Buffer.concat([recorded.subarray(0, kPrefix), block(deflateSync(Buffer.alloc(64 << 20), { level: 9 }))]);
      writeFileSync(join(dir, 'bomb.brinrec'), bomb);
      writeFileSync(join(dir, 'huge.brinrec'), recorded);
      truncateSync(join(dir, 'huge.brinrec'), 3 * 2 ** 30);
      await speed(page, 20);  // a replay waits for its recorded times
      const said = {
        'page.brinrec': 'page.brinrec: the replay ended, every frame as recorded',
        'sim.brinrec': 'sim.brinrec: the replay ended, every frame as recorded',
        'hello.brinrec': 'hello.brinrec: is not a brin recording',
        'cut.brinrec': 'cut.brinrec: ends early, at ',
        'flipped.brinrec': 'flipped.brinrec: is damaged at byte ',
        'later.brinrec': 'later.brinrec: poll ',
        'bomb.brinrec': 'bomb.brinrec: is damaged at byte ',
        'huge.brinrec': 'huge.brinrec: is too large to be a brin recording',
      };
      for (const [name, wanted] of Object.entries(said)) {
        const news = await replayInPage(page, join(dir, name));
        check(news.startsWith(wanted), `the page said "${news}" for ${name}`);
      }
      await page.screenshot({ path: 'replayed.png' });
    } finally {
      rmSync(dir, { recursive: true, force: true });
    }
  },

  // The first level's picture held back by the server until the game waits for it: the page
  // says so, then plays the level on its picture as brin-sim shows it, and the game's
  // recording replays in brin-sim.
  async late(browser, screens) {
    browser.server.hold('/1.pcx');
    const page = await browser.page();
    await page.goto(browser.url);
    const news = await waitFor(() => page.$eval('#waiting', (e) => !e.hidden && e.textContent), 'a word of the picture awaited');
    check(news === "fetching the next level's picture…", `the page says "${news}" while the picture is awaited`);
    await page.screenshot({ path: 'late.png' });
    check(!(await frames(page)).includes(frameHash(screens.grid)), 'the level was shown before its picture came');
    browser.server.release('/1.pcx');
    await startLevel(page, screens.grid);
    check(await page.$eval('#waiting', (e) => e.hidden), 'the word of the picture awaited stays');
    await page.keyboard.press('Escape');
    const dir = simFolder();
    try {
      checkReplayedBySim(dir, await offeredRecording(page));
    } finally {
      rmSync(dir, { recursive: true, force: true });
    }
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
      const bySim = board(simScreens(sim, data, script, shipped, {}, ['--start', `${startS}`]).level, screens.grid).join();
      check(shown === bySim, `begun at ${startS} s the page dealt ${shown}, brin-sim ${bySim}`);
      dealt.push(shown);
    }
    check(dealt[0] !== dealt[1], `games begun at two times dealt the same ${dealt[0]}`);
  },

  async scores(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    const kept = await enterHighScore(page, screens.grid);
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

  async offline(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    await page.evaluate(() => navigator.serviceWorker.ready);
    const cacheNames = () => page.evaluate(() => caches.keys()).catch(() => []);
    const [first] = await cacheNames();

    // A new build on the server: its worker waits for the game to end, then replaces the cache.
    const sw = join(served, 'sw.js');
    writeFileSync(sw, readFileSync(sw, 'utf8').replace(first, `${first}-next`));
    appendFileSync(join(served, 'brin.js'), '// the next build\n');
    await startLevel(page, screens.grid);
    await page.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => r.update()));
    await waitFor(() => page.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => !!r.waiting)), 'the new build waiting');
    check((await cacheNames()).includes(first), 'the new build took over during a game');
    await page.keyboard.press('Escape');
    await waitFor(async () => (await cacheNames()).join() === `${first}-next`, 'the new build alone in the cache');
    const code = await waitFor(() => page.evaluate(() => fetch('brin.js').then((r) => r.text())).catch(() => ''), 'brin.js');
    check(code.includes('the next build'), 'the old brin.js is served after the new build took over');
    // The levels' pictures are kept as the page fetches them, after the new build's first frame.
    const pictures = ['1.pcx', '2.pcx', '3.pcx', '4.pcx'];
    await waitFor(async () => {
      const kept = await page.evaluate(async (name) => (await (await caches.open(name)).keys()).map((r) => r.url), `${first}-next`).catch(() => []);
      return pictures.every((p) => kept.some((url) => url.endsWith(`/${p}`)));
    }, 'the pictures in the cache');

    await browser.server.close();
    await page.reload();
    await speed(page, 5);
    await waitForFrame(page, frameHash(screens.title), 'the title without the network');
    await page.screenshot({ path: 'offline.png' });
    await speed(page, 10);
    await waitForFrame(page, frameHash(screens.grid), "the first level's picture without the network");
  },

  async photo(browser) {
    const page = await browser.page();
    await page.goto(browser.url);
    await page.click('#pictures-button');
    // With the photo, a file that is no picture, a photo above the page's cap, and one that
    // needs more memory than the converter starts with.
    const junk = mkdtempSync(join(tmpdir(), 'brin-junk-'));
    const notAPicture = join(junk, 'notes.jpg'), huge = join(junk, 'huge.png');
    writeFileSync(notAPicture, 'not a picture at all');
    writeFileSync(huge, blackPng(8000, 7000));
    const large = join(junk, 'large.png');
    writeFileSync(large, blackPng(2400, 1800));
    const input = await page.$('#picture-files');
    await input.uploadFile(photo, notAPicture, huge, large);
    const news = await waitFor(
      () => page.$eval('#picture-news', (e) => (e.textContent.includes('next game') ? e.textContent : '')),
      'the levels made',
    );
    rmSync(junk, { recursive: true, force: true });
    check(news.includes('Level 1: '), `"your pictures" says: ${news}`);
    check(news.includes('Level 2 stays as it was: notes.jpg cannot be read'), `no word of the file that is no picture: ${news}`);
    check(news.includes('Level 3 stays as it was: huge.png is too big (8000x7000)'), `no word of the huge photo: ${news}`);
    check(news.includes('Level 4: large.png.'), `the large photo was not made a level: ${news}`);
    // All black, its tiles are alike and of one colour: the warning is brin-picture's.
    for (const words of ['Warning: this picture makes a level that is hard', 'tiles 0, 1, 2', 'show nothing but one colour'])
      check(news.includes(words), `no warning of the black photo's tiles ("${words}"): ${news}`);
    await page.screenshot({ path: 'pictures.png' });
    const made = await keptLevel(page, 1);
    check(made, 'no level 1 kept');

    // The same photo dropped onto the panel makes the same level again, under its new name.
    await page.$eval(
      '#pictures',
      (panel, base64) => {
        const files = new DataTransfer();
        const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        files.items.add(new File([bytes], 'dropped.jpg', { type: 'image/jpeg' }));
        panel.dispatchEvent(new DragEvent('drop', { dataTransfer: files, bubbles: true, cancelable: true }));
      },
      readFileSync(photo).toString('base64'),
    );
    await waitFor(() => page.$eval('#picture-news', (e) => e.textContent.includes('Level 1: dropped.jpg.')), 'the dropped photo made level 1');
    check(Buffer.from(await keptLevel(page, 1)).equals(Buffer.from(made)), 'the dropped photo made another level');
    check(await page.$eval('#slots img', (e) => e.alt === 'dropped.jpg'), 'level 1 not shown as the dropped photo');

    // The page's level as brin-sim plays it, and brin-picture's level of the same photo.
    const dir = mkdtempSync(join(tmpdir(), 'brin-photo-'));
    let theirs;
    try {
      execFileSync(brinPicture, [photo, join(dir, '1.pcx')], { stdio: 'ignore' });
      theirs = readFileSync(join(dir, '1.pcx'));
    } finally {
      rmSync(dir, { recursive: true, force: true });
    }
    const grid = [['16.2', 'shot', 'grid'], ['17', 'end']];
    const ours = simScreens(sim, data, grid, null, { '1.pcx': made }).grid;
    const toolsGrid = simScreens(sim, data, grid, null, { '1.pcx': theirs }).grid;

    await page.click('#pictures-done');
    await page.reload();  // the levels are the next game's
    await speed(page, 10);
    await waitForFrame(page, frameHash(ours), 'the level made of the photo, as brin-sim shows it');
    await speed(page, 1);
    await page.screenshot({ path: 'photo-level.png' });
    // The two quantisers differ pixel by pixel; seen as 8x8 squares the pictures are one.
    const apart = squaresDistance(ours, toolsGrid);
    console.log(`photo: the page's level and brin-picture's lie ${apart.toFixed(2)} apart (RGB, 8x8 squares)`);
    check(apart < 4, `the page's level lies ${apart} from brin-picture's`);
  },

  async phone(browser, screens) {
    const page = await browser.page();
    await page.goto(browser.url);
    const width = await page.$eval('#screen', (e) => e.getBoundingClientRect().width);
    check(width === 390, `the canvas is ${width} wide on a screen 390 wide`);
    const start = await startLevel(page, screens.grid);
    await page.screenshot({ path: 'phone.png' });
    const hints = await page.$$eval('.keys-only', (all) => all.filter((e) => e.checkVisibility()).length);
    check(hints === 0, `${hints} key hints shown on a touch screen`);

    // Cells clear of the help page's corner, which is compared below.
    await tapCell(page, 7);
    await tapCell(page, 18);
    const [after, byTaps] = await swapped(page, screens.grid, start, 'a swap by taps');
    check(byTaps.join() === '7,18' && after[7] === start[18], `taps swapped cells ${byTaps}`);

    await page.tap('#enter-key');
    await waitFor(async () => sameRegion(await canvasPixels(page), screens.help, 320, 192), 'the help page');
    await page.screenshot({ path: 'phone-help.png' });
    await page.tap('#enter-key');
    await waitFor(async () => {
      const b = await boardNow(page, screens.grid);
      return b && b.join() === after.join();
    }, 'the level back after the help page');
    await page.tap('#escape-key');
    await waitFor(() => page.$eval('#end', (e) => !e.hidden), 'the end screen');
  },
};

// The offline case changes the site, as a new build would: it gets a copy.
const served = which === 'offline' ? mkdtempSync(join(tmpdir(), 'brin-site-')) : site;
if (served !== site) cpSync(site, served, { recursive: true });
const browser = await launch(served, { which: browserName, autoplay: which !== 'title', phone: which === 'phone' });
try {
  await cases[which](browser, simScreens(sim, data, kSimFirstGame));
  check(browser.errors.length === 0, `errors in the page: ${browser.errors.join('; ')}`);
  console.log(`${which} in ${browserName}: passed`);
} catch (e) {
  console.error(`${which} in ${browserName}: ${e.message} (the page as it was: ${which}-${browserName}-failed-0.png)`);
  await browser.screenshots(`${which}-${browserName}-failed`);
  process.exitCode = 1;
} finally {
  await browser.close();
  if (served !== site) rmSync(served, { recursive: true, force: true });
}
