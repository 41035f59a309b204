// SPDX-License-Identifier: MIT
// Recordings in the page: each game is recorded by the game itself (record.cpp), which hands
// over its contents at the end; the page packs them with the browser's deflate stream and
// offers them as "save this game". A recording picked or dropped onto the page is read and
// unpacked here, within the bounds the game keeps, and the next game replays it. The files
// are as docs/recording.md says: a 14-byte prefix, then one zlib stream, from format 3 on in
// blocks that each carry their length and CRC-32 (the page packs a game as one block).
var brinRecordings = (function () {
  'use strict';
  var kMagic = [0x42, 0x52, 0x49, 0x4e, 0x52, 0x45, 0x43, 0x1a];  // BRINREC and Ctrl+Z
  var kPrefix = 14;  // the magic, the format and (before format 3) the unpacked length
  var kMaxBytes = 16 * 1024 * 1024;  // the most a file, or its contents unpacked, may hold (recording.h)
  var kChunk = 4096;  // how finely the place of damage in a packed file is found

  var page = null;  // the page's play(), idle() and ended(), once set up
  var pending = null;  // the recording the next game replays, unpacked
  var replaying = null;  // its name, while that game runs
  var lastSaid = '';  // the game's last line on its error output
  var games = 0;  // games begun: one packed after the next began is no longer offered
  var saveLink = document.getElementById('save-game');
  var news = document.getElementById('replay-news');

  function say(text) {
    news.textContent = text;
    news.hidden = !text;
  }

  function pack(contents) {
    return new Response(new Blob([contents]).stream().pipeThrough(new CompressionStream('deflate'))).arrayBuffer();
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

  function le32(bytes, at) { return (bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) + bytes[at + 3] * 0x1000000; }

  // The packed bytes in the pieces they are fed in, each with the byte named where it fails.
  // Before format 3, chunks, named by their end; from format 3 on, the blocks, named by their
  // start: a block that fails its CRC-32 is damaged there, and none after it is fed.
  function piecesOf(file, r) {
    var pieces = [];
    if (file[8] < 3) {
      for (var at = kPrefix; at < file.length; at += kChunk) {
        pieces.push({ bytes: file.subarray(at, at + kChunk), at: Math.min(at + kChunk, file.length) });
      }
      return pieces;
    }
    for (var start = kPrefix; start + 8 <= file.length; start += 8 + le32(file, start)) {
      var end = start + 8 + le32(file, start), part = file.subarray(start + 8, end);
      if (end <= file.length && (CRC32.buf(part) >>> 0) !== le32(file, start + 4)) {  // a cut block is fed as it is
        r.damagedAt = start;
        break;
      }
      pieces.push({ bytes: part, at: start });
    }
    return pieces;
  }

  // Unpacks r.file into r.body, never past `most` bytes, in a stream: where its packed part
  // is damaged (r.damagedAt), or whether it was cut short. Before format 3 the contents
  // must be as long as the `most` they declare.
  async function unpack(r, most) {
    var pieces = piecesOf(r.file, r);
    if (r.damagedAt >= 0) return;
    var declared = r.file[8] < 3;
    var body = new Uint8Array(most);  // its pages cost nothing until written
    var got = 0, tooLong = false;
    var stream = new DecompressionStream('deflate');
    var writer = stream.writable.getWriter();
    var reader = stream.readable.getReader();
    var reading = (async function () {
      for (var part; !(part = await reader.read()).done;) {
        if (part.value.length > most - got) {
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
    var file = r.file, fed = 0;
    try {
      for (; fed < pieces.length; ++fed) {
        await writer.write(pieces[fed].bytes);
        await turn();
      }
      await writer.close();
      await reading;
      if (tooLong || (declared && got < most)) r.damagedAt = file.length;
    } catch (e) {
      if (fed >= pieces.length && !tooLong && got < most) r.cutShort = true;  // stopped short of its end
      else r.damagedAt = fed >= pieces.length ? file.length : pieces[fed].at;
      writer.abort().catch(function () {});
    }
    r.body = body.subarray(0, got);
  }

  // What a game can replay of the file: its bytes and its contents as far as they unpack,
  // within the game's bounds. A file longer than any recording is refused unread; one that
  // is no recording, or declares more contents than any holds, is read no further than its
  // prefix, from which the game refuses it.
  async function read(file) {
    if (file.size > kMaxBytes)
      throw new Error('is too large to be a brin recording (' + megabytes(file.size) + '; a recording takes at most ' + megabytes(kMaxBytes) + ')');
    var r = { name: file.name, file: new Uint8Array(await file.slice(0, kPrefix).arrayBuffer()), body: new Uint8Array(0),
              damagedAt: -1, cutShort: false };
    if (!isRecording(r.file)) return r;
    var most = r.file[8] < 3 ? le32(r.file, 10) : kMaxBytes;
    if (most > kMaxBytes) return r;
    r.file = new Uint8Array(await file.arrayBuffer());
    await unpack(r, most);
    return r;
  }

  function megabytes(bytes) {
    return (bytes / 1e6).toFixed(0) + ' MB';
  }

  function replay(file) {
    if (!file || !page) return Promise.resolve();
    if (!page.idle()) {
      say('end the game first, then give the recording again');
      return Promise.resolve();
    }
    say('reading ' + file.name + '…');
    return read(file).then(function (r) {
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

    // A recording to replay now, as one given to the page; settled once its game has begun.
    watch: replay,

    // A game starts: the last one's file is no longer offered.
    starting: function () {
      ++games;
      if (saveLink.href) URL.revokeObjectURL(saveLink.href);
      saveLink.removeAttribute('href');
      saveLink.hidden = true;
      if (!pending) say('');
    },

    // ---- for the game (record.cpp, packing.cpp) ----

    unpacked: function () { return pending; },

    // The game ended recorded: the prefix and the contents, to pack as one block, and why the
    // recording stopped before the game did, if it did ("the recording stopped at 4:59: it
    // was too long"), said beside "save this game".
    recorded: function (file, stopped) {
      say(stopped || '');
      var game = games;
      pack(file.subarray(kPrefix)).then(function (packed) {
        if (game !== games) return;
        var head = new DataView(new ArrayBuffer(8));
        head.setUint32(0, packed.byteLength, true);
        head.setUint32(4, CRC32.buf(new Uint8Array(packed)) >>> 0, true);
        var blob = new Blob([file.subarray(0, kPrefix), head, packed], { type: 'application/octet-stream' });
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
      if (pending) say(status === 0 ? replaying + ': the replay ended, every frame as recorded' : lastSaid.replace(/^brin: /, replaying + ': '));
      pending = null;
      replaying = null;
    },
  };
})();
