// SPDX-License-Identifier: MIT
// What the game's side of the page (devices.js, store.js) and the page's own scripts share:
// the game's folder, and IndexedDB's requests and transactions as promises. First in brin.js.
var brinCommon = (function () {
  'use strict';

  // Resolves to the request's result.
  function request(r) {
    return new Promise(function (resolve, reject) {
      r.onsuccess = function () { resolve(r.result); };
      r.onerror = function () { reject(r.error); };
    });
  }

  // Resolves once the transaction is done, and closes its database either way.
  function finished(t) {
    return new Promise(function (resolve, reject) {
      t.oncomplete = function () { resolve(); };
      t.onerror = t.onabort = function () { reject(t.error); };
    }).finally(function () { t.db.close(); });
  }

  return {
    folder: '/brin',  // the game's folder: its data, and max.pun while it runs
    request: request,
    finished: finished,
  };
})();
