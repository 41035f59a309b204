// SPDX-License-Identifier: MIT
// The page around the game: the start screen (a browser lets a page sound only after the
// player did something on it), the game, the end screen with "play again", the full-screen
// button, the keys' help with buttons for the keys a touch screen lacks, and the service
// worker that keeps the page for play without the network. The game itself is brin.js,
// made by Emscripten.
(function () {
  'use strict';
  var canvas = document.getElementById('screen');
  var stage = document.getElementById('stage');
  var start = document.getElementById('start');
  var end = document.getElementById('end');
  var help = document.getElementById('help');
  var helpButton = document.getElementById('help-button');
  var audio = null;  // see makeAudio
  var next = null;  // the next game, loading or loaded
  var levels = null;  // the player's own levels for it, read meanwhile
  var playing = false;
  var worker = null;  // the service worker's registration

  function load() {
    next = createBrin({ canvas: canvas, noInitialRun: true, onEnd: ended, instantiateWasm: instantiate,
      printErr: brinRecordings.said, onExit: brinRecordings.exited });
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

  // Making an audio context holds the page up for 10-20 ms, and far longer on a first visit:
  // it is made once the code and data are on their way, before the game or the start screen
  // needs it.
  function makeAudio() {
    if (!audio && window.AudioContext) audio = new AudioContext();
  }

  function play() {
    if (playing) return;
    playing = true;
    makeAudio();
    if (audio) audio.resume();
    start.hidden = true;
    end.hidden = true;
    brinRecordings.starting();
    Promise.all([next, levels]).then(function (both) {
      brinPictures.install(both[0].FS, both[1]);
      both[0]['audio'] = audio;
      both[0].callMain([]);
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

  function autoplayAllowed() {
    return !!navigator.getAutoplayPolicy && navigator.getAutoplayPolicy('audiocontext') === 'allowed';
  }

  // A new build's worker waits until no game runs, then takes over with a reload.
  function takeNewBuild() {
    if (!worker || !worker.waiting || playing) return false;
    worker.waiting.postMessage('update');
    return true;
  }

  function keepForOffline() {
    if (!('serviceWorker' in navigator)) return;
    var controlled = !!navigator.serviceWorker.controller;
    navigator.serviceWorker.addEventListener('controllerchange', function () {
      if (controlled) location.reload();
    });
    navigator.serviceWorker.register('sw.js').then(function (registration) {
      worker = registration;
      takeNewBuild();
      registration.addEventListener('updatefound', function () {
        registration.installing.addEventListener('statechange', takeNewBuild);
      });
    }).catch(function (e) {
      console.warn('brin: no play without the network: ' + e);
    });
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
  setTimeout(makeAudio);
  next.then(keepForOffline);  // its copying waits until the game has what it needs
  next.then(function () {
    // Where the browser lets the page sound at once, the game need not wait for a gesture.
    // Firefox says so itself: its audio may not run yet, or ever where there is no device.
    // Chromium only starts the audio, maybe after the game has loaded: the start screen
    // then gives way as soon as it does.
    makeAudio();
    if (audio && (audio.state === 'running' || autoplayAllowed())) return play();
    document.getElementById('start-text').textContent =
      document.body.classList.contains('touch') ? 'tap to play' : 'click or press a key to play';
    if (audio) audio.addEventListener('statechange', function () {
      if (audio.state === 'running' && waiting()) play();
    });
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
