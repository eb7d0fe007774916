#!/bin/sh
# Writes optimal bases of Netlib models (MPS basis files) with the peer LP
# solver, for factor_bench --bases DIR.
#   make_bases.sh OUTDIR [model ...]
set -e
out=${1:?usage: make_bases.sh OUTDIR [model ...]}
shift
data=$(cd "$(dirname "$0")/../../../shared/data/netlib" && pwd)
models=${*:-"afiro sc205 scfxm3 ship12l bnl2 25fv47 pilot degen3 80bau3b fit2p d2q06c greenbea maros-r7 dfl001"}
mkdir -p "$out"
tmp=$(mktemp -d)
for m in $models; do
  zcat "$data/$m.mps.gz" > "$tmp/$m.mps"
  (cd "$tmp" && clp "$m.mps" -dualsimplex -basisOut "$out/$m.bas" > "$tmp/$m.log" 2>&1) || echo "$m: failed"
  tail -1 "$tmp/$m.log"
done
rm -rf "$tmp"
