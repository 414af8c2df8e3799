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
#   scripts_test.sh evolve-plot ROOT       the search plots draw the behaviour grid of 2 and 1
#                                          descriptors and compare searches; they refuse what they cannot read
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

evolve-plot)
    head=generation,best,median,worst,best_length,best_nodes,best_closest,best_goal_seeds,evaluations
    search() {  # DIR ALGORITHM DESCRIPTORS(name:cells,...) ARCHIVE_ROWS...
        local dir=$1 json="" names="" cells="" d
        mkdir -p "$dir" && printf 'seed 7\n' >"$dir/checkpoint.txt"
        printf '%s\n' "$head,total_evaluations,archive_cells,evaluations_per_second" "1,40,90,1e6,9,3,39,0,8,8,2,5" \
            "2,0.5,60,1e6,9,3,0,1,8,16,3,5" >"$dir/generations.csv"
        for d in ${3//,/ }; do
            json+="${json:+,}{\"name\":\"${d%:*}\",\"low\":-10,\"high\":10,\"cells\":${d#*:}}"
            names+="${d%:*},"; cells+="cell_${d%:*},"
        done
        printf '# {"algorithm":"%s","task":"goal","descriptors":[%s]}\n%s%sfitness,id,generation,length,code\n' \
            "$2" "$json" "$cells" "$names" >"$dir/archive.csv"
        shift 3 && printf '%s\n' "$@" >>"$dir/archive.csv"
    }
    search q2 map-elites dx:4,dz:3 "0,0,-9,-9,40,1,1,9,x" "3,2,9,9,0.5,2,2,9,dup(x,y)" "1,2,-4,9,1e6,3,2,9,x"
    search q1 novelty dx:5 "4,9,0.5,1,1,9,x" "0,-9,30,2,2,9,x"
    search bad ga dx:5 "x,9,0.5,1,1,9,x"
    mkdir -p bare old empty && cp q2/generations.csv bare && tail -n +2 q2/archive.csv >bare/archive.csv
    cut -d, -f1-9,12 q2/generations.csv >old/generations.csv
    mkdir -p neg && sed 's/,0.5,/,-3,/; s/"goal"/"distance"/' q1/archive.csv >neg/archive.csv  # a cost below 0
    sed 's/,0.5,/,-3,/' q2/generations.csv >neg/generations.csv
    # status | arguments | files it must write | what its output (stdout, stderr, the SVG's text) must say
    # (or, after !, must not: a log scale has ticks 10^{...})
    while IFS='|' read -r status args files says; do
        before=$(find . -name '*.png' -o -name '*.svg' | sort)
        "$root/scripts/plot" $args >out.txt 2>&1
        got=$?
        [ "$got" -eq "$status" ] || fail "scripts/plot $args: status $got, expected $status"
        [ "$(wc -l <out.txt)" -ge 1 ] || fail "scripts/plot $args said nothing"
        for f in $files; do
            [ -s "$f" ] && grep -qx "$f" out.txt || fail "scripts/plot $args did not write and name $f"
        done
        [ "$status" -eq 0 ] || [ "$before" = "$(find . -name '*.png' -o -name '*.svg' | sort)" ] ||
            fail "scripts/plot $args wrote a picture and refused"
        IFS=';' read -ra patterns <<<"$says"
        for p in "${patterns[@]}"; do  # the SVG keeps its texts in comments
            grep -qF -- "${p#!}" out.txt $(printf '%s\n' $files | grep '\.svg$')
            [ $? -eq "$([ "${p:0:1}" = '!' ] && echo 1 || echo 0)" ] || fail "scripts/plot $args: '$p'"
        done
    done <<'CASES'
0|--evolve q2 -o q2f.svg --archive-output q2.svg|q2f.svg q2.svg|map-elites, task goal, 3 of 12 cells filled;goal reached (fitness &lt; 1): 1 cells;the engine failed;10^{;evaluations (runs so far)
0|--evolve neg -o negf.svg --archive-output neg.svg|negf.svg neg.svg|novelty, task distance, 2 of 5 cells filled;!goal reached;!10^{;!fitness 1
0|--evolve q1 --archive-output q1.svg|q1/fitness.png q1.svg|novelty, task goal, 2 of 5 cells filled;goal reached (fitness &lt; 1): 1 cells
0|--evolve bare --archive-output bare.svg|bare/fitness.png bare.svg|no '# {...}' line first;Behaviour grid of bare: 3 cells filled (of at least 12)
0|--evolve old -o old.svg|old.svg|!evaluations (runs so far);!archive
0|--evolve-compare c.svg q2 q1|c.svg|map-elites, seed 7 (q2);novelty, seed 7 (q1)
2|--evolve nowhere||nowhere: no such folder
2|--evolve empty||empty/generations.csv: no such file
2|--evolve bad||bad/archive.csv: row 1
2|--evolve-compare c.png q2 old||old/generations.csv has no column total_evaluations
2|--evolve-compare q2 q1||the first argument is the picture to write
CASES
    echo "PASS: the search plots draw 2 and 1 descriptors, compare searches and refuse what they cannot read"
    ;;
esac
