#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The docs cite the tree in backticks; every path, file name, function name and test name
# they cite must be there, so that the docs cannot drift from the code.
#
#   docs_test.py SOURCE_DIR BUILD_DIR
#
# The rules, in order:
# - Only single words are names: backticked text with a space, or with any of $ ~ * < > = |,
#   is a command, a pattern or a value, and is not checked.
# - A GoogleTest name (`Suite.Test`, `Instance/Suite.Test/case`, parts maybe a pattern with *)
#   is found when each of its parts without a * is a word of a test's source. The snake_case
#   names of CTest's own tests are found as `ctest -N` in BUILD_DIR lists them.
# - Build outputs are not in the tree: paths under `build/`, installed ones (under `bin/`,
#   `libexec/` or `share/` of the prefix) and absolute ones are not checked, and a name that
#   a CMake file makes from a pattern (`bench_${area}`) is found when it fits the pattern.
# - A path (with a /) is found when a file or folder of the tree ends with it, or, for what
#   the build and the programs write (`web-test/`, `brin.conf`, `tones.log`), when a source
#   file spells it out. So is a file name (a last part after a dot of 1 to 5 lower-case
#   letters or digits).
# - A snake_case name (lower-case words joined by _, maybe with "()") is found when a source
#   file holds it as a word.
# - A qualified name (`recording::after_poll`, `Pen::put`) is found when each qualifier is a
#   namespace, struct or class of the sources, and the last name is a word of a file that
#   opens the innermost one (or is written qualified by it somewhere).
import os
import re
import subprocess
import sys

source, build = sys.argv[1], sys.argv[2]
DOCS = ("README.md", "HACKING.md", "docs/behaviour.md", "docs/recording.md", "bench/README.md", "data/README.md")
SKIPPED_DIRS = {".git", "build", "node_modules"}
TEXT = re.compile(r"\.(c|cpp|h|sh|mjs|js|py|cmake|txt|in|xml|html|json|md|[1-8])$|CMakeLists\.txt$")
FILE_NAME = re.compile(r"^[\w.+-]*\.[a-z0-9]{1,5}$")
SNAKE = re.compile(r"^[a-z][a-z0-9]*(_[a-z0-9]+)+(\(\))?$")
QUALIFIED = re.compile(r"^(\w+::)+\w+(\(\))?$")
TEST_NAME = re.compile(r"^([\w*]+/)?[A-Z][\w*]*\.[A-Z*][\w*]*(/[\w*]+)?$")

paths, texts, tests = [], {}, []
for folder, dirs, files in os.walk(source):
    dirs[:] = [d for d in dirs if d not in SKIPPED_DIRS]
    relative = os.path.relpath(folder, source)
    if relative != ".":
        paths.append(relative + "/")
    for name in files:
        path = os.path.normpath(os.path.join(relative, name))
        paths.append(path)
        if TEXT.search(name) and path not in DOCS:
            with open(os.path.join(source, path), encoding="utf-8", errors="replace") as f:
                texts[path] = f.read()
            if path.startswith("tests" + os.sep):
                tests.append(texts[path])
code = "\n".join(texts.values())
test_code = "\n".join(tests)
made = [re.compile("^" + re.sub(r"\\\$\\\{\w+\\\}", r"\\w+", re.escape(p)) + "$")
        for p in re.findall(r"[\w.-]*\$\{\w+\}[\w.-]*", code) if re.search(r"[a-z]", re.sub(r"\$\{\w+\}", "", p))]

listed = subprocess.run(["ctest", "-N"], cwd=build, capture_output=True, text=True, check=True).stdout
test_names = set(re.findall(r"Test\s+#\d+: (\S+)", listed))


def in_tree(path):
    path = path.rstrip("/")
    return any(p.rstrip("/") == path or p.rstrip("/").endswith("/" + path) for p in paths)


def has_word(text, word):
    return re.search(r"\b" + re.escape(word) + r"\b", text) is not None


def scope_opened(text, name):
    return re.search(r"\b(namespace\s+(\w+::)*|struct\s+|class\s+)" + re.escape(name) + r"\b", text) is not None


def qualified_missing(word):
    *scopes, name = word.rstrip("()").split("::")
    if not all(scope_opened(code, s) for s in scopes):
        return True
    inner = scopes[-1]
    return not has_word(code, inner + "::" + name) and not any(
        scope_opened(text, inner) and has_word(text, name) for text in texts.values())


def test_missing(word):
    parts = re.split(r"[./]", word)
    return any("*" not in p and not has_word(test_code, p) for p in parts)


def missing(word):
    if TEST_NAME.match(word):
        return test_missing(word)
    if QUALIFIED.match(word):
        return qualified_missing(word)
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
        return not has_word(code, word.rstrip("()"))
    return False


failures = 0
for doc in DOCS:
    with open(os.path.join(source, doc), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            for word in re.findall(r"`([^`\n]+)`", line):
                if missing(word):
                    print(f"{doc}:{number}: `{word}` is not in the tree")
                    failures += 1
print(f"{failures} names cited in the docs are not in the tree" if failures else "every name cited is there")
sys.exit(1 if failures else 0)
