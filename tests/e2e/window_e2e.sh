#!/usr/bin/env bash
# End-to-end tests of the window program under Xvfb with Mesa's software OpenGL.
#
#   window_e2e.sh scene      QUILLMOTH DATA_DIR   the scene is drawn and Escape quits with 0
#   window_e2e.sh no-gene    QUILLMOTH DATA_DIR   without source.txt the compile error is logged and it fails
#   window_e2e.sh screenshot QUILLMOTH DATA_DIR OUT.png   a picture of a grown creature, for the README
#   window_e2e.sh no-display QUILLMOTH DATA_DIR   without a display it fails with 1 and says why
#   window_e2e.sh bench      QUILLMOTH DATA_DIR   the frame and step benchmarks print their JSON lines
#   window_e2e.sh compare    QUILLMOTH DATA_DIR REFERENCE_DIR [OUT_DIR]
#                            the starter creature (seed 7, 300 steps) and a large one (8,192
#                            nodes) look as in the reference pictures, within a small tolerance
#
# Each run works in a fresh temporary folder holding copies of the art files.
# Fails when a tool it needs is missing: a window test that did not run has not passed.
# QM_E2E_KEEP=1 keeps the folder
# (screenshots, program output) for a look afterwards; QM_E2E_GROW sets the
# seconds the creature grows before the camera moves (4).
set -uo pipefail

mode=$1
quillmoth=$(realpath "$2")
data=$(realpath "$3")
out=${4:+$(realpath -m "$4")}
keep=${5:+$(realpath -m "$5")}

for tool in xvfb-run xdotool import convert; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is not installed (scripts/test installs it)"
        exit 1
    fi
done

fail() {
    echo "FAIL: $*"
    echo "--- program output ---"
    tail -n 20 "$work/out.txt" 2>/dev/null
    exit 1
}

# The outer run makes the scratch folder and the virtual display, then runs
# the checks inside it.
if [ -z "${QM_E2E_WORK:-}" ]; then
    work=$(mktemp -d /tmp/quillmoth-e2e-XXXXXX)
    cp "$data"/floor.bmp "$data"/sky.bmp "$data"/goal.bmp "$data"/goal.x "$work"/
    export LIBGL_ALWAYS_SOFTWARE=1
    # In a sanitizer build the program runs with address and undefined-behaviour
    # checks but without the leak check: what the X, OpenGL and font libraries
    # keep until exit cannot be told from a leak of ours by its stack (the fast
    # unwinder stops inside the driver, and the slow one deadlocks in the JIT
    # of Mesa's software rasteriser). The unit tests leak-check our own code.
    export LSAN_OPTIONS="detect_leaks=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
    QM_E2E_WORK=$work xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
    status=$?
    [ -n "${QM_E2E_KEEP:-}" ] || rm -rf "$work"
    exit $status
fi
work=$QM_E2E_WORK

cd "$work" || exit 1

# Average colour of a rectangle of an image, as "R G B" in 0..255.
mean_colour() {  # image x y w h
    convert "$1" -crop "$4x$5+$2+$3" +repage -resize '1x1!' -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}

# Pixels of the image in the node colour of the test gene (magenta: red and blue, no green).
magenta_pixels() {
    convert "$1" -fx '(r>0.3 && b>0.3 && g<0.15 && abs(r-b)<0.15) ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:
}

start() {  # quillmoth arguments...
    "$quillmoth" "$@" >out.txt 2>&1 &
    pid=$!
}

