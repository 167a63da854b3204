#!/usr/bin/env bash
# Times Zorvi's backups and restores against cp -a, rsync -a and 7zz on the same trees and
# prints one table: medians of interleaved runs (warm cache), their ratio, and the peak
# resident memory of each side (the largest process, 7zz included).
#   bench/compare.sh [--runs N] [--big] [--meta META_TREE] TREE[:copy]...
# Per TREE: fresh plain-copy backup vs cp -a and rsync -a; repeat backup with nothing
# changed and with 10% of the files changed vs rsync -a; plain-copy restore over the
# existing tree vs cp -a; unless TREE ends in ":copy", 7z backup vs 7zz a (and sizes) and
# 7z restore over the existing tree vs 7zz x. --big adds a 7z backup of a 2 GiB incompressible file vs an unbounded
# 7zz a (one run each: it takes minutes). --meta checks what a plain-copy backup keeps of
# extended attributes, ACLs, holes and hard links, against cp -a.
# Zorvi's times are whole runs, the removal of replaced copies included; "done" is when
# the run reported success. Build first (scripts/build); bench/make-tree.sh makes trees.
# Run it on a quiet local file system: TMPDIR picks where the work goes.
set -euo pipefail
runs=5 big=0 meta_tree=
trees=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --big) big=1; shift ;;
    --meta) meta_tree=$(realpath "$2"); shift 2 ;;
    *:copy) trees+=("$(realpath "${1%:copy}"):copy"); shift ;;
    *) trees+=("$(realpath "$1")"); shift ;;
  esac
