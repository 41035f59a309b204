// SPDX-License-Identifier: MIT
// Recordings in the page: each game is recorded by the game itself (record.cpp), which hands
// over its contents at the end; the page packs them with the browser's deflate stream and
// offers them as "save this game". A recording picked or dropped onto the page is read and
// unpacked here, as far as its declared length allows, and the next game replays it. The files are as
// docs/recording.md says: a 14-byte prefix, then one zlib stream.
var brinRecordings = (function () {
  'use strict';
  var kMagic = [0x42, 0x52, 0x49, 0x4e, 0x52, 0x45, 0x43, 0x1a];  // BRINREC and Ctrl+Z
  var kPrefix = 14;  // the magic, the format, the unpacked length
  var kMaxContents = 128 * 1024 * 1024;  // the game's cap on the unpacked length
  var kChunk = 4096;  // how finely the place of damage in a packed file is found

  var page = null;  // the page's play(), idle() and ended(), once set up
  var pending = null;  // the recording the next game replays, unpacked
  var replaying = null;  // its name, while that game runs
  var lastSaid = '';  // the game's last line on its error output
  var saveLink = document.getElementById('save-game');
  var news = document.getElementById('replay-news');

  function say(text) {
    news.textContent = text;
    news.hidden = !text;
  }

  function pack(contents) {
    return new Response(new Blob([contents]).stream().pipeThrough(new CompressionStream('deflate'))).arrayBuffer();
  }

  // The most a packed stream of `contents` bytes takes as a game writes them: zlib's framing,
  // stored blocks' headers, and the flushes of a short recording.
  function packedRoom(contents) {
    return kPrefix + contents + Math.ceil(contents / 64) + 65536;
  }

  function isRecording(prefix) {
    return prefix.length === kPrefix && kMagic.every(function (b, i) { return prefix[i] === b; });
  }

  // A stream whose parts are ready at once never lets the page's other tasks run: it is
  // given a turn every few milliseconds.
  var kTurnMs = 8;
  var turnAt = 0;
  function turn() {
    if (performance.now() - turnAt < kTurnMs) return null;
    return new Promise(function (resolve) { setTimeout(resolve); }).then(function () { turnAt = performance.now(); });
  }

  // Unpacks r.file into r.body, never past `declared` bytes, in a stream: where its packed
  // part is damaged (r.damagedAt; the end of the packed bytes fed last), or whether it
  // was cut short.
  async function unpack(r, declared) {
    var body = new Uint8Array(declared);  // its pages cost nothing until written
    var got = 0, tooLong = false;
    var stream = new DecompressionStream('deflate');
    var writer = stream.writable.getWriter();
    var reader = stream.readable.getReader();
    var reading = (async function () {
      for (var part; !(part = await reader.read()).done;) {
        if (part.value.length > declared - got) {
          tooLong = true;
          reader.cancel().catch(function () {});  // fails the writes waiting
          return;
        }
        body.set(part.value, got);
        got += part.value.length;
        await turn();
      }
    })();
    reading.catch(function () {});  // the writes and the close see the stream's failure
    var file = r.file, fed = kPrefix;
    try {
      for (; fed < file.length; fed = Math.min(fed + kChunk, file.length)) {
        await writer.write(file.subarray(fed, Math.min(fed + kChunk, file.length)));
        await turn();
      }
      await writer.close();
      await reading;
      if (tooLong || got < declared) r.damagedAt = file.length;
    } catch (e) {
      if (fed >= file.length && !tooLong && got < declared) r.cutShort = true;  // stopped short of its end
      else r.damagedAt = fed >= file.length ? file.length : Math.min(fed + kChunk, file.length);
      writer.abort().catch(function () {});
    }
    r.body = body.subarray(0, got);
  }

  // What a game can replay of the file: its bytes, never more than its declared length
  // allows, and its contents as far as they unpack. A file longer than any recording is
  // refused unread; one that is no recording, or declares more than any, is read no further
  // than its prefix, from which the game refuses it.
  async function read(file) {
    if (file.size > packedRoom(kMaxContents))
      throw new Error('is too large to be a brin recording (' + megabytes(file.size) + '; a recording takes at most ' + megabytes(packedRoom(kMaxContents)) + ')');
    var r = { name: file.name, file: new Uint8Array(await file.slice(0, kPrefix).arrayBuffer()), body: new Uint8Array(0),
              damagedAt: -1, cutShort: false };
    if (!isRecording(r.file)) return r;
    var declared = r.file[10] + r.file[11] * 0x100 + r.file[12] * 0x10000 + r.file[13] * 0x1000000;
    if (declared > kMaxContents) return r;
    var room = packedRoom(declared);
    r.file = new Uint8Array(await file.slice(0, Math.min(file.size, room)).arrayBuffer());
    await unpack(r, declared);
    if (file.size > room && r.damagedAt < 0) {  // more follows than its stream can take
      r.damagedAt = room;
      r.cutShort = false;
    }
    return r;
  }

  function megabytes(bytes) {
    return (bytes / 1e6).toFixed(0) + ' MB';
  }

  function replay(file) {
    if (!file || !page) return;
    if (!page.idle()) {
      say('end the game first, then give the recording again');
      return;
    }
    say('reading ' + file.name + '…');
    read(file).then(function (r) {
      pending = r;
      replaying = file.name;
      lastSaid = '';
      say('');
      page.play();
    }).catch(function (e) {
      say(file.name + ': ' + (e.name === 'Error' ? e.message : "can't be read (" + e + ')'));
    });
  }

  function fileName() {
    var d = new Date();
    var two = function (n) { return String(n).padStart(2, '0'); };
    return 'brin-' + d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate()) + '-' +
      two(d.getHours()) + two(d.getMinutes()) + two(d.getSeconds()) + '.brinrec';
  }

  return {
    // The page's play(), whether no game runs now, and its end of a game.
    setUp: function (play, idle, ended) {
      page = { play: play, idle: idle, ended: ended };
      var picker = document.getElementById('recording-file');
      var watch = document.getElementById('watch-button');
      watch.addEventListener('click', function () {
        picker.click();
        watch.blur();  // Space and Enter are the game's
      });
      picker.addEventListener('change', function () {
        replay(picker.files[0]);
        picker.value = '';
      });
      var stage = document.getElementById('stage');
      stage.addEventListener('dragover', function (e) { e.preventDefault(); });
      stage.addEventListener('drop', function (e) {
        e.preventDefault();
        replay(e.dataTransfer.files[0]);
      });
    },

    // A game starts: the last one's file is no longer offered.
    starting: function () {
      if (saveLink.href) URL.revokeObjectURL(saveLink.href);
      saveLink.removeAttribute('href');
      saveLink.hidden = true;
      if (!pending) say('');
    },

    // ---- for the game (record.cpp, packing.cpp) ----

    unpacked: function () { return pending; },

    // The game ended recorded: the prefix and the contents, to pack, and why the recording
    // stopped before the game did, if it did ("the recording stopped at 4:59: it was too
    // long"), said beside "save this game".
    recorded: function (file, stopped) {
      say(stopped || '');
      pack(file.subarray(kPrefix)).then(function (packed) {
        var blob = new Blob([file.subarray(0, kPrefix), packed], { type: 'application/octet-stream' });
        saveLink.href = URL.createObjectURL(blob);
        saveLink.download = fileName();
        saveLink.hidden = false;
      }).catch(function (e) {
        console.warn('brin: the game could not be packed: ' + e);
      });
    },

    refused: function (why) {
      say(replaying + ': ' + why);
      pending = null;
      page.ended();
    },

    // The game's error output, where a replay says where it differs.
    said: function (line) {
      lastSaid = line;
      console.warn(line);
    },

    exited: function (status) {
      if (!replaying) return;
      if (pending) say(status === 0 ? replaying + ': the replay ended, every frame as recorded' : lastSaid);
      pending = null;
      replaying = null;
    },
  };
})();
