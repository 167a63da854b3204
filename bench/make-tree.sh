#!/usr/bin/env bash
# Builds a benchmark tree: about 20,000 files and 250 MB, mostly small text files in
# nested folders plus a few hundred larger binary files.
#   bench/make-tree.sh DIR
set -euo pipefail
dir=${1:?usage: make-tree.sh DIR}
mkdir -p "$dir"
python3 - "$dir" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = [w for w in "alpha beta gamma delta backup drive folder photo note report zorvi task".split()]
total = 0
for i in range(19700):
    d = os.path.join(root, f"d{i % 50:02d}", f"s{(i // 50) % 20:02d}")
    os.makedirs(d, exist_ok=True)
    n = rng.randint(200, 9000)
    text = (" ".join(rng.choice(words) for _ in range(n // 6)) + "\n").encode()
    with open(os.path.join(d, f"note{i}.txt"), "wb") as f:
        f.write(text)
    total += len(text)
big = os.path.join(root, "media")
os.makedirs(big, exist_ok=True)
i = 0
while total < 250 * 1024 * 1024:
    size = rng.randint(200_000, 1_800_000)
    with open(os.path.join(big, f"blob{i}.bin"), "wb") as f:
        f.write(os.urandom(size))
    total += size
    i += 1
print(f"{root}: {19700 + i} files, {total / 1048576:.0f} MB")
PY
