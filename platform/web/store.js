// SPDX-License-Identifier: MIT
// The files the game keeps (max.pun), in the browser's IndexedDB, written at each save and
// put back into the game's folder before it starts. The layout is the one the page has
// always kept them in (a database named /saved, files under /saved/NAME), so that a table
// kept by an earlier edition is read back. Pages of one address save one at a time, through
// the browser's locks where it has them. Built into brin.js after devices.js.
var brinStore = (function () {
  'use strict';
  var kDatabase = '/saved';
  var kVersion = 21;
  var kFiles = 'FILE_DATA';
  var kRegularFile = 33206;  // the mode a file is kept with: regular, 0666
  var kLockMs = 5000;        // a page that holds the lock longer fails the save
  var release = function () {};

  function openDatabase() {
    var request = indexedDB.open(kDatabase, kVersion);
    request.onupgradeneeded = function () {
      var db = request.result;
      var files = db.objectStoreNames.contains(kFiles) ? request.transaction.objectStore(kFiles)
                                                       : db.createObjectStore(kFiles);
      if (!files.indexNames.contains('timestamp')) files.createIndex('timestamp', 'timestamp', { unique: false });
    };
    return brinCommon.request(request);
  }

  function keyOf(name) {
    return kDatabase + '/' + name.replace(/^.*\//, '');
  }

  function read(name) {
    return openDatabase().then(function (db) {
      var get = db.transaction(kFiles).objectStore(kFiles).get(keyOf(name));
      return brinCommon.request(get).finally(function () { db.close(); });
    }).then(function (entry) {
      return entry && entry.contents ? entry.contents : null;
    });
  }

  function write(name, bytes) {
    return openDatabase().then(function (db) {
      var transaction = db.transaction(kFiles, 'readwrite');
      transaction.objectStore(kFiles).put({ timestamp: new Date(), mode: kRegularFile, contents: bytes }, keyOf(name));
      return brinCommon.finished(transaction);
    });
  }

  // Resolves to the function that lets the lock go.
  function lock(name) {
    if (!navigator.locks) return Promise.resolve(function () {});
    var options = typeof AbortSignal.timeout === 'function' ? { signal: AbortSignal.timeout(kLockMs) } : {};
    return new Promise(function (granted, refused) {
      navigator.locks.request('brin ' + keyOf(name), options, function () {
        return new Promise(function (done) { granted(done); });
      }).catch(refused);
    });
  }

  function failed(e) {
    err('brin: the high scores cannot be kept in this browser: ' + e);
  }

  // Read while the code and data load, not after; a failure is told once the game starts.
  var reading = read('max.pun');
  reading.catch(function () {});
  Module['preRun'] = [].concat(Module['preRun'] || [], function () {
    var kept = null;
    addRunDependency('brin-kept');
    reading.then(function (bytes) { kept = bytes; }, failed).finally(function () {
      removeRunDependency('brin-kept');
    });
    // Once the data are in place, the table kept in the browser replaces the shipped one.
    addOnPreMain(function () {
      if (kept) FS.writeFile(brinCommon.folder + '/max.pun', kept);
    });
  });

  return {
    begin: function (name, into, room) {
      return lock(name).then(function (done) {
        release = done;
        return read(name);
      }).then(function (bytes) {
        if (!bytes) return -1;
        var some = bytes.subarray(0, room);
        HEAPU8.set(some, into);
        return some.length;
      }).catch(function (e) {
        failed(e);
        release();
        return -2;
      });
    },

    finish: function (name, bytes) {
      var done = release;
      release = function () {};
      if (!bytes) {
        done();
        return Promise.resolve(false);
      }
      return write(name, bytes).then(function () {
        FS.writeFile(name, bytes);  // the game's folder holds what is kept
        return true;
      }, function (e) {
        failed(e);
        return false;
      }).finally(done);
    },
  };
})();
