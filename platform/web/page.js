// SPDX-License-Identifier: MIT
// The page around the game: the start screen (a browser lets a page sound only after the
// player did something on it), the game, the end screen with "play again", the full-screen
// button and the keys' help. The game itself is brin.js, made by Emscripten.
(function () {
  'use strict';
  var canvas = document.getElementById('screen');
  var stage = document.getElementById('stage');
  var start = document.getElementById('start');
  var end = document.getElementById('end');
  var help = document.getElementById('help');
  var helpButton = document.getElementById('help-button');
  var audio = window.AudioContext ? new AudioContext() : null;
  var next = null;  // the next game, loading or loaded
  var playing = false;

  function load() {
    next = createBrin({ canvas: canvas, audio: audio, noInitialRun: true, onEnd: ended });
    next.catch(function (e) {
      start.hidden = false;
      document.getElementById('start-text').textContent = 'brin could not be loaded: ' + e;
    });
  }

  function play() {
    if (playing) return;
    playing = true;
    if (audio) audio.resume();
    start.hidden = true;
    end.hidden = true;
    next.then(function (brin) { brin.callMain([]); });
  }

  function ended() {
    playing = false;
    end.hidden = false;
    document.getElementById('again').focus();
    load();
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

  // The keypress that starts a game is not the game's.
  function startKey(e) {
    if (playing || start.hidden || e.ctrlKey || e.altKey || e.metaKey) return;
    e.preventDefault();
    play();
  }

  load();
  next.then(function () {
    // Where the browser lets the page sound at once, the game need not wait for a gesture.
    if (audio && audio.state === 'running') play();
    else document.getElementById('start-text').textContent = 'click or press a key to play';
  });
  start.addEventListener('click', play);
  window.addEventListener('keydown', startKey);
  button('again', play);
  button('full', toggleFullScreen);
  button('help-button', function () {
    help.hidden = !help.hidden;
    helpButton.setAttribute('aria-expanded', String(!help.hidden));
  });
})();
