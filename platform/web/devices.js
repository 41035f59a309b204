// SPDX-License-Identifier: MIT
// The machine's devices as the page gives them: the canvas, the keyboard and mouse and the
// speaker (store.js keeps max.pun). Built into brin.js ahead of the compiled game,
// whose hooks (web.cpp) call it. The event handlers only queue what they see: they run while
// the game is suspended, and the game takes the queues in at its polls.
//
// What the page passes to createBrin: canvas (640x480), onEnd (called when the game leaves
// the graphics mode) and onFirstFrame (called once the first frame is drawn); it sets on the module before the game starts audio (a function
// that gives the page's AudioContext, made at its first call, or null for silence) and lateData (given a data file's name, a promise that
// it is in the game's folder, or null when the game need not wait for it).
var brinDevices = (function () {
  'use strict';
  var kWidth = 640, kHeight = 480;

  var canvas = Module['canvas'];
  var context = null;
  var image = null;
  var drawn = false;
  var listening = [];
  var wake = null;  // ends the game's rest early
  var late = null;  // the data file the game waits for, as the page's promise of it

  function listen(target, type, handler) {
    target.addEventListener(type, handler);
    listening.push([target, type, handler]);
  }

  function wakeGame() {
    if (wake) wake();
  }

  // ---- keyboard ----

  var keyNumbers = new Map();
  var keys = [];
  var held = new Set();

  function queueKey(byte) {
    keys.push(byte);
    wakeGame();
  }

  function keyDown(e) {
    var n = keyNumbers.get(e.code);
    if (!n) return;
    e.preventDefault();  // the game's, not the browser's
    held.add(n);
    queueKey(n);  // a repeat is another press
  }

  function keyUp(e) {
    var n = keyNumbers.get(e.code);
    if (!n) return;
    e.preventDefault();
    if (held.delete(n)) queueKey(n | 0x80);
  }

  // Keys held when the page loses the keyboard would never see their release.
  function releaseHeld() {
    held.forEach(function (n) { queueKey(n | 0x80); });
    held.clear();
  }

  // ---- mouse ----

  var mice = [];  // [x, y, buttons, whether the buttons changed]
  var buttons = 0;

  // The browser's buttons (1 left, 2 right, 4 middle) as the mouse device's (4, 1, 2).
  function deviceButtons(b) {
    return (b & 1 ? 4 : 0) | (b & 2 ? 1 : 0) | (b & 4 ? 2 : 0);
  }

  // A page position as a picture position at whatever size the canvas is shown. Outside the
  // picture it lies beyond the edges, where the mouse ranges clamp it.
  function pointer(e) {
    var r = canvas.getBoundingClientRect();
    var now = deviceButtons(e.buttons);
    mice.push([Math.floor((e.clientX - r.left) * kWidth / r.width),
               Math.floor((e.clientY - r.top) * kHeight / r.height), now, now !== buttons ? 1 : 0]);
    buttons = now;
    wakeGame();
  }

  function pointerDown(e) {
    e.preventDefault();
    canvas.setPointerCapture(e.pointerId);  // the release comes here even off the canvas
    pointer(e);
  }

  // ---- speaker ----

  var kLeadS = 0.02;  // changes are heard this long after they are made, to keep their spacing
  var audio = null;  // made at the first tone
  var voice = null;
  var volume = 0, rampS = 0;
  var pitch = 0;
  var anchor = null;  // an audio time and the performance.now() it stands for

  // When a change made now is heard: at its own distance from the changes before it, as long
  // as the audio clock keeps pace; from the audio clock's present otherwise.
  function audioTime() {
    var now = performance.now();
    var t = anchor ? anchor[0] + (now - anchor[1]) / 1000 : 0;
    if (!anchor || t < audio.currentTime || t > audio.currentTime + 10 * kLeadS) {
      anchor = [audio.currentTime + kLeadS, now];
      t = anchor[0];
    }
    return t;
  }

  // A square wave, band-limited by the browser, behind a gain that ramps in and out. Made at
  // the first tone, not before the first frame.
  function startVoice() {
    var oscillator = audio.createOscillator();
    var gain = audio.createGain();
    oscillator.type = 'square';
    gain.gain.value = 0;
    oscillator.connect(gain).connect(audio.destination);
    oscillator.start();
    voice = { oscillator: oscillator, gain: gain.gain, on: false };
    sleepWhenSilent();
  }

  function stopVoice() {
    clearTimeout(sleepTimer);
    if (!voice) return;
    voice.oscillator.stop();
    voice.oscillator.disconnect();
    voice = null;
  }

  function rampTo(level, t) {
    var g = voice.gain;
    if (g.cancelAndHoldAtTime) {
      g.cancelAndHoldAtTime(t);
    } else {
      g.cancelScheduledValues(t);
      g.setValueAtTime(level > 0 ? 0 : volume, t);
    }
    g.linearRampToValueAtTime(level, t + rampS);
  }

  // A running audio context keeps the browser's audio threads busy even when silent, so it
  // sleeps a while after the last tone, and wakes for the next one.
  var kSleepAfterMs = 1000;
  var sleepTimer = 0;

  function sleepWhenSilent() {
    clearTimeout(sleepTimer);
    sleepTimer = setTimeout(function () {
      if (!voice || !voice.on) audio.suspend();
    }, kSleepAfterMs);
  }

  // The speaker sounds at `hz` from now on (0: silent). A new pitch takes over at once; a
  // tone from or into silence ramps.
  function sound(hz) {
    pitch = hz;
    var on = hz > 0;
    if (!voice) {
      if (!on || document.hidden || !Module['audio']) return;  // silence before the first tone
      audio = audio || Module['audio']();
      if (!audio) return;
      startVoice();
    }
    if (document.hidden) return;
    if (on && audio.state !== 'running') {
      audio.resume();
      anchor = null;
    }
    var t = audioTime();
    if (on) voice.oscillator.frequency.setValueAtTime(hz, t);
    if (on !== voice.on) rampTo(on ? volume : 0, t);
    voice.on = on;
    if (!on) sleepWhenSilent();
  }

  // A hidden page is silent: its tone stops, and sounds again when the page is seen.
  function visibility() {
    if (!document.hidden) {
      sound(pitch);
    } else if (voice && voice.on) {
      rampTo(0, audioTime());
      voice.on = false;
      sleepWhenSilent();
    }
  }

  // The game ends with exit(), thrown as an ExitStatus out of the rest (or any other wait)
  // that it woke from: the end of the program, not an error. Once the game sleeps, the end of
  // all its waits is caught here, before it can reach the page as an uncaught exception.
  var endWatched = false;
  function watchEnd() {
    if (endWatched) return;
    endWatched = true;
    Asyncify.whenDone().catch(function (e) {
      if (!(e instanceof ExitStatus)) throw e;
    });
  }

  Module['preRun'] = [].concat(Module['preRun'] || [], function () {
    FS.mkdirTree(brinCommon.folder);
    FS.chdir(brinCommon.folder);
  });

  return {
    open: function (soundVolume, rampMs) {
      if (!canvas) return false;
      context = canvas.getContext('2d');
      volume = soundVolume;
      rampS = rampMs / 1000;
      listen(window, 'keydown', keyDown);
      listen(window, 'keyup', keyUp);
      listen(window, 'blur', releaseHeld);
      listen(document, 'visibilitychange', visibility);
      listen(canvas, 'pointerdown', pointerDown);
      listen(canvas, 'pointerup', pointer);
      listen(window, 'pointermove', pointer);
      listen(canvas, 'contextmenu', function (e) { e.preventDefault(); });
      return true;
    },

    close: function () {
      listening.forEach(function (l) { l[0].removeEventListener(l[1], l[2]); });
      listening = [];
      stopVoice();
      if (Module['onEnd']) Module['onEnd']();
    },

    keyNumber: function (code, number) { keyNumbers.set(code, number); },

    takeKey: function () { return keys.length ? keys.shift() : -1; },

    takeMouse: function (event) {
      if (!mice.length) return false;
      HEAP32.set(mice.shift(), event >> 2);
      return true;
    },

    present: function (rgba, top, rows) {
      if (!image || image.data.buffer !== HEAPU8.buffer)  // memory grown: a new buffer
        image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, kWidth * kHeight * 4), kWidth);
      context.putImageData(image, 0, 0, 0, top, kWidth, rows);
      if (drawn) return;
      drawn = true;
      performance.mark('brin-first-frame');
      if (Module['onFirstFrame']) setTimeout(Module['onFirstFrame']);  // not in the frame's own task
    },

    sound: sound,

    // Whether the page is still fetching the data file `name` (the page's lateData says).
    dataLate: function (name) {
      late = Module['lateData'] ? Module['lateData'](name) : null;
      return !!late;
    },

    dataArrived: function () { return late; },

    // Until `ms` have passed or an input came.
    rest: function (ms) {
      return new Promise(function (resolve) {
        var timer = setTimeout(done, ms);
        function done() {
          clearTimeout(timer);
          wake = null;
          watchEnd();  // asleep by now
          resolve();
        }
        wake = done;
      });
    },
  };
})();
