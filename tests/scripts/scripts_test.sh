#!/usr/bin/env bash
# The user scripts, end to end, in a scratch folder.
#
#   scripts_test.sh plot-python ROOT       scripts/plot runs the python3 a user activated when it has
#                                          matplotlib and pandas, else Debian's, else says what to install
#   scripts_test.sh run-paths ROOT         scripts/run passes the files of --replay, --resume, --video
#                                          and the gene through from where the user stands, and without
#                                          a display turns a replay into a video or says what to do
#   scripts_test.sh sweep ROOT SIM         the sweep plot tells goals from errors and says how many
#                                          runs its median covers
set -uo pipefail

mode=$1
root=$(realpath "$2")
sim=${3:+$(realpath "$3")}
work=$(mktemp -d /tmp/quillmoth-scripts-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

fail() {
    echo "FAIL: $*"
    [ -f out.txt ] && { echo "--- output ---"; cat out.txt; }
    exit 1
}

# A python3 that stands in for the user's: it logs its use, and has the
# modules only when told to (it runs Debian's python3 when it has them).
fake_python() {  # DIR HAS_MODULES
    mkdir -p "$1"
    cat >"$1/python3" <<PY
#!/usr/bin/env bash
echo "$1/python3 \$*" >>"$work/used.txt"
if [ "$2" = no ]; then exit 1; fi
exec /usr/bin/python3 "\$@"
PY
    chmod +x "$1/python3"
}

case "$mode" in
plot-python)
    /usr/bin/python3 -c 'import matplotlib, pandas' 2>/dev/null || fail "Debian's python3 lacks matplotlib or pandas"
    printf 'step,nodes,links,centroid_x,centroid_y,centroid_z,goal_distance\n0,1,0,0,0,0,250\n1,2,1,0,-1,0,249\n' >s.csv
    fake_python "$work/venv/bin" yes
    fake_python "$work/bare/bin" no
    # The activated Python has the modules: it draws, nothing is installed.
    PATH="$work/venv/bin:$PATH" "$root/scripts/plot" s.csv -o a.png >out.txt 2>&1 || fail "scripts/plot failed with an activated python3"
    [ -s a.png ] || fail "no a.png"
    grep -q "^$work/venv/bin/python3 .*plot.py s.csv -o a.png" used.txt || fail "the activated python3 did not draw"
    grep -q "Installing" out.txt && fail "scripts/plot installed packages"
    # It lacks them: Debian's draws.
    rm -f used.txt
    PATH="$work/bare/bin:$PATH" "$root/scripts/plot" s.csv -o b.png >out.txt 2>&1 || fail "scripts/plot did not fall back"
    [ -s b.png ] || fail "no b.png from Debian's python3"
    grep -q "plot.py" used.txt && fail "the python3 without the modules drew"
    # Neither has them: it says what to install, and fails.
    PATH="$work/bare/bin:$PATH" QM_SYSTEM_PYTHON="$work/bare/bin/python3" "$root/scripts/plot" s.csv -o c.png >out.txt 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status without the modules, expected 1"
    grep -q "pip install matplotlib pandas" out.txt || fail "no word on what to install"
    [ -e c.png ] && fail "c.png was drawn"
    echo "PASS: scripts/plot uses the activated python3, falls back to Debian's, and says what to install"
    ;;

