#!/usr/bin/env bash
# Runs the pandas/h5py example of docs/trace.md as it is written there, on the
# run the page says made its files. Fails when the example does not run.
#   hdf_trace_example.sh QUILLMOTH_SIM REPOSITORY
set -euo pipefail
sim=$1
repo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The example block is the first ```python block after its marker comment.
awk '/<!-- example: docs.HdfTraceExampleRuns/ {found=1; next}
     found && /^```python/ {inside=1; next}
     inside && /^```/ {exit}
     inside {print}' "$repo/docs/trace.md" >example.py
[ -s example.py ] || { echo "no example block found in docs/trace.md" >&2; exit 1; }
"$sim" run --seed 1 --steps 300 --trace-every 10 --trace run.h5 \
    --checkpoint-every 100 --checkpoint-dir checkpoints --quiet "$repo/data/source.txt" >/dev/null
/usr/bin/python3 example.py
