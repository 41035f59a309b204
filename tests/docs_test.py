#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# HACKING.md and README.md cite the tree in backticks; every path, file name and snake_case
# function name they cite must be there, so that the docs cannot drift from the code.
#
#   docs_test.py SOURCE_DIR BUILD_DIR
#
# The rules, in order:
# - Only single words are names: backticked text with a space, or with any of $ ~ * < > = |,
#   is a command, a pattern or a value, and is not checked.
# - Test names are not checked against the tree: GoogleTest's begin with a capital letter
#   (`Suite.Test`, `Instance/Suite.Test/case`), and the snake_case ones are CTest's own names,
#   as `ctest -N` in BUILD_DIR lists them.
# - Build outputs are not in the tree: paths under `build/`, installed ones (under `bin/`,
#   `libexec/` or `share/` of the prefix) and absolute ones are not checked, and a name that
#   a CMake file makes from a pattern (`bench_${area}`) is found when it fits the pattern.
# - A path (with a /) is found when a file or folder of the tree ends with it, or, for what
#   the build and the programs write (`web-test/`, `brin.conf`, `tones.log`), when a source
#   file spells it out. So is a file name (a last part after a dot of 1 to 5 lower-case
#   letters or digits).
# - A snake_case name (lower-case words joined by _, maybe with "()") is found when a source
#   file holds it as a word.
import os
import re
import subprocess
import sys

source, build = sys.argv[1], sys.argv[2]
DOCS = ("HACKING.md", "README.md")
SKIPPED_DIRS = {".git", "build", "node_modules"}
TEXT = re.compile(r"\.(c|cpp|h|sh|mjs|js|py|cmake|txt|in|xml|html|json|md|[1-8])$|CMakeLists\.txt$")
FILE_NAME = re.compile(r"^[\w.+-]*\.[a-z0-9]{1,5}$")
SNAKE = re.compile(r"^[a-z][a-z0-9]*(_[a-z0-9]+)+(\(\))?$")

paths, texts = [], []
for folder, dirs, files in os.walk(source):
    dirs[:] = [d for d in dirs if d not in SKIPPED_DIRS]
    relative = os.path.relpath(folder, source)
    if relative != ".":
        paths.append(relative + "/")
    for name in files:
        path = os.path.normpath(os.path.join(relative, name))
        paths.append(path)
        if TEXT.search(name) and name not in DOCS:
            with open(os.path.join(source, path), encoding="utf-8", errors="replace") as f:
                texts.append(f.read())
code = "\n".join(texts)
made = [re.compile("^" + re.sub(r"\\\$\\\{\w+\\\}", r"\\w+", re.escape(p)) + "$")
        for p in re.findall(r"[\w.-]*\$\{\w+\}[\w.-]*", code) if re.search(r"[a-z]", re.sub(r"\$\{\w+\}", "", p))]

listed = subprocess.run(["ctest", "-N"], cwd=build, capture_output=True, text=True, check=True).stdout
test_names = set(re.findall(r"Test\s+#\d+: (\S+)", listed))


def in_tree(path):
    path = path.rstrip("/")
    return any(p.rstrip("/") == path or p.rstrip("/").endswith("/" + path) for p in paths)


def missing(word):
    if re.search(r"[\s$~*<>=|]", word) or word[:1].isupper():
        return False
    if word.startswith(("build/", "bin/", "libexec/", "share/", "/", "-")):
        return False
    name = word.rstrip("()")
    if name in test_names or any(m.match(name) for m in made):
        return False
    if "/" in word or FILE_NAME.match(word):
        return not in_tree(word) and word.rstrip("/") not in code
    if SNAKE.match(word):
        return re.search(r"\b" + re.escape(word.rstrip("()")) + r"\b", code) is None
    return False


failures = 0
for doc in DOCS:
    with open(os.path.join(source, doc), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            for word in re.findall(r"`([^`\n]+)`", line):
                if missing(word):
                    print(f"{doc}:{number}: `{word}` is not in the tree")
                    failures += 1
print(f"{failures} names cited in {' and '.join(DOCS)} are not in the tree" if failures else "every name cited is there")
sys.exit(1 if failures else 0)