run-paths)
    mkdir -p here/sub && cd here || exit 1
    run() { env -u DISPLAY -u WAYLAND_DISPLAY QM_RUN_DRY=1 PATH="$path" "$root/scripts/run" "$@" 2>"$work/out.txt"; }
    path=$PATH
    # Every file option's value is made absolute from where the user stands.
    got=$(env QM_RUN_DRY=1 WAYLAND_DISPLAY=wayland-0 "$root/scripts/run" --seed 4 --replay sub/t.jsonl \
        --video /tmp/v.mp4 --goal 0,-25,100 2>/dev/null)
    expected="$root/build/quillmoth --seed 4 --replay $work/here/sub/t.jsonl --video /tmp/v.mp4 --goal 0,-25,100 "
    [ "$got" = "$expected" ] || fail "with a display: '$got', expected '$expected'"
    got=$(env QM_RUN_DRY=1 WAYLAND_DISPLAY=wayland-0 "$root/scripts/run" --resume ck/step-00000100.h5 g.txt)
    expected="$root/build/quillmoth --resume $work/here/ck/step-00000100.h5 $work/here/g.txt "
    [ "$got" = "$expected" ] || fail "resume with a display: '$got', expected '$expected'"
    # No display: a replay becomes a video beside the trace (under xvfb-run when there is one) ...
    if command -v xvfb-run >/dev/null 2>&1; then
        got=$(run --replay sub/t.jsonl)
        [[ "$got" == "xvfb-run -a -s "*" $root/build/quillmoth --replay $work/here/sub/t.jsonl --video $work/here/sub/t.mp4 " ]] ||
            fail "no display, a replay: '$got'"
    fi
    # ... or, without xvfb-run, it says what to do; a trace is never read as a gene.
    mkdir -p "$work/bin"
    for tool in bash env dirname cat pwd printf id dpkg-query grep; do
        [ -x "$(command -v $tool)" ] && ln -sf "$(command -v $tool)" "$work/bin/$tool"
    done
    path=$work/bin
    got=$(run --replay sub/t.jsonl)
    status=$?
    [ "$status" -eq 1 ] && [ -z "$got" ] || fail "no display nor xvfb-run: status $status, ran '$got'"
    grep -q "xvfb-run -a $root/build/quillmoth --replay $work/here/sub/t.jsonl --video $work/here/sub/t.mp4" "$work/out.txt" ||
        fail "no word on how to make the video"
    got=$(run --resume ck.h5)
    [ $? -eq 1 ] && grep -q "quillmoth-sim run --resume $work/here/ck.h5 --steps N" "$work/out.txt" ||
        fail "no word on how to resume headless: '$got'"
    path=$PATH
    got=$(run --seed 2 g.txt)
    [ "$got" = "$root/build/quillmoth-sim run --seed 2 $work/here/g.txt " ] || fail "no display, a gene: '$got'"
    echo "PASS: scripts/run passes the files through and, without a display, does what it can"
    ;;

sweep)
    # Two runs that reach the goal, one that ends with an error (too many nodes), one that completes.
    for seed in 1 2; do
        "$sim" run --seed $seed --steps 600 --quiet --stats $seed.csv --log $seed.log "$root/data/genes/goal-seeker.txt" >$seed.json
    done
    "$sim" run --seed 3 --steps 600 --max-nodes 2 --quiet --stats 3.csv --log 3.log "$root/data/source.txt" >3.json 2>/dev/null
    "$sim" run --seed 4 --steps 50 --quiet --stats 4.csv --log 4.log "$root/data/source.txt" >4.json
    cp 4.csv 5.csv  # a run whose summary is missing
    outcomes=$(cat 1.json 2.json 3.json 4.json | grep -o '"outcome":"[a-z]*"' | sort | uniq -c | tr -s ' ' | tr '\n' ';')
    echo "outcomes: $outcomes"
    "$root/scripts/plot" --sweep 1.csv 2.csv 3.csv 4.csv 5.csv -o sweep.png >out.txt 2>&1 || fail "the sweep plot failed"
    [ -s sweep.png ] || fail "no sweep.png"
    title=$(cd "$root/scripts" && /usr/bin/python3 -c "
import plot, sys
print(plot.sweep_title([plot.run_outcome(f'$work/{n}.csv') for n in (1, 2, 3, 4, 5)]))")
    goals=$(grep -c '"outcome":"goal"' 1.json 2.json 3.json 4.json | awk -F: '{s += $2} END {print s}')
    errors=$(grep -c '"outcome":"error"' 1.json 2.json 3.json 4.json | awk -F: '{s += $2} END {print s}')
    completed=$(grep -c '"outcome":"completed"' 1.json 2.json 3.json 4.json | awk -F: '{s += $2} END {print s}')
    expected="5 runs: $goals reached the goal, $errors ended with an error, $completed completed, 1 without a summary (runs/N.json beside runs/N.csv)"
    [ "$title" = "$expected" ] || fail "the title reads '$title', expected '$expected'"
    [ "$errors" -ge 1 ] && [ "$goals" -ge 1 ] || fail "the sweep needs a goal and an error to tell apart: $outcomes"
    grep -q 'label=f"median of the runs going ({going.iloc\[0\]} at step' "$root/scripts/plot.py" ||
        fail "the median's label does not say how many runs it covers"
    echo "PASS: $title"
    ;;
esac
