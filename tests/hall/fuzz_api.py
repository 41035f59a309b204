#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Fuzzes a real brin-hall's API for a while: random bodies, recordings mutated in their
# packed bytes and in their unpacked contents (packed again, so that they reach the parser,
# the replay and the table), odd heads, encodings and paths, from a few clients at once.
# Every answer must be one the API names, never a 5xx but 503, no refusal may tell of a
# replay that failed (a crash of brin-sim, or a sanitizer's report), and the hall must stay
# up and end cleanly on SIGTERM; anything else is a crash, saved in the output folder.
#
#   fuzz_api.py BUILD_DIR SECONDS [OUT_DIR]
#
# BUILD_DIR holds brin-sim and hall/brin-hall (a sanitizer build finds the most). The
# recordings mutated are whole games brin-sim records here on the shipped pictures.
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import zlib

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
build, seconds = os.path.abspath(sys.argv[1]), float(sys.argv[2])
out = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix='hall-fuzz-')
os.makedirs(out, exist_ok=True)
work = tempfile.mkdtemp()
expected = {200, 201, 302, 400, 404, 405, 408, 413, 414, 422, 429, 503}


def record(name, script):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    for f in os.listdir(os.path.join(root, 'data')):
        if f.endswith(('.pcx', '.fon', '.pun')):
            shutil.copy(os.path.join(root, 'data', f), folder)
    with open(os.path.join(folder, 'script.txt'), 'w') as s:
        s.write(script)
    subprocess.run([os.path.join(build, 'brin-sim'), '--script', 'script.txt', '--out', 'out', '--quantum-us', '1000',
                    '--record', 'game.brinrec'], cwd=folder, check=True, capture_output=True)
    return open(os.path.join(folder, 'game.brinrec'), 'rb').read()


seeds = [record('idle', '40 end\n'),
         record('keys', ''.join(f'{20 + i * 0.3:.1f} key {k}\n' for i, k in enumerate([106, 57, 105, 57, 28, 30, 108, 57]))
                + '40 end\n')]


def unpacked(file):
    return file[:14], zlib.decompress(file[14:])


def packed(prefix, body):
    return prefix[:10] + len(body).to_bytes(4, 'little') + zlib.compress(body)


def mutate(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        kind = rng.random()
        at = rng.randrange(len(data)) if data else 0
        if kind < 0.4 and data:
            data[at] ^= 1 << rng.randrange(8)
        elif kind < 0.55 and data:
            data[at] = rng.choice([0, 1, 0x7f, 0x80, 0xff])
        elif kind < 0.7:
            data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 16)))
        elif kind < 0.85 and data:
            del data[at:at + rng.randint(1, 64)]
        else:
            piece = data[at:at + rng.randint(1, 256)]
            data[rng.randrange(len(data) + 1):0] = piece * rng.randint(1, 4)
    return bytes(data)


def body_for(rng):
    kind = rng.random()
    seed = rng.choice(seeds)
    if kind < 0.15:
        return bytes(rng.randrange(256) for _ in range(rng.randint(0, 3000)))
    if kind < 0.4:
        return mutate(seed, rng)
    if kind < 0.9:
        prefix, body = unpacked(seed)
        return packed(prefix, mutate(body, rng))
    return seed[:rng.randrange(len(seed))]


