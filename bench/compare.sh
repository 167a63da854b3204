#!/usr/bin/env bash
# Times Zorvi's backups and restores against cp -a, rsync -a and 7zz on the same trees and
# prints one table: medians of interleaved runs (warm cache), their ratio, and the peak
# resident memory of each side (the largest process, 7zz included).
#   bench/compare.sh [--runs N] [--big] [--meta META_TREE] TREE[:copy]...
# Per TREE: fresh plain-copy backup vs cp -a and rsync -a into empty places; repeat backup
# with nothing changed and with 10% of the files changed vs rsync -a over its previous
# copy; plain-copy restore over the existing tree vs cp -a over a copy of that tree; unless
# TREE ends in ":copy", 7z backup vs 7zz a with the switches Zorvi passes (and sizes), and
# 7z restore into empty places vs 7zz x and over the existing tree vs 7zz x -aoa.
# --big adds a 7z backup of a 2 GiB incompressible file (one run each: it takes minutes).
# --meta checks what a plain-copy backup keeps of extended attributes, ACLs, holes and hard
# links, against cp -a.
# Zorvi flushes every run to disk, so each case is shown against the bare peer and against
# the peer followed by a syncfs of its destination (sync -f). Zorvi's times are whole runs,
# the removal of replaced copies included; "done" is when the run reported success. A
# peer's non-zero exit is accepted only when it finished the job (7zz's warnings, links
# 7zz x refuses to create) and is then named in the note. Build first (scripts/build);
# bench/make-tree.sh makes trees (--links: real ones with symbolic links). Run it on a
# quiet local file system: TMPDIR picks where the work goes.
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
# quiet CMD...: an untimed step whose output is shown only when it fails.
quiet() { "$@" >"$work/out" 2>&1 || { echo "failed: $*" >&2; cat "$work/out" >&2; exit 1; }; }

