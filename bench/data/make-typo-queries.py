#!/usr/bin/env python3
"""Writes typo-queries.txt: misspelt words and names drawn from names-10k.txt.

Run from this folder: ./make-typo-queries.py ../../../shared/data/names-10k.txt > typo-queries.txt
(The seed is fixed, so the file is reproducible.)
"""
import random
import sys

random.seed(7)
names = [line.rstrip("\n") for line in open(sys.argv[1], encoding="utf-8")]
words = []
for name in names:
    for word in name.replace("-", " ").replace("/", " ").replace(".", " ").split():
        if len(word) >= 4 and word.isalpha():
            words.append(word.lower())


def typo(word):
    i = random.randrange(len(word))
    kind = random.randrange(3)
    if kind == 0:
        return word[:i] + word[i + 1:]
    if kind == 1:
        return word[:i] + random.choice("abcdefghijklmnopqrstuvwxyz") + word[i + 1:]
    return word[:i] + random.choice("abcdefghijklmnopqrstuvwxyz") + word[i:]


out = []
for _ in range(150):
    out.append(typo(random.choice(words)))
for _ in range(50):
    name = random.choice(names).lower()
    out.append(typo(name) if len(name) > 1 else name)
out += ["firfox", "chromum", "xtrem", "termnal", "firefox esr", "fierfox", "chrome", "xterm", "vscdoe",
        "libreofice writer"]
print("\n".join(out))