done
[ ${#trees[@]} -gt 0 ] || [ "$big" = 1 ] || { echo "usage: compare.sh [--runs N] [--big] [--meta META_TREE] TREE[:copy]..." >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${ZORVI_BENCH:-$root/build/bench/zorvi-bench/zorvi-bench}
[ -x "$bench" ] || { echo "build first: $bench is missing" >&2; exit 1; }
for tool in rsync 7zz /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps installs it)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvi-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The switches of Zorvi's archives, without its memory bound.
sz_switches=(-t7z -mx=9 -ms=on -mhc=on -mhcf=on -mtm=off -mtc=off -mta=off -snl -sse -spd -bso0 -bsp0 -bse2 -y)

# run NAME CMD...: one timed run; appends "seconds peakKB [done]" to $work/NAME.
run() {
  local name=$1; shift
  sync
  local a b
  a=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/mem" "$@" >"$work/out" 2>"$work/err" || { echo "failed: $*" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
  b=$(date +%s.%N)
  local done_s
  done_s=$(sed -n 's/.*result=ok seconds=\([0-9.]*\).*/\1/p' "$work/out" | tail -n1)
  echo "$(awk -v a="$a" -v b="$b" 'BEGIN{printf "%.3f", b-a}') $(tail -n1 "$work/mem") ${done_s:--}" >>"$work/$name"
}
median() { sort -g | awk '{v[NR]=$1} END{if (NR==0) print 0; else if (NR%2) print v[(NR+1)/2]; else printf "%.3f", (v[NR/2]+v[NR/2+1])/2}'; }
col() { awk -v c="$2" '{print $c}' "$work/$1" | median; }
# pair NAME_A NAME_B: alternates which side goes first; the caller's prepare_NAME and
# do_NAME functions set up (untimed) and run one side.
pair() {
  local a=$1 b=$2 i
  rm -f "$work/$a" "$work/$b"
  for i in $(seq 1 "$runs"); do
    if [ $((i % 2)) = 1 ]; then "prepare_$a"; "do_$a"; "prepare_$b"; "do_$b"
    else "prepare_$b"; "do_$b"; "prepare_$a"; "do_$a"; fi
  done
}
row() { # row CASE ZORVI_NAME PEER_NAME PEER_LABEL [NOTE]
  local z p zd
  z=$(col "$2" 1); p=$(col "$3" 1); zd=$(col "$2" 3)
  printf "%-34s %8.3f %8.3f  %-10s %8.3f %7.3f %8d %8d  %s\n" "$1" "$z" "$zd" "$4" "$p" \
    "$(awk -v x="$z" -v y="$p" 'BEGIN{print (y > 0 ? x / y : 0)}')" \
    $(( $(col "$2" 2) / 1024 )) $(( $(col "$3" 2) / 1024 )) "${5:-}"
}
header() {
  printf "%-34s %8s %8s  %-10s %8s %7s %8s %8s  %s\n" case "zorvi s" "done s" peer "peer s" ratio "zorvi MB" "peer MB" note
}

rows=()
trees_seen=()
for tree in "${trees[@]}"; do
  archives=1
  case "$tree" in *:copy) archives=0; tree=${tree%:copy} ;; esac
  t=$work/t
  rm -rf "$t"; mkdir -p "$t"
  # The runs work on copies, so the given tree is never written to.
  cp -a "$tree" "$t/src"
  src=$t/src
  files=$(find "$src" -type f | wc -l)
  label=$(basename "$tree")
  trees_seen+=("$label: $files files, $(du -sm "$src" | cut -f1) MB")
  echo "== ${trees_seen[-1]}" >&2

  # Fresh plain-copy backup vs cp -a and rsync -a into empty places.
  prepare_zfresh() { rm -rf "$t/zf"; mkdir -p "$t/zf"; }
  do_zfresh() { run zfresh "$bench" backup --mode copy --dest "$t/zf" --name T "$src"; }
  prepare_cp() { rm -rf "$t/cp"; mkdir -p "$t/cp"; }
  do_cp() { run cp cp -a "$src" "$t/cp/"; }
  prepare_rsfresh() { rm -rf "$t/rf"; mkdir -p "$t/rf"; }
  do_rsfresh() { run rsfresh rsync -a "$src" "$t/rf/"; }
  pair zfresh cp
  mv "$work/zfresh" "$work/zfresh1"
  pair zfresh rsfresh
  rows+=("$(row "$label: fresh backup" zfresh1 cp "cp -a")")
  rows+=("$(row "$label: fresh backup" zfresh rsfresh "rsync -a")")
  rm -rf "$t/cp" "$t/rf"

  # Repeat backups over the previous one vs rsync -a over its previous copy.
  mkdir -p "$t/zr" "$t/rr"
  "$bench" backup --mode copy --dest "$t/zr" --name T "$src" >/dev/null
  rsync -a "$src" "$t/rr/"
  prepare_zrepeat() { :; }
  do_zrepeat() { run zrepeat "$bench" backup --mode copy --dest "$t/zr" --name T "$src"; }
  prepare_rsrepeat() { :; }
  do_rsrepeat() { run rsrepeat rsync -a "$src" "$t/rr/"; }
  pair zrepeat rsrepeat
  rows+=("$(row "$label: repeat, no change" zrepeat rsrepeat "rsync -a")")
  # Every tenth file gets a line more (size and time change) before each pair of runs.
  mapfile -t tenth < <(find "$src" -type f | sort | awk 'NR % 10 == 1')
  change() { local f; for f in "${tenth[@]}"; do echo "changed $RANDOM" >>"$f"; done; }
  rm -f "$work/zrepeat" "$work/rsrepeat"
  for i in $(seq 1 "$runs"); do
    change
    if [ $((i % 2)) = 1 ]; then do_zrepeat; do_rsrepeat; else do_rsrepeat; do_zrepeat; fi
  done
  rows+=("$(row "$label: repeat, ${#tenth[@]} changed" zrepeat rsrepeat "rsync -a")")
  diff -r "$src" "$t/zr/T$src" >/dev/null || { echo "the repeat backup differs from its source" >&2; exit 1; }
  rm -rf "$t/rr"

  # Plain-copy restore over the existing tree vs cp -a of the backup into an empty place.
  prepare_zrestore() { :; }
  do_zrestore() { run zrestore "$bench" restore --mode copy --dest "$t/zr" --name T "$src"; }
  prepare_cprestore() { rm -rf "$t/cpr"; mkdir -p "$t/cpr"; }
  do_cprestore() { run cprestore cp -a "$t/zr/T$src" "$t/cpr/"; }
  pair zrestore cprestore
  rows+=("$(row "$label: plain restore over tree" zrestore cprestore "cp -a")")
  rm -rf "$t/cpr" "$t/zr" "$t/zf"
  [ "$archives" = 1 ] || { rm -rf "$t"; continue; }

  # 7z backup vs 7zz a with the same switches.
  prepare_z7() { :; }
  do_z7() { run z7 "$bench" backup --mode 7z --dest "$t/z7" --name Z "$src"; }
  prepare_sz() { rm -f "$t/ref.7z"; }
  do_sz() { run sz 7zz a "${sz_switches[@]}" -spf "$t/ref.7z" "$src"; }
  mkdir -p "$t/z7"
  pair z7 sz
  ours=$(stat -c %s "$t/z7/Z/backup.7z"); ref=$(stat -c %s "$t/ref.7z")
  rows+=("$(row "$label: 7z backup" z7 sz "7zz a" "size $ours vs $ref ($(awk -v x="$ours" -v y="$ref" 'BEGIN{printf "%+.2f%%", (x / y - 1) * 100}'))")")
  rm -f "$t/ref.7z"

  # 7z restore over the existing tree vs 7zz x of the same archive over an extracted tree.
  mkdir -p "$t/x7"
  7zz x -aoa -y -bso0 -bsp0 "-o$t/x7" "$t/z7/Z/backup.7z"
  prepare_z7restore() { :; }
  do_z7restore() { run z7restore "$bench" restore --mode 7z --dest "$t/z7" --name Z "$src"; }
  prepare_sx() { :; }
  do_sx() { run sx 7zz x -aoa -y -bso0 -bsp0 "-o$t/x7" "$t/z7/Z/backup.7z"; }
  pair z7restore sx
  rows+=("$(row "$label: 7z restore over tree" z7restore sx "7zz x")")
  rm -rf "$t"
done

if [ "$big" = 1 ]; then
  echo "== 2 GiB incompressible file" >&2
  b=$work/b
  mkdir -p "$b/src" "$b/dest"
  head -c 2G /dev/urandom >"$b/src/blob.bin"
  rm -f "$work/zbig" "$work/szbig"
  run zbig "$bench" backup --mode 7z --dest "$b/dest" --name B "$b/src"
  run szbig 7zz a "${sz_switches[@]}" -spf "$b/ref.7z" "$b/src"
  ours=$(stat -c %s "$b/dest/B/backup.7z"); ref=$(stat -c %s "$b/ref.7z")
  ram=$(awk '/MemTotal/{printf "%d", $2 / 1024}' /proc/meminfo)
  rows+=("$(row "2 GiB random file: 7z backup" zbig szbig "7zz a" "size $ours vs $ref")")
  trees_seen+=("2 GiB random file; machine memory $ram MB")
  rm -rf "$b"
fi

if [ -n "$meta_tree" ]; then
  m=$work/m
  mkdir -p "$m/dest" "$m/cp"
  cp -a "$meta_tree" "$m/src"
  "$bench" backup --mode copy --dest "$m/dest" --name M "$m/src" >/dev/null
  cp -a "$m/src" "$m/cp/"
  # What was kept: allocated bytes (holes, one copy per hard-linked file) and attributes.
  xattrs() { python3 -c 'import os, sys
n = len(os.listxattr(sys.argv[1]))
for d, subs, files in os.walk(sys.argv[1]):
    n += sum(len(os.listxattr(os.path.join(d, x), follow_symlinks=False)) for x in subs + files)
print(n)' "$1"; }
  kept() { echo "$(du -s --block-size=1 "$1" | cut -f1) bytes on disk, $(find "$1" -type f -links +1 | wc -l) linked names, $(xattrs "$1") attributes"; }
  echo "meta tree kept by the backup: $(kept "$m/dest/M$m/src")"
  echo "meta tree kept by cp -a:      $(kept "$m/cp/src")"
  rm -rf "$m"
fi

printf '%s\n' "${trees_seen[@]}"
echo "runs per side: $runs (medians); $(nproc) cores, $(awk '/MemTotal/{printf "%d MB", $2 / 1024}' /proc/meminfo); $(df -T "$work" | awk 'NR==2{print $2}') at $work"
header
printf '%s\n' "${rows[@]}"
