#!/usr/bin/env bash
# Times Zorvi's backups and restore against cp -a and 7zz on the same tree (warm cache,
# best of three) and prints the ratios.
#   bench/compare.sh TREE [META_TREE]   (build first: scripts/build; bench/make-tree.sh makes a tree)
# A META_TREE (or $ZORVI_META_TREE; bench/make-tree.sh --meta makes one) adds a plain-copy
# backup of a tree with extended attributes, ACLs, sparse files and hard links against cp -a.
set -euo pipefail
tree=$(realpath "${1:?usage: compare.sh TREE [META_TREE]}")
meta_tree=${2:-${ZORVI_META_TREE:-}}
[ -z "$meta_tree" ] || meta_tree=$(realpath "$meta_tree")
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${ZORVI_BENCH:-$root/build/bench/zorvi-bench/zorvi-bench}
[ -x "$bench" ] || { echo "build first: $bench is missing" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvi-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The runs work on a copy, so the given tree is never written to.
cp -a "$tree" "$work/src"
src=$work/src
du -sb "$src" >/dev/null  # warm the cache

now() { date +%s.%N; }
best() { sort -g | head -n1; }
seconds_of() { sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' | tail -n1; }

time_cp() { local from=${1:-$src}; local t=(); for i in 1 2 3; do rm -rf "$work/cp"; mkdir "$work/cp"; sync; local a; a=$(now); cp -a "$from" "$work/cp/"; local b; b=$(now); t+=("$(awk -v a="$a" -v b="$b" 'BEGIN{printf "%.3f", b-a}')"); done; printf '%s\n' "${t[@]}" | best; }
time_zorvi() { local t=(); for i in 1 2 3; do sync; t+=("$("$bench" "$@" | seconds_of)"); done; printf '%s\n' "${t[@]}" | best; }

mkdir -p "$work/dest"
cp_s=$(time_cp)
copy_s=$(time_zorvi backup --mode copy --dest "$work/dest" --name T "$src")
copy_p=$(time_zorvi backup --mode copy --dest "$work/dest" --name T --progress "$src")
restore_s=$(time_zorvi restore --mode copy --dest "$work/dest" --name T "$src")

rm -rf "$work/dest/T"
z=(); for i in 1 2 3; do rm -f "$work/ref.7z"; sync; a=$(now); 7zz a -t7z -mx=9 -ms=on -mhc=on -mhcf=on -mtm=off -mtc=off -mta=off -snl -spf -bso0 -bsp0 "$work/ref.7z" "$src" >/dev/null; b=$(now); z+=("$(awk -v a="$a" -v b="$b" 'BEGIN{printf "%.3f", b-a}')"); done
ref_s=$(printf '%s\n' "${z[@]}" | best)
sz_s=$(time_zorvi backup --mode 7z --dest "$work/dest" --name Z "$src")
ref_size=$(stat -c %s "$work/ref.7z")
our_size=$(stat -c %s "$work/dest/Z/backup.7z")

ratio() { awk -v x="$1" -v y="$2" 'BEGIN{printf "%.3f", x/y}'; }
echo "tree: $(find "$src" -type f | wc -l) files, $(du -sb "$src" | cut -f1) bytes"
echo "plain-copy backup: ${copy_s}s  cp -a: ${cp_s}s  ratio $(ratio "$copy_s" "$cp_s")"
echo "plain-copy restore: ${restore_s}s  cp -a: ${cp_s}s  ratio $(ratio "$restore_s" "$cp_s")"
echo "progress receiver: ${copy_p}s vs ${copy_s}s without  ratio $(ratio "$copy_p" "$copy_s")"
echo "7z backup: ${sz_s}s  7zz a: ${ref_s}s  ratio $(ratio "$sz_s" "$ref_s")"
echo "7z size: ${our_size} vs ${ref_size} bytes  ratio $(awk -v x="$our_size" -v y="$ref_size" 'BEGIN{printf "%.5f", x/y}')"

if [ -n "$meta_tree" ]; then
  rm -rf "$work/dest" "$work/ref.7z" "$work/cp"
  cp -a "$meta_tree" "$work/meta"
  msrc=$work/meta
  du -sb "$msrc" >/dev/null
  mkdir -p "$work/dest"
  mcp_s=$(time_cp "$msrc")
  mcopy_s=$(time_zorvi backup --mode copy --dest "$work/dest" --name M "$msrc")
  # What was kept: allocated bytes (holes, one copy per hard-linked file) and attributes.
  kept() { echo "$(du -s --block-size=1 "$1" | cut -f1) bytes on disk, $(find "$1" -type f -links +1 | wc -l) linked names, $(xattrs "$1") attributes"; }
  xattrs() { python3 -c 'import os, sys
n = len(os.listxattr(sys.argv[1]))
for d, subs, files in os.walk(sys.argv[1]):
    n += sum(len(os.listxattr(os.path.join(d, x), follow_symlinks=False)) for x in subs + files)
print(n)' "$1"; }
  echo "meta tree: $(find "$msrc" -type f | wc -l) files, $(du -s --block-size=1 "$msrc" | cut -f1) bytes on disk"
  echo "plain-copy backup (xattrs, holes, hard links): ${mcopy_s}s  cp -a: ${mcp_s}s  ratio $(ratio "$mcopy_s" "$mcp_s")"
  echo "  kept by the backup: $(kept "$work/dest/M")"
  echo "  kept by cp -a:      $(kept "$work/cp")"
fi
