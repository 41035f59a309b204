// SPDX-License-Identifier: MIT
// Games shared: a recording carried in the page's link (#r= and the file in base64url) is
// replayed on any host, as is a hall's game (#g= and its id) where a hall serves the page.
// At the end of a game the end screen offers "copy a link" beside "save this game", and
// "send to the hall" where the page is served by a hall (brin-hall), with what it answered.
var brinHall = (function () {
  'use strict';
  var kMaxLinked = 48 * 1024;  // a link of some 64,000 characters: within every browser's
  var saveLink = document.getElementById('save-game');
  var offered = null;  // the last game's recording, as the end screen offers it
  var hallHere = null;  // whether a hall serves this page, once asked

  function element(tag, id, text) {
    var e = document.createElement(tag);
    e.id = id;
    if (text) e.textContent = text;
    e.hidden = true;
    return e;
  }
  var copyButton = element('button', 'copy-link', 'copy a link');
  var sendButton = element('button', 'send-hall', 'send to the hall');
  var linkField = element('input', 'game-link');
  linkField.readOnly = true;
  linkField.style.width = '90%';
  var news = element('p', 'hall-news');
  var linkNews = element('p', 'link-news');  // on the start screen
  [news, linkNews].forEach(function (p) {
    p.setAttribute('role', 'status');
    p.style.cssText = 'font-size: 0.6em; color: #ddd; max-width: 90%; margin: 0';
  });
  saveLink.after(copyButton, sendButton, linkField, news);
  document.getElementById('start-text').after(linkNews);

  function say(text) {
    news.textContent = text;
    news.hidden = !text;
  }

  // A link whose game can't be watched: the start screen says why, and waits for the player.
  function refuseLink(text) {
    linkNews.textContent = text;
    linkNews.hidden = false;
    return false;
  }

  function toBase64url(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }

  function fromBase64url(text) {
    var binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // A file as the page's "watch a recording" takes one.
  function asFile(name, bytes) {
    return new File([bytes], name);
  }

  function kilobytes(n) { return Math.ceil(n / 1024) + ' KB'; }

  // The recording the link carries, or names, replayed as the first game: true once it has
  // begun, or when there is none; false when it can't be.
  function watchLinked() {
    var hash = location.hash;
    var watched = function () { return true; };
    if (hash.startsWith('#r=')) {
      var bytes;
      try {
        bytes = fromBase64url(hash.slice(3));
      } catch (e) {
        return Promise.resolve(refuseLink('the link carries no recording: it is cut or changed'));
      }
      if (bytes.length > kMaxLinked) {
        return Promise.resolve(refuseLink('the link carries ' + kilobytes(bytes.length) + ', more than a link may (' +
          kilobytes(kMaxLinked) + ')'));
      }
      return brinRecordings.watch(asFile('the linked game', bytes)).then(watched);
    }
    var game = /^#g=([0-9a-f]{64})$/.exec(hash);
    if (!game) return Promise.resolve(true);
    return fetch('api/games/' + game[1] + '.brinrec').then(function (answer) {
      if (!answer.ok) throw new Error(answer.status === 404 ? 'the hall has no such game' : 'the hall answered ' + answer.status);
      return answer.arrayBuffer();
    }).then(function (file) {
      return brinRecordings.watch(asFile("the hall's game", new Uint8Array(file))).then(watched);
    }).catch(function (e) {
      return refuseLink("the hall's game can't be watched: " + e.message);
    });
  }

  function askHall() {
    if (!hallHere) {
      hallHere = fetch('api/games').then(function (answer) {
        return answer.ok && (answer.headers.get('Content-Type') || '').startsWith('application/json');
      }).catch(function () { return false; });
    }
    return hallHere;
  }

  // A new recording on the end screen, or none while a game runs.
  function offer() {
    say('');
    linkField.hidden = true;
    offered = saveLink.hidden ? null : fetch(saveLink.href).then(function (r) { return r.arrayBuffer(); });
    // A game that starts at once takes the file back (recordings.js), and the read fails.
    if (offered) offered.catch(function () {});
    copyButton.hidden = !offered;
    sendButton.hidden = true;
    if (offered) askHall().then(function (here) { sendButton.hidden = !here || !offered; });
  }

  function copyLink() {
    offered.then(function (file) {
      var bytes = new Uint8Array(file);
      if (bytes.length > kMaxLinked) {
        say('this game is ' + kilobytes(bytes.length) + ': a link carries at most ' + kilobytes(kMaxLinked) +
          '; save it as a file instead');
        return;
      }
      var link = location.origin + location.pathname + '#r=' + toBase64url(bytes);
      linkField.value = link;
      linkField.hidden = false;
      linkField.select();
      return navigator.clipboard.writeText(link).then(function () {
        say('the link is copied: whoever opens it watches this game');
      }, function () {
        say('copy the link above: whoever opens it watches this game');
      });
    }).catch(function () {
      say('this game is no longer here to copy');
    });
  }

  function answered(status, body) {
    if (body && body.accepted) {
      return (body.new ? 'the hall took this game: ' : 'the hall has this game already: ') + 'place ' + body.place +
        ' with ' + body.score + ' points for ' + body.name;
    }
    var why = body && body.refused ? body.refused : 'it answered ' + status;
    if (status === 429 || status === 503) return 'the hall is busy: ' + why;
    return 'the hall refused this game: ' + why;
  }

  function send() {
    sendButton.disabled = true;
    say('sending the game to the hall…');
    offered.then(function (file) {
      return fetch('api/games', { method: 'POST', body: file });
    }).then(function (answer) {
      return answer.json().catch(function () { return null; }).then(function (body) {
        say(answered(answer.status, body));
      });
    }).catch(function (e) {
      say("the hall can't be reached: " + e.message);
    }).finally(function () {
      sendButton.disabled = false;
    });
  }

  function button(b, action) {
    b.addEventListener('click', function () {
      action();
      b.blur();  // Space and Enter are the game's
    });
  }
  button(copyButton, copyLink);
  button(sendButton, send);
  new MutationObserver(offer).observe(saveLink, { attributes: true, attributeFilter: ['hidden', 'href'] });
  var linked = null;

  return {
    // Once the game is loaded: replays the recording the link carries or names; resolves to
    // whether the page may go on to play (true once that replay has begun, or without one).
    linked: function () {
      if (!linked) linked = watchLinked();
      return linked;
    },
  };
})();
