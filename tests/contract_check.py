#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The back-end contract, checked at each build of the tests: every back-end (a folder of
# platform/ with sources: sim/, sdl/, web/) includes exactly the platform's headers that the
# table of HACKING.md's "The back-end contract" lists for it, besides its own. A header
# included but not listed, listed but not included, or a back-end without a row fails.
#
#   contract_check.py SOURCE_DIR
import os
import re
import sys

source = sys.argv[1]
platform = os.path.join(source, "platform")
shared = {n for n in os.listdir(platform) if n.endswith(".h")} | {"vga/" + n for n in os.listdir(os.path.join(platform, "vga"))}
back_ends = sorted(d for d in os.listdir(platform)
                   if os.path.isdir(os.path.join(platform, d))
                   and any(n.endswith(".cpp") for n in os.listdir(os.path.join(platform, d))))

with open(os.path.join(source, "HACKING.md"), encoding="utf-8") as f:
    section = f.read().split("### The back-end contract", 1)[-1].split("\n#", 1)[0]
listed = {folder: set(re.findall(r"`([\w/]+\.h)`", headers))
          for folder, headers in re.findall(r"^\| `platform/(\w+)/` \| ([^|]*) \|", section, re.M)}

faults = []
for back_end in back_ends:
    folder = os.path.join(platform, back_end)
    used = set()
    for name in os.listdir(folder):
        if name.endswith((".cpp", ".h")):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                used |= set(re.findall(r'^#include "([\w/]+\.h)"', f.read(), re.M)) & shared
    if back_end not in listed:
        faults.append(f"platform/{back_end}/ has no row in HACKING.md's back-end contract")
        continue
    faults += [f"platform/{back_end}/ includes {h}, which HACKING.md's back-end contract does not list for it"
               for h in sorted(used - listed[back_end])]
    faults += [f"HACKING.md's back-end contract lists {h} for platform/{back_end}/, which includes it nowhere"
               for h in sorted(listed[back_end] - used)]
for fault in faults:
    print(fault, file=sys.stderr)
sys.exit(1 if faults else 0)