def request_for(rng):
    kind = rng.random()
    if kind < 0.75:
        body = body_for(rng)
        heads = [f'Content-Length: {len(body)}']
        if rng.random() < 0.1:
            heads = ['Transfer-Encoding: chunked']
            body = b''.join(b'%x\r\n%s\r\n' % (len(c), c) for c in [body[i:i + 700] for i in range(0, len(body), 700)])
            body += b'0\r\n\r\n'
        if rng.random() < 0.1:
            encoding = rng.choice(['gzip', 'deflate', 'br', 'x-nothing'])
            heads.append(f'Content-Encoding: {encoding}')
            if encoding == 'deflate' and 'Content-Length' in heads[0]:
                body = zlib.compress(body)
                heads[0] = f'Content-Length: {len(body)}'
        if rng.random() < 0.05:
            heads[0] = rng.choice(['Content-Length: -1', 'Content-Length: 99999999999999999999',
                                   'Content-Length: 12abc', f'Content-Length: {len(body) + 10}'])
        head = 'POST /api/games HTTP/1.1\r\nHost: h\r\n' + '\r\n'.join(heads) + '\r\n\r\n'
        return head.encode() + body
    paths = ['/api/games', '/api/games/' + '%02x' % rng.randrange(256) * 32 + '.brinrec', '/hall/', '/hall',
             '/api/games/../../etc/passwd', '/%00', '/' + 'a' * rng.randint(1, 9000), '/api/games?x=' + '%' * 50,
             '/hall/hall.js', '/api/games/.brinrec']
    line = f'{rng.choice(["GET", "HEAD", "PUT", "DELETE", "OPTIONS", "GE T", "get"])} {rng.choice(paths)} HTTP/1.1'
    if rng.random() < 0.1:
        line = mutate(line.encode(), rng).decode('latin-1')
    return (line + '\r\nHost: h\r\nConnection: close\r\n\r\n').encode('latin-1')


def exchange(port, data):
    with socket.create_connection(('127.0.0.1', port), timeout=120) as s:
        try:
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        answer = b''
        try:
            while chunk := s.recv(65536):
                answer += chunk
        except OSError:
            pass
    if not answer.startswith(b'HTTP/1.1 '):
        return None, b''
    return int(answer[9:12]), answer


hall = subprocess.Popen([os.path.join(build, 'hall', 'brin-hall'), '--listen', '127.0.0.1:0', '--db',
                         os.path.join(work, 'hall.db'), '--shipped', os.path.join(root, 'data'), '--verifier',
                         os.path.join(build, 'brin-sim'), '--rate', '1000000', '--queue', '64', '--read-seconds', '5'],
                        stdout=subprocess.PIPE, stderr=open(os.path.join(out, 'hall.log'), 'w'))
port = int(hall.stdout.readline().decode().rsplit(':', 1)[1].strip('/\n'))
counts, reasons, lock, crashes = {}, {}, threading.Lock(), []
deadline = time.monotonic() + seconds


def client(number):
    rng = random.Random(number)
    while time.monotonic() < deadline and not crashes:
        data = request_for(rng)
        status, answer = exchange(port, data)
        failed_replay = b'made its replay fail' in answer or b'Sanitizer' in answer
        reason = re.search(rb'"refused":"the recording ([a-z\' ]+)', answer)
        with lock:
            counts[status] = counts.get(status, 0) + 1
            if reason:
                kind = reason.group(1).decode()
                reasons[kind] = reasons.get(kind, 0) + 1
            if hall.poll() is not None or (status is not None and status not in expected) or failed_replay:
                name = os.path.join(out, f'crash-{len(crashes)}.bin')
                open(name, 'wb').write(data)
                crashes.append((status, hall.poll(), name))


threads = [threading.Thread(target=client, args=(n,)) for n in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
hall.send_signal(signal.SIGTERM)
status = hall.wait(timeout=120)
if status != 0:
    crashes.append(('exit', status, os.path.join(out, 'hall.log')))
shutil.rmtree(work, ignore_errors=True)
total = sum(counts.values())
print(f'{total} requests in {seconds:.0f} s, answers: ' +
      ', '.join(f'{k}: {v}' for k, v in sorted(counts.items(), key=lambda kv: str(kv[0]))))
print('refusals of recordings: ' + ', '.join(f'"{k}": {v}' for k, v in sorted(reasons.items(), key=lambda kv: -kv[1])))
print(f'{len(crashes)} crashes' + ''.join(f'\n  {c}' for c in crashes))
sys.exit(1 if crashes else 0)
