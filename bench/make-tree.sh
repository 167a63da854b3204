#!/usr/bin/env bash
# Builds a benchmark tree: about 20,000 files and 250 MB, mostly small text files in
# nested folders plus a few hundred larger binary files.
#   bench/make-tree.sh [--meta | --large | --small] DIR
#   bench/make-tree.sh --links DIR [FOLDER...]
# --meta also gives some files and folders user.* extended attributes and POSIX ACLs, and
# adds 4 sparse files (256 MiB long, 2 MiB of data each) and 300 extra hard-linked names.
# --large makes five 400 MB files of random bytes instead; --small 200,000 files of 200 to
# 2,000 bytes in 2,000 folders.
# --links copies real trees with symbolic links in them: the system's documentation,
# headers and Python library folders (or the FOLDERs given) under their full paths in DIR,
# links kept as they are: relative and absolute, dangling, pointing out of their folder.
set -euo pipefail
kind=mixed
case "${1:-}" in
  --meta) kind=meta; shift ;; --large) kind=large; shift ;; --small) kind=small; shift ;; --links) kind=links; shift ;;
esac
dir=${1:?usage: make-tree.sh [--meta | --large | --small] DIR | --links DIR [FOLDER...]}
shift
mkdir -p "$dir"
if [ "$kind" = links ]; then
  folders=()
  for f in "$@"; do folders+=("$(realpath -s "$f")"); done
  if [ ${#folders[@]} = 0 ]; then
    for f in /usr/share/doc /usr/include /usr/lib/python3 /usr/lib/python3.[0-9]*; do
      [ -d "$f" ] && folders+=("$f")
    done
  fi
  [ ${#folders[@]} -gt 0 ] || { echo "no folder to copy" >&2; exit 1; }
  # -a never follows a link, and --parents keeps the paths, so a relative link between two of
  # the copied folders still finds its target.
  dir=$(realpath "$dir")
  (cd / && cp -a --parents "${folders[@]#/}" "$dir")
  find "$dir" -type l -printf '%l\n' | awk -v dir="$dir" -v files="$(find "$dir" -type f | wc -l)" \
    -v dangling="$(find "$dir" -xtype l | wc -l)" -v mb="$(du -sm "$dir" | cut -f1)" '
    /^\// { abs++ } /^\.\.\// { up++ } { n++ }
    END { printf "%s: %d files, %d MB, %d links (%d absolute, %d relative leaving their folder, %d dangling here)\n",
          dir, files, mb, n, abs, up, dangling }'
  exit 0
fi
if [ "$kind" = large ]; then
  for i in 1 2 3 4 5; do head -c 400M /dev/urandom > "$dir/large$i.bin"; done
  echo "$dir: 5 files, 2000 MB"
  exit 0
fi
python3 - "$dir" "$kind" <<'PY'
import os, random, struct, sys
root, kind = sys.argv[1], sys.argv[2]
meta = kind == "meta"
rng = random.Random(7)
if kind == "small":
    letters = b"abcdefghijklmnopqrstuvwxyz \n"
    for i in range(200_000):
        d = os.path.join(root, f"p{i % 100:02d}", f"q{(i // 100) % 20:02d}")
        if i < 2000:
            os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, f"f{i}.txt"), "wb") as f:
            f.write(bytes(rng.choice(letters) for _ in range(rng.randint(200, 2000))))
    print(f"{root}: 200000 files in 2000 folders")
    sys.exit(0)
words = [w for w in "alpha beta gamma delta backup drive folder photo note report zorvi task".split()]
total = 0
notes = []
for i in range(19700):
    d = os.path.join(root, f"d{i % 50:02d}", f"s{(i // 50) % 20:02d}")
    os.makedirs(d, exist_ok=True)
    n = rng.randint(200, 9000)
    text = (" ".join(rng.choice(words) for _ in range(n // 6)) + "\n").encode()
    path = os.path.join(d, f"note{i}.txt")
    with open(path, "wb") as f:
        f.write(text)
    notes.append(path)
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
summary = f"{root}: {19700 + i} files, {total / 1048576:.0f} MB"

if meta:
    def acl(entries):
        # The kernel's form of a POSIX ACL: version 2, then (tag, perm, id) entries.
        return struct.pack("<I", 2) + b"".join(struct.pack("<HHI", t, p, q) for t, p, q in entries)
    none = 0xFFFFFFFF
    file_acl = acl([(0x01, 6, none), (0x02, 4, 4242), (0x04, 4, none), (0x10, 4, none), (0x20, 4, none)])
    dir_acl = acl([(0x01, 7, none), (0x04, 5, none), (0x08, 5, 4343), (0x10, 5, none), (0x20, 5, none)])
    tagged = acls = 0
    for k, path in enumerate(notes[::40]):
        os.setxattr(path, "user.zorvi.tag", f"tag {k}".encode())
        os.setxattr(path, "user.comment", rng.choice(words).encode() * 8)
        tagged += 1
        if k % 4 == 0:
            try:
                os.setxattr(path, "system.posix_acl_access", file_acl)
                acls += 1
            except OSError as e:
                print(f"no ACLs: {e}", file=sys.stderr)
    for d in sorted({os.path.dirname(p) for p in notes})[::25]:
        os.setxattr(d, "user.zorvi.folder", b"kept")
        try:
            os.setxattr(d, "system.posix_acl_access", dir_acl)
            os.setxattr(d, "system.posix_acl_default", dir_acl)
        except OSError:
            pass
    sparse = os.path.join(root, "sparse")
    os.makedirs(sparse, exist_ok=True)
    for k in range(4):
        with open(os.path.join(sparse, f"disk{k}.img"), "wb") as f:
            for off in (0, 64 << 20, 130 << 20, 200 << 20):
                f.seek(off)
                f.write(os.urandom(512 << 10))
            f.truncate(256 << 20)
    links = os.path.join(root, "links")
    os.makedirs(links, exist_ok=True)
    for k, path in enumerate(notes[7::65][:300]):
        os.link(path, os.path.join(links, f"same{k}.txt"))
    summary += f"; {tagged} files with xattrs ({acls} with ACLs), 4 sparse files, 300 hard links"
print(summary)
PY
