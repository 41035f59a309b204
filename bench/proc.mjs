// SPDX-License-Identifier: MIT
// The processes of a tree, read from /proc: a browser and all it started.
import { readFileSync, readdirSync } from 'node:fs';

// By process id, for `root` and its descendants: the fields of /proc/PID/stat after the
// command's name (fields[11] and [12] are its CPU ticks, [21] its resident pages) and its
// command line.
export function processTree(root) {
  const parent = new Map(), found = new Map();
  for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      parent.set(pid, fields[1]);
      found.set(pid, { fields, cmd: readFileSync(`/proc/${pid}/cmdline`, 'utf8') });
    } catch {
      // gone meanwhile
    }
  }
  const inTree = (pid) => {
    for (let p = pid; p && p !== '0'; p = parent.get(p)) if (p === String(root)) return true;
    return false;
  };
  return new Map([...found].filter(([pid]) => inTree(pid)));
}
