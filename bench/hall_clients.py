#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Sends a recording to a hall many times, from some clients at once, and prints how long each
# answer took: hall_clients.py PORT FILE CLIENTS SUBMISSIONS. Lines "STATUS SECONDS", then
# "total SECONDS".
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
    for status, seconds in pool.map(submit, range(submissions)):
        print(status, f'{seconds:.3f}')
print('total', f'{time.monotonic() - began:.3f}')