# The switches of Zorvi's archives, its memory bound included, as its own backup passes them:
# a 7z backup of a one-file tree runs a stand-in 7zz that records its arguments.
sz_switches=()
capture_switches() {
  local shim=$work/shim real call a
  real=$(command -v 7zz)
  mkdir -p "$shim/bin" "$shim/calls" "$shim/tree" "$shim/dest"
  echo probe >"$shim/tree/f"
  cat >"$shim/bin/7zz" <<'SH'
#!/bin/sh
printf '%s\0' "$@" >"$(mktemp "$ZORVI_SHIM_CALLS/call-XXXXXX")"
exec "$ZORVI_SHIM_REAL" "$@"
SH
  chmod +x "$shim/bin/7zz"
  PATH=$shim/bin:$PATH ZORVI_SHIM_CALLS=$shim/calls ZORVI_SHIM_REAL=$real \
    quiet "$bench" backup --mode 7z --dest "$shim/dest" --name P "$shim/tree"
  for call in "$shim/calls"/*; do
    mapfile -d '' -t args <"$call"
    [ "${args[0]:-}" = a ] || continue
    for a in "${args[@]:1}"; do
      [ "$a" = -- ] && break
      sz_switches+=("$a")
    done
    break
  done
  rm -rf "$shim"
  [ ${#sz_switches[@]} -gt 0 ] || { echo "Zorvi's 7z backup ran no 7zz a" >&2; exit 1; }
}
capture_switches

# completed NAME RC CMD...: whether a run that exited with RC did its job; what was let pass
# goes to $work/NAME.note.
completed() {
  local name=$1 rc=$2; shift 2
  rm -f "$work/$name.note"
  [ "$rc" = 0 ] && return 0
  [ "$1" = 7zz ] || return 1
  case "$rc" in
    1) echo "7zz exit 1 (warnings)" >"$work/$name.note" ;;
    2)
      # 7zz x refuses links whose text leaves their folder or goes through another link,
      # ends with 2 and leaves the rest extracted; any other error is a failure.
      local refused refused_link='^ERROR: Dangerous link .*was ignored'
      refused=$(grep -c "$refused_link" "$work/err" || true)
      [ "$refused" -gt 0 ] && ! grep -v -e "$refused_link" -e '^[[:space:]]*$' "$work/err" >/dev/null || return 1
      echo "7zz exit 2: $refused links refused" >"$work/$name.note" ;;
    *) return 1 ;;
  esac
}
# run NAME CMD...: one timed run; appends "seconds peakKB [done]" to $work/NAME.
# run_synced NAME DEST CMD...: the same, and to $work/NAME+ the time of the run followed by
# a syncfs of DEST's file system.
run() { timed "$1" "" "${@:2}"; }
run_synced() { timed "$1" "$2" "${@:3}"; }
timed() {
  local name=$1 dest=$2; shift 2
  sync
  local a b c rc=0
  a=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/mem" "$@" >"$work/out" 2>"$work/err" || rc=$?
  b=$(date +%s.%N)
  completed "$name" "$rc" "$@" || { echo "failed (exit $rc): $*" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
  local done_s mem
  done_s=$(sed -n 's/.*result=ok seconds=\([0-9.]*\).*/\1/p' "$work/out" | tail -n1)
  mem=$(tail -n1 "$work/mem")
  echo "$(awk -v a="$a" -v b="$b" 'BEGIN{printf "%.3f", b-a}') $mem ${done_s:--}" >>"$work/$name"
  [ -n "$dest" ] || return 0
  sync -f "$dest"
  c=$(date +%s.%N)
  echo "$(awk -v a="$a" -v c="$c" 'BEGIN{printf "%.3f", c-a}') $mem -" >>"$work/$name+"
}
median() { sort -g | awk '{v[NR]=$1} END{if (NR==0) print 0; else if (NR%2) print v[(NR+1)/2]; else printf "%.3f", (v[NR/2]+v[NR/2+1])/2}'; }
col() { awk -v c="$2" '{print $c}' "$work/$1" | median; }
# pair NAME_A NAME_B: alternates which side goes first; the caller's prepare_NAME and
# do_NAME functions set up (untimed) and run one side.
pair() {
  local a=$1 b=$2 i
  rm -f "$work/$a" "$work/$b" "$work/$a+" "$work/$b+"
  for i in $(seq 1 "$runs"); do
    if [ $((i % 2)) = 1 ]; then "prepare_$a"; "do_$a"; "prepare_$b"; "do_$b"
    else "prepare_$b"; "do_$b"; "prepare_$a"; "do_$a"; fi
  done
}
row() { # row CASE ZORVI_NAME PEER_NAME PEER_LABEL [NOTE]
  local z p zd note=${5:-}
  z=$(col "$2" 1); p=$(col "$3" 1); zd=$(col "$2" 3)
  [ -f "$work/${3%+}.note" ] && note="${note:+$note; }$(cat "$work/${3%+}.note")"
  printf "%-42s %8.3f %8.3f  %-20s %8.3f %7.3f %8d %8d  %s\n" "$1" "$z" "$zd" "$4" "$p" \
    "$(awk -v x="$z" -v y="$p" 'BEGIN{print (y > 0 ? x / y : 0)}')" \
    $(( $(col "$2" 2) / 1024 )) $(( $(col "$3" 2) / 1024 )) "$note"
}
# durable CASE ZORVI_NAME PEER_NAME PEER_LABEL [NOTE]: the rows against the bare peer and
# against the peer followed by a syncfs.
durable() {
  rows+=("$(row "$@")")
  rows+=("$(row "$1" "$2" "$3+" "$4 + syncfs" "${5:-}")")
}
header() {
  printf "%-42s %8s %8s  %-20s %8s %7s %8s %8s  %s\n" case "zorvi s" "done s" peer "peer s" ratio "zorvi MB" "peer MB" note
}
# same_tree A B: B holds what A holds, links compared by their texts.
same_tree() { diff -r --no-dereference "$1" "$2" >/dev/null || { echo "$3" >&2; diff -r --no-dereference "$1" "$2" | head -n 20 >&2; exit 1; }; }

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
  label=$(basename "$tree")
  trees_seen+=("$label: $(find "$src" -type f | wc -l) files, $(find "$src" -type l | wc -l) symbolic links, $(du -sm "$src" | cut -f1) MB")
  echo "== ${trees_seen[-1]}" >&2

  # Fresh plain-copy backup vs cp -a and rsync -a into empty places.
  prepare_zfresh() { rm -rf "$t/zf"; mkdir -p "$t/zf"; }
  do_zfresh() { run zfresh "$bench" backup --mode copy --dest "$t/zf" --name T "$src"; }
  prepare_cp() { rm -rf "$t/cp"; mkdir -p "$t/cp"; }
  do_cp() { run_synced cp "$t/cp" cp -a "$src" "$t/cp/"; }
  prepare_rsfresh() { rm -rf "$t/rf"; mkdir -p "$t/rf"; }
  do_rsfresh() { run_synced rsfresh "$t/rf" rsync -a "$src" "$t/rf/"; }
  pair zfresh cp
  mv "$work/zfresh" "$work/zfresh1"
  pair zfresh rsfresh
  durable "$label: fresh backup" zfresh1 cp "cp -a"
  durable "$label: fresh backup" zfresh rsfresh "rsync -a"
  rm -rf "$t/cp" "$t/rf" "$t/zf"

  # Repeat backups over the previous one vs rsync -a over its previous copy.
  mkdir -p "$t/zr" "$t/rr"
  quiet "$bench" backup --mode copy --dest "$t/zr" --name T "$src"
  rsync -a "$src" "$t/rr/"
  prepare_zrepeat() { :; }
  do_zrepeat() { run zrepeat "$bench" backup --mode copy --dest "$t/zr" --name T "$src"; }
  prepare_rsrepeat() { :; }
  do_rsrepeat() { run_synced rsrepeat "$t/rr" rsync -a "$src" "$t/rr/"; }
  pair zrepeat rsrepeat
  durable "$label: repeat, no change" zrepeat rsrepeat "rsync -a"
  # Every tenth file gets a line more (size and time change) before each pair of runs.
  mapfile -t tenth < <(find "$src" -type f | sort | awk 'NR % 10 == 1')
  change() { local f; for f in "${tenth[@]}"; do echo "changed $RANDOM" >>"$f"; done; }
  rm -f "$work/zrepeat" "$work/rsrepeat" "$work/rsrepeat+"
  for i in $(seq 1 "$runs"); do
    change
    if [ $((i % 2)) = 1 ]; then do_zrepeat; do_rsrepeat; else do_rsrepeat; do_zrepeat; fi
  done
  durable "$label: repeat, ${#tenth[@]} changed" zrepeat rsrepeat "rsync -a"
  same_tree "$src" "$t/zr/T$src" "the repeat backup differs from its source"
  rm -rf "$t/rr"

  # Plain-copy restore over the existing tree vs cp -a of the backup over a copy of it.
  mkdir -p "$t/cpr"
  cp -a "$t/zr/T$src" "$t/cpr/"
  prepare_zrestore() { :; }
  do_zrestore() { run zrestore "$bench" restore --mode copy --dest "$t/zr" --name T "$src"; }
  prepare_cprestore() { :; }
  do_cprestore() { run_synced cprestore "$t/cpr" cp -a "$t/zr/T$src" "$t/cpr/"; }
  pair zrestore cprestore
  durable "$label: plain restore over tree" zrestore cprestore "cp -a"
  same_tree "$t/zr/T$src" "$src" "the plain restore differs from its backup"
  rm -rf "$t/cpr"
  [ "$archives" = 1 ] || { rm -rf "$t"; continue; }

  # 7z backup vs 7zz a with the same switches.
  prepare_z7() { :; }
  do_z7() { run z7 "$bench" backup --mode 7z --dest "$t/z7" --name Z "$src"; }
  prepare_sz() { rm -f "$t/ref.7z"; }
  do_sz() { run_synced sz "$t" 7zz a "${sz_switches[@]}" -- "$t/ref.7z" "$src"; }
  mkdir -p "$t/z7"
  pair z7 sz
  ours=$(stat -c %s "$t/z7/Z/backup.7z"); ref=$(stat -c %s "$t/ref.7z")
  durable "$label: 7z backup" z7 sz "7zz a" "size $ours vs $ref ($(awk -v x="$ours" -v y="$ref" 'BEGIN{printf "%+.2f%%", (x / y - 1) * 100}'))"
  rm -f "$t/ref.7z"

  # 7z restore into empty places vs 7zz x into an empty folder; the restored tree is checked
  # against the plain backup, links included.
  prepare_z7empty() { rm -rf "$src"; }
  do_z7empty() { run z7empty "$bench" restore --mode 7z --dest "$t/z7" --name Z "$src"; }
  prepare_sxempty() { rm -rf "$t/x7"; mkdir -p "$t/x7"; }
  do_sxempty() { run_synced sxempty "$t/x7" 7zz x -y -bso0 -bsp0 "-o$t/x7" "$t/z7/Z/backup.7z"; }
  pair z7empty sxempty
  durable "$label: 7z restore into empty places" z7empty sxempty "7zz x"
  same_tree "$t/zr/T$src" "$src" "the 7z restore into empty places differs from the backed-up tree"

  # 7z restore over the existing tree vs 7zz x -aoa over the tree the last 7zz x left.
  prepare_z7over() { :; }
  do_z7over() { run z7over "$bench" restore --mode 7z --dest "$t/z7" --name Z "$src"; }
  prepare_sxover() { :; }
  do_sxover() { run_synced sxover "$t/x7" 7zz x -aoa -y -bso0 -bsp0 "-o$t/x7" "$t/z7/Z/backup.7z"; }
  pair z7over sxover
  durable "$label: 7z restore over tree" z7over sxover "7zz x -aoa"
  same_tree "$t/zr/T$src" "$src" "the 7z restore over the tree differs from the backed-up tree"
  rm -rf "$t"
