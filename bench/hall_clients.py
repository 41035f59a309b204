#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Sends a recording to a hall many times, from some clients at once, and says how many it
# verified a second and how long the answers took (p50, p95):
#   hall_clients.py PORT FILE CLIENTS SUBMISSIONS
import sys
import time
import urllib.error
import urllib.request
from concurrent.futures import ThreadPoolExecutor

port, path, clients, submissions = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
body = open(path, 'rb').read()


def submit(_):
    request = urllib.request.Request(f'http://127.0.0.1:{port}/api/games', data=body, method='POST')
    began = time.monotonic()
    try:
        with urllib.request.urlopen(request, timeout=600) as answer:
            status = answer.status
    except urllib.error.HTTPError as error:
        status = error.code
    return status, time.monotonic() - began


began = time.monotonic()
with ThreadPoolExecutor(clients) as pool:
    answers = list(pool.map(submit, range(submissions)))
total = time.monotonic() - began
times = sorted(seconds for _, seconds in answers)
statuses = {}
for status, _ in answers:
    statuses[status] = statuses.get(status, 0) + 1
print(f'{submissions} submissions in {total:.1f} s: {submissions / total:.2f} verifications/s, answers p50 '
      f'{times[len(times) // 2]:.2f} s, p95 {times[int(len(times) * 0.95)]:.2f} s (statuses {statuses})')
