#!/usr/bin/env bash
# compare-shapes.sh OLD NEW GENDESIGN [WORKDIR] - the report and the log of 8 generated designs of
# each shape (tree, drawing, CR LF, flat, parts-dense), written by two partlist commands, byte for
# byte; the new one runs with and without helper threads. Exit status 1 when any file differs.
set -u
[ $# -ge 3 ] || { echo "usage: bench/compare-shapes.sh OLD_PARTLIST NEW_PARTLIST GENDESIGN [WORKDIR]" >&2; exit 2; }
old=$(realpath "$1"); new=$(realpath "$2"); gen=$(realpath "$3"); work=${4:-/tmp/partlist-compare}
fails=0; n=0
for shape in tree drawing crlf flat dense; do
  for k in 1 2 3 4 5 6 7 8; do
    d=$work/$shape$k; rm -rf $d; mkdir -p $d
    case $shape in
      tree) $gen --sheets $((k*37)) --parts $((20+k*5)) $d ;;
      drawing) $gen --sheets $((k*29)) --drawing --props $((k%3+1)) $d ;;
      crlf) $gen --sheets $((k*31)) --crlf --placements 3 $d ;;
      flat) $gen --sheets 1 --parts $((k*3000)) --distinct $((k*40)) $d ;;
      dense) $gen --sheets $((k*50+49)) --depth 3 --shared 4 --parts 108 --distinct 200 --values 20 --props 2 --unwired $d ;;
    esac >/dev/null
    (cd $d && $old -p . top.sch >/dev/null 2>&1; mv top.out old.out; mv top.log old.log
     PARTLIST_THREADS=0 $new -p . top.sch >/dev/null 2>&1; mv top.out new0.out; mv top.log new0.log
     $new -p . top.sch >/dev/null 2>&1)
    for f in out log; do
      n=$((n+1))
      cmp -s $d/old.$f $d/top.$f || { echo "DIFF $shape$k top.$f"; fails=$((fails+1)); }
      cmp -s $d/old.$f $d/new0.$f || { echo "DIFF $shape$k top.$f without threads"; fails=$((fails+1)); }
    done
  done
done
echo "$n comparisons (x2 with and without helpers), $fails differ"
[ "$fails" -eq 0 ]