done

if [ "$big" = 1 ]; then
  echo "== 2 GiB incompressible file" >&2
  b=$work/b
  mkdir -p "$b/src" "$b/dest"
  head -c 2G /dev/urandom >"$b/src/blob.bin"
  rm -f "$work/zbig" "$work/szbig" "$work/szbig+"
  run zbig "$bench" backup --mode 7z --dest "$b/dest" --name B "$b/src"
  run_synced szbig "$b" 7zz a "${sz_switches[@]}" -- "$b/ref.7z" "$b/src"
  ours=$(stat -c %s "$b/dest/B/backup.7z"); ref=$(stat -c %s "$b/ref.7z")
  ram=$(awk '/MemTotal/{printf "%d", $2 / 1024}' /proc/meminfo)
  durable "2 GiB random file: 7z backup" zbig szbig "7zz a" "size $ours vs $ref"
  trees_seen+=("2 GiB random file; machine memory $ram MB")
  rm -rf "$b"
fi

if [ -n "$meta_tree" ]; then
  m=$work/m
  mkdir -p "$m/dest" "$m/cp"
  cp -a "$meta_tree" "$m/src"
  quiet "$bench" backup --mode copy --dest "$m/dest" --name M "$m/src"
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
echo "7zz a switches, as Zorvi passes them: ${sz_switches[*]}"
echo "runs per side: $runs (interleaved; medians, ratio of medians); $(nproc) cores, $(awk '/MemTotal/{printf "%d MB", $2 / 1024}' /proc/meminfo); $(df -T "$work" | awk 'NR==2{print $2}') at $work"
header
printf '%s\n' "${rows[@]}"