# Waits up to $1 seconds for the process to end; its exit code in $status.
wait_exit() {
    local limit=$(($1 * 10))
    for ((i = 0; i < limit; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            status=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

find_window() {
    for ((i = 0; i < 300; i++)); do
        wid=$(xdotool search --name '^Quillmoth$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Holds a key long enough for a frame to see it held.
hold() {  # key seconds
    xdotool keydown --window "$wid" "$1" 2>/dev/null || xdotool keydown "$1"
    sleep "$2"
    xdotool keyup --window "$wid" "$1" 2>/dev/null || xdotool keyup "$1"
}

# The gene that doubles its cells every 100 steps: 1,024 nodes at step 1,000,
# 8,192 from step 1,300, 32,768 from step 1,500.
grow_gene='PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )'

# How many pixels of two pictures differ by more than the fuzz in some channel.
differing_pixels() {  # a b fuzz
    compare -metric AE -fuzz "$3" "$1" "$2" null: 2>&1 | cut -d' ' -f1
}

case "$mode" in
no-display)
    env -u DISPLAY -u WAYLAND_DISPLAY "$quillmoth" --seed 1 >out.txt 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status without a display, expected 1"
    grep -q '^quillmoth: cannot open a window on a display (DISPLAY is not set): ' out.txt ||
        fail "no stderr line saying there is no display"
    echo "PASS: without a display the program failed with 1 and said why"
    ;;

bench)
    echo "$grow_gene" >grow.txt
    "$quillmoth" --seed 1 --steps-first 1000 --bench-frames 3 grow.txt >bench.json 2>out.txt
    status=$?
    [ "$status" -eq 0 ] || fail "exit code $status, expected 0"
    [ "$(wc -l <bench.json)" -eq 1 ] || fail "not one line on stdout: $(cat bench.json)"
    grep -Eq '^\{"frames":3,"seconds":[0-9]+\.[0-9]+,"fps":[0-9]+\.[0-9]+,"nodes":1024,"links":3066\}$' bench.json ||
        fail "unexpected benchmark line: $(cat bench.json)"
    echo "benchmark: $(cat bench.json)"
    # The step benchmark runs the window as usual for so many more steps.
    "$quillmoth" --seed 1 --steps-first 1000 --bench-steps 5 grow.txt >steps.json 2>out.txt
    status=$?
    [ "$status" -eq 0 ] || fail "exit code $status for the step benchmark, expected 0"
    grep -Eq '^\{"steps":5,"seconds":[0-9.]+,"steps_per_second":[0-9.]+,"frames_drawn":[0-9]+,"nodes":1024,"links":3066\}$' steps.json ||
        fail "unexpected step benchmark line: $(cat steps.json)"
    echo "step benchmark: $(cat steps.json)"
    # A screenshot that cannot be written fails the run and names the file.
    "$quillmoth" --seed 1 --bench-frames 1 --screenshot /nonexistent/shot.bmp grow.txt >/dev/null 2>out.txt
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status for an unwritable screenshot, expected 1"
    grep -q '^quillmoth: cannot write the screenshot /nonexistent/shot.bmp: ' out.txt ||
        fail "no stderr line naming the screenshot file"
    echo "PASS: the benchmarks printed their lines and exited with 0"
    ;;

compare)
    # Pixels that may differ by more than the fuzz: edges of faces that land a
    # rounding error apart when drawn another way (14 and 73 when the batched
    # drawing was compared with the one-call-per-draw pictures), scattered
    # single pixels. A cube of the starter creature alone covers 50 to 80.
    cp "$data/source.txt" source.txt
    echo "$grow_gene" >grow.txt
    for shot in "starter 7 300 source.txt 40" "large 1 1300 grow.txt 250"; do
        read -r name seed steps gene limit <<<"$shot"
        "$quillmoth" --seed "$seed" --steps-first "$steps" --bench-frames 1 --screenshot "$name.bmp" "$gene" \
            >/dev/null 2>out.txt || fail "no screenshot of $name"
        convert "$name.bmp" "$name.png" || fail "cannot convert $name.bmp"
        [ -z "$keep" ] || { mkdir -p "$keep" && cp "$name.png" "$keep/"; }
        n=$(differing_pixels "$out/$name.png" "$name.png" 3%)
        echo "$name: $n pixels differ from $out/$name.png by more than 3%"
        [ "$n" -le "$limit" ] || fail "$name: $n pixels differ (at most $limit allowed)"
    done
    echo "PASS: both pictures match their references"
    ;;

no-gene)
    start --seed 1
    wait_exit 60 || { kill "$pid"; fail "the program did not quit without source.txt"; }
    [ "$status" -eq 1 ] || fail "exit code $status, expected 1"
    grep -qx 'quillmoth: cannot read gene file source.txt: No such file or directory' out.txt ||
        fail "no stderr line naming source.txt and the reason"
    [ -f error.lot.txt ] || fail "no error.lot.txt"
    expected=$(printf 'GPmanager::GetCode; \xe4\xb8\x8d\xe6\xad\xa3\xe3\x81\xaa\xe3\x82\xb3\xe3\x83\xbc\xe3\x83\x89\xe3\x81\xa7\xe3\x81\x99\n' | od -An -tx1)
    actual=$(od -An -tx1 error.lot.txt)
    [ "$expected" = "$actual" ] || fail "error.lot.txt holds: $(cat error.lot.txt)"
    # The device fallbacks and the engine's seed line are debug text: only with --debug.
    grep -q 'DIRECT3D\|rand seed' out.txt && fail "debug text on standard error without --debug"
    grep -qx 'quillmoth: seed 1 (--seed 1 repeats the run)' out.txt || fail "no line naming the seed"

    # A misspelt primitive: the log's exact text, then where it is and what was meant.
    printf 'PROG2\n  ( SETP ( 0 1 ) )\n  ( GDIVDE ( 0 ) )\n' >source.txt
    start --seed 1 --debug
    wait_exit 60 || { kill "$pid"; fail "the program did not quit on a gene that does not compile"; }
    [ "$status" -eq 1 ] || fail "exit code $status for a misspelt gene, expected 1"
    logged=$(printf 'GPmanager::GetCode; \xe4\xb8\x8d\xe6\xad\xa3\xe3\x81\xaa\xe9\x96\xa2\xe6\x95\xb0\xe5\x90\x8d\xe3\x81\x8c\xe6\xa4\x9c\xe5\x87\xba\xe3\x81\x95\xe3\x82\x8c\xe3\x81\xbe\xe3\x81\x97\xe3\x81\x9f: GDIVDE')
    [ "$(cat error.lot.txt)" = "$logged" ] || fail "error.lot.txt holds: $(cat error.lot.txt)"
    at_log=$(grep -nxF "$logged" out.txt | head -n 1 | cut -d: -f1)
    at_hint=$(grep -nx 'unknown primitive GDIVDE at source.txt:3:5; did you mean GDIVIDE?' out.txt | cut -d: -f1)
    [ -n "$at_log" ] && [ -n "$at_hint" ] && [ "$at_hint" -gt "$at_log" ] ||
        fail "standard error does not show the logged text and then the hint"
    grep -q 'DIRECT3D' out.txt || fail "--debug shows no device fallbacks"
    echo "PASS: the compile error was logged, the missing file named and the program failed with 1"
    ;;

scene | screenshot)
    # A gene that colours its one node magenta (red = blue = P0 = 1, green =
    # P1 = 0), a colour found nowhere else in the scene.
    if [ "$mode" = scene ]; then
        echo 'PROG2 ( SETP ( 0 1 ) SETCOLP ( 0 0.15 0 ) )' >source.txt
    else
        cp "$data/source.txt" source.txt
    fi
    start --seed 7
    find_window || fail "no window titled Quillmoth appeared"
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep "${QM_E2E_GROW:-4}"
    kill -0 "$pid" 2>/dev/null || fail "the program ended early"

    if [ "$mode" = scene ]; then
        import -window "$wid" start.png || fail "no screenshot"
        read -r w h < <(identify -format '%w %h' start.png)
        [ "$w" -eq 640 ] && [ "$h" -eq 480 ] || fail "the window is ${w}x${h}, expected 640x480"
        # From the start camera: sky across the top, floor across the bottom.
        read -r r g b < <(mean_colour start.png 0 0 640 60)
        [ "$b" -gt 150 ] && [ "$b" -gt $((r + 30)) ] || fail "the top of the picture is not sky blue ($r $g $b)"
        read -r r g b < <(mean_colour start.png 0 420 640 60)
        [ "$g" -gt "$r" ] && [ "$g" -gt "$b" ] && [ "$g" -gt 80 ] || fail "the bottom of the picture is not the green floor ($r $g $b)"
        # The goal is straight ahead, drawn in gold just below the horizon.
        read -r r g b < <(mean_colour start.png 310 240 20 40)
        echo "start: goal region $r $g $b"
    fi

    # C centres the camera on the creature.
    hold c 0.6
    sleep 1
    if [ "$mode" = screenshot ]; then
        # Look down on the creature from above and behind: turn the view down
        # in place (slowly, so that every frame sees the button held), centre
        # again along the new direction, then step back.
        xdotool mousemove --window "$wid" 320 240
        xdotool mousedown 1
        for ((i = 0; i < 7; i++)); do xdotool mousemove_relative -- 0 3; sleep 0.1; done
        sleep 0.3
        xdotool mouseup 1
        hold c 0.3
        hold b 0.15
        sleep 0.5
        # Select a node near the middle of the picture with S, so that its state
        # shows in green: try the insides of the coloured patches nearest the
        # middle, below the horizon (a pick must pass close to a node's centre),
        # until one takes.
        import -window "$wid" composed.png
        convert composed.png -fx 'j>170 && (abs(r-g)>0.4 || abs(g-b)>0.4 || abs(r-b)>0.4) && max(r,max(g,b))>0.45 ? 1 : 0' txt:- |
            awk -F'[,: ]+' '/#FFFFFF/ { print $1, $2 }' >coloured.txt
        awk '{ on[$1 "," $2] = 1; x[NR] = $1; y[NR] = $2 }
             END {
                 for (i = 1; i <= NR; i++) {
                     inside = 1
                     for (dx = -3; dx <= 3; dx += 3) for (dy = -3; dy <= 3; dy += 3) if (!((x[i] + dx) "," (y[i] + dy) in on)) inside = 0
                     if (inside) print (x[i] - 320)^2 + (y[i] - 240)^2, x[i], y[i]
                 }
             }' coloured.txt | sort -n |
            awk '{ for (j = 1; j <= n; j++) if (($2 - cx[j])^2 + ($3 - cy[j])^2 < 400) next; n++; cx[n] = $2; cy[n] = $3; print $2, $3; if (n == 6) exit }' >candidates.txt
        while read -r px py; do
            xdotool mousemove --window "$wid" "$px" "$py"
            sleep 0.2
            xdotool mousedown 1
            hold s 0.3
            xdotool mouseup 1
            sleep 0.5
            import -window "$wid" picked.png
            green=$(convert picked.png -crop 400x70+0+0 +repage -fx 'g>0.7 && r<0.4 && b<0.4 ? 1 : 0' -format '%[fx:int(mean*w*h+0.5)]' info:)
            [ "$green" -gt 50 ] && break
        done <candidates.txt
        sleep 1
        import -window "$wid" "$out" || fail "no screenshot"
    else
        import -window "$wid" centred.png || fail "no screenshot"
        nodes=$(magenta_pixels centred.png)
        echo "centred: $nodes pixels in the node colour"
        [ "$nodes" -ge 40 ] || fail "no node drawn in the middle of the picture ($nodes magenta pixels)"
        read -r r g b < <(mean_colour centred.png 0 0 640 40)
        [ "$b" -gt 150 ] && [ "$b" -gt $((r + 30)) ] || fail "the top of the centred picture is not sky blue ($r $g $b)"
    fi

    hold Escape 0.5
    wait_exit 30 || { kill "$pid"; fail "Escape did not end the program"; }
    [ "$status" -eq 0 ] || fail "exit code $status after Escape, expected 0"
    echo "PASS: the scene was drawn and Escape ended the program with 0"
    ;;
*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
