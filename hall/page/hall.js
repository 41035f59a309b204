// SPDX-License-Identifier: MIT
// The hall's page: the best verified games of each level set, each to watch in the browser
// edition or to download. Names are put in as text, never as markup.
'use strict';

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className) td.className = className;
  return td;
}

function link(td, text, href, download) {
  const a = document.createElement('a');
  a.textContent = text;
  a.href = href;
  if (download) a.download = download;
  td.append(a, ' ');
}

function minutes(seconds) {
  const m = Math.floor(seconds / 60);
  return `${m}:${String(Math.floor(seconds % 60)).padStart(2, '0')}`;
}

function gameRow(table, game) {
  const row = table.insertRow();
  row.dataset.id = game.id;
  cell(row, game.place, 'number');
  cell(row, game.name);
  cell(row, game.score, 'number');
  cell(row, minutes(game.length_s), 'number');
  cell(row, game.date.slice(0, 10));
  const links = cell(row, '');
  link(links, 'watch', `/#g=${game.id}`);
  link(links, 'download', game.recording, `brin-${game.id.slice(0, 12)}.brinrec`);
}

function levelSet(set) {
  const section = document.createElement('section');
  const title = document.createElement('h2');
  title.textContent = set.set === 'brin' ? 'The shipped pictures' : `Level set ${set.set}`;
  section.append(title);
  if (set.games.length === 0) {
    const none = document.createElement('p');
    none.textContent = 'No game yet.';
    section.append(none);
    return section;
  }
  const table = document.createElement('table');
  const head = table.createTHead().insertRow();
  for (const [text, number] of [['', 1], ['name'], ['score', 1], ['length', 1], ['date'], ['']])
    head.append(Object.assign(document.createElement('th'), { textContent: text, className: number ? 'number' : '' }));
  const body = table.createTBody();
  for (const game of set.games) gameRow(body, game);
  section.append(table);
  return section;
}

async function show() {
  const main = document.getElementById('sets');
  try {
    const answer = await fetch('/api/games');
    if (!answer.ok) throw new Error(`the hall answered ${answer.status}`);
    const hall = await answer.json();
    main.replaceChildren(...hall.sets.map(levelSet));
    document.body.dataset.shown = 'yes';
  } catch (error) {
    main.textContent = `The hall can't be read now: ${error.message}`;
  }
}

show();
