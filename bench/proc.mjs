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

// Resident memory, in MB, of `root` and those of its descendants whose command line `which`
// matches (all of them by default).
export function treeRss(root, which = /./) {
  let total = 0;
  for (const { fields, cmd } of processTree(root).values()) if (which.test(cmd)) total += (Number(fields[21]) * 4096) / 1e6;
  return total;
}

// Runs `action`, sampling treeRss every 20 ms meanwhile: resolves to its result, its time
// and the memory before and at its peak.
export async function peakDuring(root, which, action) {
  const before = treeRss(root, which);
  let peak = before;
  const sampler = setInterval(() => (peak = Math.max(peak, treeRss(root, which))), 20);
  const t0 = performance.now();
  try {
    const result = await action();
    return { result, ms: performance.now() - t0, before, peak };
  } finally {
    clearInterval(sampler);
  }
}
