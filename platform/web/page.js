// SPDX-License-Identifier: MIT
// The page around the game: the start screen (a browser lets a page sound only after the
// player did something on it), the game, the end screen with "play again", the full-screen
// button, the keys' help with buttons for the keys a touch screen lacks, and the service
// worker that keeps the page for play without the network. The game itself is
// Emscripten's part of brin.js, ahead of this.
(function () {
  'use strict';
  var canvas = document.getElementById('screen');
  var stage = document.getElementById('stage');
  var start = document.getElementById('start');
  var end = document.getElementById('end');
  var help = document.getElementById('help');
  var helpButton = document.getElementById('help-button');
  var waitingNews = document.getElementById('waiting');
  var audio = null;  // see makeAudio
  var next = null;  // the next game, loading or loaded
  var levels = null;  // the player's own levels for it, read meanwhile
  var playing = false;
  var worker = null;  // the service worker's registration

  function load() {
    next = createBrin({ canvas: canvas, noInitialRun: true, onEnd: ended, onFirstFrame: afterFirstFrame,
      instantiateWasm: instantiate, printErr: brinRecordings.said, onExit: brinRecordings.exited });
    levels = brinPictures.kept();
    next.catch(unloadable);
  }

  function unloadable(e) {
    start.hidden = false;
    document.getElementById('start-text').textContent = 'brin could not be loaded: ' + e;
  }

  // The code compiled while the page loaded (index.html), or, from a server that does not
  // serve it as application/wasm, compiled here; kept for the next game.
  var code = null;
  function instantiate(imports, receive) {
    if (!code) {
      code = (brinCode || Promise.reject()).catch(function () {
        return fetch('brin.wasm', { credentials: 'same-origin' }).then(function (r) {
          if (!r.ok) throw new Error('brin.wasm: ' + r.status + ' ' + r.statusText);
          return r.arrayBuffer();
        }).then(WebAssembly.compile);
      });
    }
    code.then(function (module) {
      return WebAssembly.instantiate(module, imports).then(function (instance) { receive(instance, module); });
    }).catch(function (e) {
      code = null;
      unloadable(e);
    });
    return {};  // the exports come to receive
  }

  // The page's one audio context, made when a game first needs it: at the gesture that
  // starts one, which lets it sound, or else at the game's first tone. Making one holds the
  // page up for 5-20 ms, and a browser's first for far longer, so never before a first frame.
  function makeAudio() {
    if (!audio && window.AudioContext) audio = new AudioContext();
    return audio;
  }

  // Whether the browser lets the page sound without a gesture. Firefox says so; elsewhere a
  // silent sound is started, which the same rule lets play or not, since an audio context
  // would cost what makeAudio says. Resolves to true or false, maybe after the code loaded.
  var kSilence = 'data:audio/wav;base64,UklGRiYAAABXQVZFZm10IBAAAAABAAEAQB8AAIA+AAACABAAZGF0YQIAAAAAAA==';
  function soundAllowed() {
    if (navigator.getAutoplayPolicy) return Promise.resolve(navigator.getAutoplayPolicy('audiocontext') === 'allowed');
    var probe = new Audio(kSilence);
    return probe.play().then(function () { return true; }, function () { return false; });
  }

  function tellWaiting(text) {
    waitingNews.textContent = text;
    waitingNews.hidden = !text;
  }

  // A level's picture the page is still fetching: the game waits for it, and the player is
  // told why.
  function lateData(fs, name) {
    var late = brinPictures.late(fs, name, tellWaiting);
    if (!late) return null;
    tellWaiting('fetching the next level\'s picture…');
    return late.then(function () { tellWaiting(''); });
  }

  // A replay checks every picture before it starts.
  function replayPictures() {
    if (!brinRecordings.unpacked()) return null;
    tellWaiting('fetching the levels\' pictures…');
    return brinPictures.allShipped().then(function () { tellWaiting(''); });
  }

  // A game the player asked for (`byItself` not true): within their gesture the audio may
  // start. Otherwise the game makes it at its first tone.
  function play(byItself) {
    if (playing) return;
    playing = true;
    if (byItself !== true) {
      makeAudio();
      if (audio) audio.resume();
    }
    start.hidden = true;
    end.hidden = true;
    brinRecordings.starting();
    Promise.all([next, levels, replayPictures()]).then(function (all) {
      var module = all[0];
      brinPictures.install(module.FS, all[1]);
      module['audio'] = makeAudio;
      module['lateData'] = function (name) { return lateData(module.FS, name); };
      module.callMain([]);
    });
  }

  function ended() {
    playing = false;
    showHelpPage(false);
    end.hidden = false;
    document.getElementById('again').focus();
    if (!takeNewBuild()) load();  // else the page reloads with the new build's code and data
  }

  // Buttons give the keyboard back once clicked: Space and Enter are the game's.
  function button(id, action) {
    var b = document.getElementById(id);
    b.addEventListener('click', function () {
      action();
      b.blur();
    });
  }

  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen();
      return;
    }
    stage.requestFullscreen().then(function () {
      // A short Escape then goes to the game; a long one leaves full screen.
      if (navigator.keyboard && navigator.keyboard.lock) navigator.keyboard.lock(['Escape']).catch(function () {});
    });
  }

  // The start screen is up, and not behind "your pictures".
  function waiting() {
    return !playing && !start.hidden && document.getElementById('pictures').hidden;
  }

  // The keypress that starts a game is not the game's.
  function startKey(e) {
    if (!waiting() || e.ctrlKey || e.altKey || e.metaKey) return;
    e.preventDefault();
    play();
  }

  // A new build's worker waits until no game runs, then takes over with a reload.
  function takeNewBuild() {
    if (!worker || !worker.waiting || playing) return false;
    worker.waiting.postMessage('update');
    return true;
  }

  // Resolves once the service worker serves the page, so that it keeps what the page fetches
  // next; at once where there is none, and after a while if it does not come.
  var kWorkerWaitMs = 5000;
  function keepForOffline() {
    if (!('serviceWorker' in navigator)) return Promise.resolve();
    var controlled = !!navigator.serviceWorker.controller;
    navigator.serviceWorker.addEventListener('controllerchange', function () {
      if (controlled) location.reload();  // a new build: its code, with the pictures it keeps
      controlled = true;
    });
    return new Promise(function (served) {
      if (controlled) served();
      navigator.serviceWorker.addEventListener('controllerchange', served);
      setTimeout(served, kWorkerWaitMs);
      navigator.serviceWorker.register('sw.js').then(function (registration) {
        worker = registration;
        takeNewBuild();
        registration.addEventListener('updatefound', function () {
          registration.installing.addEventListener('statechange', takeNewBuild);
        });
      }).catch(function (e) {
        console.warn('brin: no play without the network: ' + e);
        served();
      });
    });
  }

  // What waits for the game's first frame: the service worker, then the levels' pictures
  // through it, so that it keeps them as they come.
  var firstFrame = false;
  function afterFirstFrame() {
    if (firstFrame) return;
    firstFrame = true;
    keepForOffline().then(brinPictures.fetchShipped);
  }

  // The keys a touch screen lacks, sent as the keyboard would.
  function sendKey(code) {
    ['keydown', 'keyup'].forEach(function (type) {
      window.dispatchEvent(new KeyboardEvent(type, { code: code, bubbles: true, cancelable: true }));
    });
  }

  // The help page waits for a key with a character, which a touch screen lacks too: the
  // button closes the page it opened. A key from the keyboard may have closed it already.
  var helpShown = false;
  var helpPage = document.getElementById('enter-key');
  function showHelpPage(shown) {
    helpShown = shown;
    helpPage.textContent = shown ? 'back to the game' : 'help page';
  }
  window.addEventListener('keydown', function (e) {
    if (e.isTrusted && helpShown) showHelpPage(false);
  });

  // Browsers forbid what a page loaded from the disk needs (fetching its code and data).
  if (location.protocol === 'file:') {
    document.getElementById('start-text').innerHTML =
      'brin must be served over HTTP, not opened from the disk.<br>In its folder run ' +
      '<code>python3 -m http.server 8256</code><br>and open <code>http://127.0.0.1:8256/</code>';
    return;
  }
  var coarse = window.matchMedia('(pointer: coarse)');
  if (coarse.matches) document.body.classList.add('touch');
  window.addEventListener('pointerdown', function (e) {
    if (e.pointerType === 'touch') document.body.classList.add('touch');
  });
  load();
  // Where the browser lets the page sound at once, the game need not wait for a gesture. The
  // answer may come after the game has loaded: the start screen then gives way to it.
  var allowed = false, loaded = false;
  soundAllowed().then(function (yes) {
    allowed = yes;
    if (allowed && loaded && waiting()) play(true);
  });
  next.then(brinHall.linked).then(function (go) {
    loaded = go;  // a link whose game can't be watched waits for the player
    if (allowed && loaded) return play(true);
    document.getElementById('start-text').textContent =
      document.body.classList.contains('touch') ? 'tap to play' : 'click or press a key to play';
  });
  start.addEventListener('click', play);
  window.addEventListener('keydown', startKey);
  button('again', play);
  button('full', toggleFullScreen);
  button('pictures-button', brinPictures.open);
  document.getElementById('start-pictures').addEventListener('click', function (e) {
    e.stopPropagation();  // not a click to play
    brinPictures.open();
  });
  brinPictures.setUp(function () {
    if (!playing) levels = brinPictures.kept();  // a game running took its levels already
  });
  brinRecordings.setUp(play, function () { return !playing; }, ended);
  button('enter-key', function () {
    sendKey(helpShown ? 'KeyX' : 'Enter');
    showHelpPage(!helpShown);
  });
  button('escape-key', function () { sendKey('Escape'); });
  button('help-button', function () {
    help.hidden = !help.hidden;
    helpButton.setAttribute('aria-expanded', String(!help.hidden));
  });
})();
