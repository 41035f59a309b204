// SPDX-License-Identifier: MIT
// The levels' pictures. The shipped ones are fetched after the game's first frame, while the
// title plays, and a game that reaches a level before its picture waits for it. "Your
// pictures": the player's photos as levels 1-4 of this browser. The browser decodes a photo
// (its Exif orientation honoured); photo.js, loaded only here, frames and quantises it as
// brin-picture does. The levels are kept in IndexedDB as PCX files and written into the
// game's folder before each game.
var brinPictures = (function () {
  'use strict';
  var kLevels = 4;
  var kMaxPixels = 50e6;  // beyond this a photo is refused before it is decoded
  var kScreenWidth = 640, kScreenHeight = 480;
  var kDatabase = 'brin-pictures', kStore = 'levels';
  var kRetryMs = 2000;  // a picture that could not be fetched is asked for again after this

  function fileOf(level) {
    return level + '.pcx';
  }

  // ---- the shipped levels ----

  var kShipped = [];
  for (var level = 1; level <= kLevels; ++level) kShipped.push(fileOf(level));

  var arriving = null;  // by file name, a promise of its bytes, once the fetching began
  var fetched = new Map();  // by file name, the bytes of those here
  var game = null;  // the file system of the game running or about to, where pictures go as they come
  var trouble = function () {};  // tells the player waiting why a picture is not here yet

  function fetchOnce(name) {
    return fetch(name, { credentials: 'same-origin' }).then(function (r) {
      if (!r.ok) throw new Error(r.status + ' ' + r.statusText);
      return r.arrayBuffer();
    });
  }

  // Never gives up: without its picture a level would be played on a black screen.
  function fetchPicture(name) {
    return fetchOnce(name).then(function (bytes) {
      var picture = new Uint8Array(bytes);
      fetched.set(name, picture);
      if (game) place(game, name, picture);
      return picture;
    }, function (e) {
      trouble(name + ' could not be fetched (' + e.message + '); trying again');
      return new Promise(function (resolve) { setTimeout(resolve, kRetryMs); }).then(function () {
        return fetchPicture(name);
      });
    });
  }

  // A level of the player's stays.
  function place(fs, name, picture) {
    var path = brinCommon.folder + '/' + name;
    if (!fs.analyzePath(path).exists) fs.writeFile(path, picture);
  }

  // In the order the levels come.
  function fetchShipped() {
    if (arriving) return;
    arriving = new Map();
    var before = Promise.resolve();
    kShipped.forEach(function (name) {
      before = before.then(fetchPicture.bind(null, name));
      arriving.set(name, before);
    });
  }

  // Before the game opens the data file `name`: a promise that the shipped picture is in
  // its folder, or null when nothing needs waiting for. `tell` hears of fetches that fail.
  function late(fs, name, tell) {
    if (kShipped.indexOf(name) < 0 || fs.analyzePath(name).exists) return null;
    fetchShipped();
    trouble = tell;
    return arriving.get(name).then(function () {
      trouble = function () {};
    });
  }

  // Every shipped picture, as a replay checks them all before it starts.
  function allShipped() {
    fetchShipped();
    return Promise.all(arriving.values());
  }

  // ---- the player's levels ----

  function database() {
    var open = indexedDB.open(kDatabase, 1);
    open.onupgradeneeded = function () { open.result.createObjectStore(kStore); };
    return brinCommon.request(open);
  }

  // Runs `action` on the store; resolves to its result once the transaction is done.
  function withStore(mode, action) {
    return database().then(function (db) {
      var t = db.transaction(kStore, mode);
      var result = brinCommon.request(action(t.objectStore(kStore)));
      return brinCommon.finished(t).then(function () { return result; });
    });
  }

  // The kept levels: [level number, { pcx, thumbnail, name }] pairs.
  function kept() {
    if (!window.indexedDB) return Promise.resolve([]);
    return withStore('readonly', function (s) { return s.getAll(); }).then(function (all) {
      return all.map(function (l) { return [l.level, l]; });
    }).catch(function () { return []; });
  }

  // Puts `levels` (as kept() gives them) in the game's folder of a game not yet started, and
  // the shipped pictures there already under the other levels; the rest follow as they come.
  function install(fs, levels) {
    game = fs;
    levels.forEach(function (l) { fs.writeFile(brinCommon.folder + '/' + fileOf(l[0]), l[1].pcx); });
    fetched.forEach(function (picture, name) { place(fs, name, picture); });
  }

  // ---- decoding ----

  function failure(text) {
    var e = new Error(text);
    e.plain = true;
    return e;
  }

  function imageOf(file) {
    return new Promise(function (resolve, reject) {
      var url = URL.createObjectURL(file);
      var img = new Image();
      img.onload = function () { URL.revokeObjectURL(url); resolve(img); };
      img.onerror = function () {
        URL.revokeObjectURL(url);
        reject(failure(file.name + ' cannot be read as a picture by this browser'));
      };
      img.src = url;  // only its size (turned by its Exif orientation) is read on load
    });
  }

  // The scale at which the photo is drawn: twice what the screen shows of it once cut to
  // the screen's shape, so that the converter's own filter makes the last step, as
  // brin-picture's does. Drawn small, a JPEG is decoded small (createImageBitmap's resizing
  // decodes it whole first).
  function decodeScale(w, h) {
    return Math.min(1, 2 * Math.max(kScreenWidth / w, kScreenHeight / h));
  }

  // The photo the right way up, over black, decoded scaled: RGBA and its size.
  function decode(file) {
    return imageOf(file).then(function (img) {
      var w = img.naturalWidth, h = img.naturalHeight;
      if (!w || !h) throw failure(file.name + ' cannot be read as a picture by this browser');
      if (w * h > kMaxPixels) {
        throw failure(file.name + ' is too big (' + w + 'x' + h + '): photos of up to ' +
                      kMaxPixels / 1e6 + ' million pixels are taken');
      }
      var scale = decodeScale(w, h);
      var canvas = document.createElement('canvas');
      canvas.width = Math.max(1, Math.round(w * scale));
      canvas.height = Math.max(1, Math.round(h * scale));
      var c = canvas.getContext('2d');
      c.fillStyle = '#000';
      c.fillRect(0, 0, canvas.width, canvas.height);
      c.imageSmoothingQuality = 'high';
      c.drawImage(img, 0, 0, canvas.width, canvas.height);
      var thumb = document.createElement('canvas');
      thumb.width = 80;
      thumb.height = 60;
      thumb.getContext('2d').drawImage(canvas, 0, 0, 80, 60);
      return { width: canvas.width, height: canvas.height, rgba: c.getImageData(0, 0, canvas.width, canvas.height).data,
               thumbnail: thumb.toDataURL() };
    });
  }

  // ---- converting ----

  var converter = null;

  function loadConverter() {
    if (!converter) {
      converter = new Promise(function (resolve, reject) {
        var script = document.createElement('script');
        script.src = 'photo.js';
        script.onload = function () { createPhotoConverter().then(resolve, reject); };
        script.onerror = function () { reject(failure('the photo converter cannot be loaded')); };
        document.head.appendChild(script);
      });
      converter.catch(function () { converter = null; });
    }
    return converter;
  }

  // Resolves to { pcx, thumbnail, warning } for a photo.
  function convert(file) {
    return Promise.all([loadConverter(), decode(file)]).then(function (both) {
      var m = both[0], photo = both[1];
      var into = m._photo_pixels(photo.width, photo.height);  // may grow the memory: HEAPU8 after
      m.HEAPU8.set(photo.rgba, into);
      var size = m._photo_convert(1);
      var at = m._photo_level();
      return { pcx: m.HEAPU8.slice(at, at + size), thumbnail: photo.thumbnail,
               warning: m.UTF8ToString(m._photo_warning()) };
    });
  }

  // ---- the screen ----

  var panel, slots, news;
  var changed = null;  // called when the kept levels change

  function say(lines) {
    news.textContent = '';
    lines.forEach(function (l) {
      var p = document.createElement('p');
      p.textContent = l;
      news.appendChild(p);
    });
  }

  function showSlots() {
    return kept().then(function (levels) {
      var byLevel = new Map(levels);
      slots.textContent = '';
      for (var n = 1; n <= kLevels; ++n) {
        var slot = document.createElement('figure');
        var l = byLevel.get(n);
        if (l) {
          var img = document.createElement('img');
          img.src = l.thumbnail;
          img.alt = l.name;
          slot.appendChild(img);
        } else {
          var shipped = document.createElement('div');
          shipped.textContent = 'shipped';
          slot.appendChild(shipped);
        }
        var caption = document.createElement('figcaption');
        caption.textContent = 'level ' + n;
        slot.appendChild(caption);
        slots.appendChild(slot);
      }
    });
  }

  // The photos in order become levels 1, 2, ...; each is kept as soon as it is made.
  function take(files) {
    files = Array.prototype.filter.call(files, function () { return true; });
    var lines = [];
    if (files.length > kLevels) lines.push('Only the first ' + kLevels + ' photos are taken.');
    say(lines.concat(['Making the levels…']));
    var done = Promise.resolve();
    files.slice(0, kLevels).forEach(function (file, i) {
      done = done.then(function () {
        return convert(file).then(function (made) {
          var level = { level: i + 1, name: file.name, pcx: made.pcx, thumbnail: made.thumbnail };
          return withStore('readwrite', function (s) { return s.put(level, i + 1); }).then(function () {
            lines.push('Level ' + (i + 1) + ': ' + file.name + '.');
            if (made.warning) lines.push('  Warning: ' + made.warning.trimEnd());
          });
        }, function (e) {
          lines.push('Level ' + (i + 1) + ' stays as it was: ' + (e.plain ? e.message : file.name + ' cannot be made a level (' + e + ')') + '.');
        });
      });
    });
    return done.then(function () {
      changed();
      lines.push('The levels are played from the next game on.');
      say(lines);
      return showSlots();
    });
  }

  function putBack() {
    return withStore('readwrite', function (s) { return s.clear(); }).then(function () {
      changed();
      say(['The shipped pictures are back, from the next game on.']);
      return showSlots();
    });
  }

  function open() {
    panel.hidden = false;
    loadConverter().catch(function (e) { say([e.message]); });
    return showSlots();
  }

  function setUp(onChange) {
    changed = onChange;
    panel = document.getElementById('pictures');
    slots = document.getElementById('slots');
    news = document.getElementById('picture-news');
    var input = document.getElementById('picture-files');
    input.addEventListener('change', function () {
      take(input.files).then(function () { input.value = ''; });
    });
    panel.addEventListener('dragover', function (e) { e.preventDefault(); });
    panel.addEventListener('drop', function (e) {
      e.preventDefault();
      take(e.dataTransfer.files);
    });
    document.getElementById('shipped').addEventListener('click', putBack);
    document.getElementById('pictures-done').addEventListener('click', function () {
      panel.hidden = true;
    });
  }

  return { kept: kept, install: install, fetchShipped: fetchShipped, late: late, allShipped: allShipped, open: open,
           setUp: setUp };
})();
