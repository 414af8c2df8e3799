#!/usr/bin/env bash
# The replay of a recorded run, end to end, under Xvfb with Mesa's software OpenGL.
#
#   replay_e2e.sh video     QUILLMOTH SIM DATA_DIR   traces of a shipped gene become videos with
#                                                   one frame per recorded step; a cut trace
#                                                   plays to its last whole step and says so
#   replay_e2e.sh no-ffmpeg QUILLMOTH SIM DATA_DIR   without ffmpeg --video exits 2 and says so,
#                                                   before any window (no display is given)
#   replay_e2e.sh window    QUILLMOTH SIM DATA_DIR   the replay window: P saves a PNG, Escape quits with 0
#   replay_e2e.sh resume    QUILLMOTH SIM DATA_DIR   the window resumed from a checkpoint reaches the
#                                                   straight run's creature
#   replay_e2e.sh goal      QUILLMOTH SIM DATA_DIR   the goal marker stands over the run's goal: a
#                                                   replay with --goal, a replay of a trace recorded
#                                                   with --goal, and a live run with --goal agree
#   replay_e2e.sh outputs   QUILLMOTH SIM DATA_DIR   P, F5 and --trace of the live window write where
#                                                   they say (full paths), and refuse what cannot be written
#
# Each run works in a fresh temporary folder holding copies of the art files.
# QM_E2E_KEEP=1 keeps it for a look afterwards.
set -uo pipefail

mode=$1
quillmoth=$(realpath "$2")
sim=$(realpath "$3")
data=$(realpath "$4")

fail() {
    echo "FAIL: $*"
    echo "--- program output ---"
    tail -n 20 "$work/out.txt" 2>/dev/null
    exit 1
}

if [ -z "${QM_E2E_WORK:-}" ]; then
    for tool in xvfb-run xdotool identify ffprobe; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is not installed (scripts/test installs it)"; exit 1; }
    done
    work=$(mktemp -d /tmp/quillmoth-replay-XXXXXX)
    cp "$data"/floor.bmp "$data"/sky.bmp "$data"/goal.bmp "$data"/goal.x "$work"/
    export LIBGL_ALWAYS_SOFTWARE=1
    export LSAN_OPTIONS="detect_leaks=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"  # as in window_e2e.sh
    if [ "$mode" = no-ffmpeg ]; then
        QM_E2E_WORK=$work bash "$0" "$@"
    else
        QM_E2E_WORK=$work xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"
    fi
    status=$?
    [ -n "${QM_E2E_KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
    exit $status
fi
work=$QM_E2E_WORK
cd "$work" || exit 1

frames_of() {  # video: the frames ffprobe counts in it
    ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# 40 steps of the walker, every step (41 recorded: step 0 to 40) as JSON lines
# and every 5th (9 recorded) as HDF5.
"$sim" run --seed 1 --steps 40 --quiet --trace run.jsonl "$data/genes/walker.txt" >/dev/null ||
    fail "quillmoth-sim did not record run.jsonl"
"$sim" run --seed 1 --steps 40 --quiet --trace-every 5 --trace run.h5 "$data/genes/walker.txt" >/dev/null ||
    fail "quillmoth-sim did not record run.h5"

# Starts the window with the given arguments, waits for it, presses each key
# given in KEYS (space-separated xdotool names) a second apart, then Escape.
# Standard error goes to out.txt; the status to $status.
run_window() {
    local keys=$1
    shift
    "$quillmoth" "$@" >"$work/out.txt" 2>&1 &
    local pid=$!
    wid=""
    for ((i = 0; i < 300; i++)); do
        wid=$(xdotool search --name '^Quillmoth$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
        sleep 0.1
    done
    [ -n "$wid" ] || fail "no window titled Quillmoth appeared"
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 2
    for key in $keys; do
        xdotool key --window "$wid" "$key" 2>/dev/null || xdotool key "$key"
        sleep 1
    done
    xdotool keydown --window "$wid" Escape 2>/dev/null || xdotool keydown Escape
    sleep 0.5
    xdotool keyup --window "$wid" Escape 2>/dev/null || xdotool keyup Escape
    for ((i = 0; i < 300; i++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "Escape did not end the window"; }
    wait "$pid"
    status=$?
}

# The window started with the arguments, P pressed: the screenshot's full path.
screenshot_of() {
    run_window p "$@"
    [ "$status" -eq 0 ] || fail "exit code $status for quillmoth $*, expected 0"
    local shot
    shot=$(sed -n 's/^quillmoth: screenshot saved as //p' out.txt | head -n 1)
    [ -n "$shot" ] && [ -f "$shot" ] || fail "P saved no screenshot for quillmoth $*"
    echo "$shot"
}

# The centre "X Y" of the marker's orange pixels in a picture, and their count.
marker_of() {
    convert "$1" -depth 8 txt:- | awk -F'[ ,:()]+' 'NR > 1 {
        if ($3 > 150 && $3 - $4 > 50 && $4 - $5 > 20 && $5 < 120) { n++; sx += $1; sy += $2 } }
        END { if (n) printf "%.0f %.0f %d\n", sx / n, sy / n, n; else print "none" }'
}

# Whether two marker centres are within 4 pixels of each other.
near() {
    read -r ax ay _ <<<"$1"
    read -r bx by _ <<<"$2"
    [ "$ax" != none ] && [ "$bx" != none ] && (((ax - bx) ** 2 + (ay - by) ** 2 <= 16))
}

case "$mode" in
goal)
    # One node at the origin (step 0 only), recorded with the default goal and with it moved nearer.
    cp "$data/source.txt" source.txt
    "$sim" run --seed 1 --steps 0 --quiet --trace default.jsonl source.txt >/dev/null || fail "no default.jsonl"
    "$sim" run --seed 1 --steps 0 --quiet --goal 0,-25,100 --trace near.jsonl source.txt >/dev/null ||
        fail "no near.jsonl"
    # The live run with the goal moved is the reference.
    live=$(marker_of "$(screenshot_of --seed 1 --goal 0,-25,100 source.txt)")
    over=$(marker_of "$(screenshot_of --goal 0,-25,100 --replay default.jsonl)")
    recorded=$(marker_of "$(screenshot_of --replay near.jsonl)")
    default=$(marker_of "$(screenshot_of --replay default.jsonl)")
    echo "marker centre (x y pixels): live --goal $live; replay --goal $over; replay of a --goal trace $recorded; default $default"
    read -r _ _ count <<<"$live"
    [ "$live" != none ] && [ "$count" -gt 500 ] || fail "the live run's marker at 0,-25,100 is not in view: $live"
    near "$over" "$live" || fail "--goal 0,-25,100 --replay draws the marker at $over, the live run at $live"
    near "$recorded" "$live" || fail "the replay of a trace recorded with --goal draws the marker at $recorded, not $live"
    near "$default" "$live" && fail "the replay of a trace with the default goal draws the marker at $default too"
    echo "PASS: the marker stands over the run's goal in replays and live runs"
    ;;

outputs)
    cp "$data/source.txt" source.txt
    # P names the picture by its full path; F5 saves a checkpoint and names it;
    # --trace records the steps. Started in a folder without the art files.
    mkdir shots
    (cd shots && run_window "p F5" --data-dir "$work" --seed 3 --trace ../live.jsonl ../source.txt
     [ "$status" -eq 0 ]) || fail "the window in shots/ did not end with 0"
    shot=$(sed -n 's/^quillmoth: screenshot saved as //p' out.txt)
    [[ "$shot" == "$work"/shots/quillmoth-*.png ]] || fail "the screenshot is named '$shot', not by its full path in shots/"
    [ -f "$shot" ] || fail "$shot does not exist"
    saved=$(sed -n 's/^quillmoth: checkpoint of step [0-9]* saved as //p' out.txt)
    step=$(sed -n 's/^quillmoth: checkpoint of step \([0-9]*\) saved as .*/\1/p' out.txt)
    [[ "$saved" == "$work"/shots/step-*.h5 ]] || fail "F5 saved no checkpoint named by its full path: '$saved'"
    # The checkpoint goes on headless, and the trace of the live run replays.
    "$sim" run --resume "$saved" --steps $((step + 5)) --quiet >resumed.json || fail "quillmoth-sim cannot resume $saved"
    grep -q '"outcome":"completed"' resumed.json || fail "the resumed run did not complete: $(cat resumed.json)"
    head -n 1 live.jsonl | grep -q '"manifest":{"program":"quillmoth"' || fail "live.jsonl starts without the window's manifest"
    lines=$(wc -l <live.jsonl)
    [ "$lines" -gt $((step + 1)) ] || fail "live.jsonl holds $lines lines, the run made more than $step steps"
    "$quillmoth" --replay live.jsonl --video live.mp4 >out.txt 2>&1 || fail "the live run's trace does not replay"
    grep -q "^quillmoth: wrote $work/live.mp4: " out.txt || fail "the video is not named by its full path"
    echo "P: $shot; F5 at step $step: $saved; live.jsonl: $lines lines"

    # What cannot be written is refused before anything is drawn (root may write anywhere).
    if [ "$(id -u)" -ne 0 ]; then
        mkdir locked && chmod a-w locked
        "$quillmoth" --replay live.jsonl --video locked/v.mp4 >out.txt 2>&1
        status=$?
        [ "$status" -eq 2 ] || fail "exit code $status for a video into a folder without write permission, expected 2"
        grep -q "^quillmoth: cannot write the video file $work/locked/v.mp4: Permission denied" out.txt ||
            fail "no line refusing locked/v.mp4"
        "$quillmoth" --trace locked/t.jsonl source.txt >out.txt 2>&1
        status=$?
        [ "$status" -eq 2 ] || fail "exit code $status for a trace that cannot be written, expected 2"
        (cd locked && run_window p --data-dir "$work" ../source.txt)
        grep -q "^quillmoth: cannot save the screenshot $work/locked/quillmoth-.*: Permission denied" out.txt ||
            fail "P in a folder without write permission said nothing"
        chmod u+w locked
    fi
    echo "PASS: P, F5, --trace and --video write where they say and refuse what they cannot write"
    ;;

video)
    for shot in "run.jsonl 41 30" "run.h5 9 10"; do
        read -r trace expected fps <<<"$shot"
        "$quillmoth" --replay "$trace" --video "$trace.mp4" --fps "$fps" >out.txt 2>&1
        status=$?
        [ "$status" -eq 0 ] || fail "exit code $status making a video of $trace, expected 0"
        grep -q "\[#*\] $expected/$expected frames" out.txt || fail "no full progress bar for $trace"
        n=$(frames_of "$trace.mp4")
        [ "$n" = "$expected" ] || fail "$trace.mp4 holds $n frames, expected $expected"
        rate=$(ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 "$trace.mp4")
        [ "$rate" = "$fps/1" ] || fail "$trace.mp4 runs at $rate frames per second, expected $fps"
        read -r w h < <(identify -format '%w %h\n' "$trace.mp4[0]" 2>/dev/null || ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=' ' "$trace.mp4")
        echo "$trace: $n frames of ${w}x${h} at $rate"
    done

    # Framed as asked: a size, and a camera standing still, circling or following. The still
    # camera's first frame is not the following camera's.
    for camera in "0,20,-60@0,-25,0" orbit follow; do
        "$quillmoth" --replay run.h5 --video "framed-${camera%%,*}.mp4" --video-size 320x240 \
            --video-camera "$camera" >out.txt 2>&1 || fail "exit code $? making a video with --video-camera $camera"
        size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "framed-${camera%%,*}.mp4")
        [ "$size" = 320x240 ] || fail "--video-size 320x240 --video-camera $camera made a video of $size"
        [ "$(frames_of "framed-${camera%%,*}.mp4")" = 9 ] || fail "the framed video of run.h5 lacks frames"
    done
    ffmpeg -v error -i framed-0.mp4 -frames:v 1 fixed.png && ffmpeg -v error -i framed-follow.mp4 -frames:v 1 follow.png ||
        fail "cannot take the framed videos' first frames"
    [ "$(compare -metric AE fixed.png follow.png null: 2>&1)" != 0 ] || fail "the fixed camera shows what the following one shows"
    for bad in "--video-size 641x480" "--video-size big" "--video-camera 1,2@3,4,5" "--video-camera 0,5,0@0,-5,0"; do
        # shellcheck disable=SC2086
        "$quillmoth" --replay run.h5 --video bad.mp4 $bad >out.txt 2>&1
        status=$?
        [ "$status" -eq 2 ] || fail "exit code $status for $bad, expected 2"
    done

    # A trace cut inside its last step: the video holds the whole steps before
    # the cut, standard error says where the trace stopped, and the status says
    # the video is not the whole run.
    head -c $(($(stat -c %s run.jsonl) - 30)) run.jsonl >cut.jsonl
    "$quillmoth" --replay cut.jsonl --video cut.mp4 >out.txt 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status for a cut trace, expected 1"
    grep -q '^quillmoth: cut.jsonl: .*the trace stops after step 39' out.txt || fail "no line saying where cut.jsonl stops"
    grep -q '^quillmoth: cannot make the video cut.mp4: the trace stops short: .*the video holds its 40 whole steps' out.txt ||
        fail "no line saying the video of cut.jsonl is short"
    n=$(frames_of cut.mp4)
    [ "$n" = 40 ] || fail "cut.mp4 holds $n frames, expected 40"

    # SIGTERM to the whole process group (as a scheduler sends it; Ctrl-C's
    # SIGINT is the same, but a background job of a script ignores it) while a
    # video is made: a playable file of the frames made so far, a line saying
    # how many, status 1.
    "$sim" run --seed 1 --steps 600 --quiet --trace long.jsonl "$data/genes/walker.txt" >/dev/null ||
        fail "quillmoth-sim did not record long.jsonl"
    setsid "$quillmoth" --replay long.jsonl --video long.mp4 --fps 30 >out.txt 2>&1 &
    pid=$!
    for _ in $(seq 200); do grep -q ' [1-9][0-9]*/601 frames' out.txt && break; sleep 0.05; done
    kill -TERM -- -"$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status for a video stopped by SIGTERM, expected 1"
    made=$(sed -n 's/.*the file holds the \([0-9]*\) frames made before it.*/\1/p' out.txt)
    [ -n "$made" ] || fail "no line saying how many frames the stopped video holds"
    n=$(frames_of long.mp4)
    [ "$n" = "$made" ] || fail "long.mp4 holds $n frames, the message says $made"

    # An output that cannot be written is refused before anything is drawn,
    # named by its full path.
    "$quillmoth" --replay run.jsonl --video /nonexistent/out.mp4 >out.txt 2>&1
    status=$?
    [ "$status" -eq 2 ] || fail "exit code $status for a video in a missing folder, expected 2"
    grep -qx 'quillmoth: cannot write the video file /nonexistent/out.mp4: No such file or directory' out.txt ||
        fail "no line refusing /nonexistent/out.mp4"
    # ffmpeg that cannot make its output: the program fails with ffmpeg's message.
    "$quillmoth" --replay run.jsonl --video out.nosuchformat >out.txt 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status when ffmpeg fails, expected 1"
    grep -q '^quillmoth: cannot make the video out.nosuchformat: .*ffmpeg ended with exit status' out.txt ||
        fail "no line saying ffmpeg failed"
    echo "PASS: the videos hold one frame per recorded step"
    ;;

no-ffmpeg)
    # Only the tools the program itself runs are hidden: a PATH without ffmpeg.
    mkdir bin
    env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/bin" "$quillmoth" --replay run.jsonl --video run.mp4 >out.txt 2>&1
    status=$?
    [ "$status" -eq 2 ] || fail "exit code $status without ffmpeg, expected 2"
    grep -qx 'quillmoth: cannot make a video: ffmpeg is not installed or not on PATH (Debian package ffmpeg)' out.txt ||
        fail "no line saying ffmpeg is missing"
    [ ! -e run.mp4 ] || fail "run.mp4 was made"
    # A trace that cannot be replayed is refused the same way, before any window.
    printf 'not a trace\n' >bad.jsonl
    env -u DISPLAY -u WAYLAND_DISPLAY "$quillmoth" --replay bad.jsonl >out.txt 2>&1
    status=$?
    [ "$status" -eq 2 ] || fail "exit code $status for a bad trace, expected 2"
    grep -q '^quillmoth: cannot replay: ' out.txt || fail "no line refusing bad.jsonl"
    env -u DISPLAY -u WAYLAND_DISPLAY "$quillmoth" --resume bad.jsonl >out.txt 2>&1
    status=$?
    [ "$status" -eq 2 ] || fail "exit code $status for a bad checkpoint, expected 2"
    grep -q '^quillmoth: cannot resume: ' out.txt || fail "no line refusing the checkpoint bad.jsonl"
    echo "PASS: without ffmpeg, and for files that cannot be used, the program exits 2 before any window"
    ;;

window)
    "$quillmoth" --replay run.jsonl >out.txt 2>&1 &
    pid=$!
    wid=""
    for ((i = 0; i < 300; i++)); do
        wid=$(xdotool search --name '^Quillmoth$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
        sleep 0.1
    done
    [ -n "$wid" ] || fail "no window titled Quillmoth appeared"
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 2
    xdotool key --window "$wid" p 2>/dev/null || xdotool key p
    # The line naming the file comes once the file is whole.
    for ((i = 0; i < 100; i++)); do
        grep -q '^quillmoth: screenshot saved as ' out.txt && break
        sleep 0.1
    done
    shot=$(sed -n 's/^quillmoth: screenshot saved as //p' out.txt | head -n 1)
    [ -n "$shot" ] || fail "P saved no screenshot"
    [[ "$shot" =~ ^$work/quillmoth-[0-9]{8}-[0-9]{6}\.png$ ]] || fail "the screenshot is named $shot"
    [ "$(identify -format '%m %w %h' "$shot")" = "PNG 640 480" ] || fail "$shot is no 640 x 480 PNG"
    # Escape is read as held once a frame: held long enough for a slow (sanitizer) build to see it.
    xdotool keydown --window "$wid" Escape 2>/dev/null || xdotool keydown Escape
    sleep 0.5
    xdotool keyup --window "$wid" Escape 2>/dev/null || xdotool keyup Escape
    for ((i = 0; i < 300; i++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "Escape did not end the replay"; }
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "exit code $status after Escape, expected 0"
    echo "PASS: the replay window saved $shot on P and quit on Escape"
    ;;

resume)
    # The window resumed from step 100 and run to step 300 holds the creature
    # the uninterrupted headless run ends with (the frame benchmark prints its counts).
    cp "$data/source.txt" source.txt
    "$sim" run --seed 7 --steps 300 --quiet --checkpoint-every 100 --checkpoint-dir ck source.txt >straight.json ||
        fail "quillmoth-sim did not run"
    "$quillmoth" --resume ck/step-00000100.h5 --steps-first 200 --bench-frames 1 >window.json 2>out.txt
    status=$?
    [ "$status" -eq 0 ] || fail "exit code $status resuming in the window, expected 0"
    grep -q '^resumed from ck/step-00000100.h5 at step 100$' out.txt || fail "no line saying where the window resumed"
    expected=$(grep -o '"nodes":[0-9]*,"links":[0-9]*' straight.json)
    got=$(grep -o '"nodes":[0-9]*,"links":[0-9]*' window.json)
    [ -n "$expected" ] && [ "$got" = "$expected" ] || fail "the window ends with $got, the straight run with $expected"
    echo "PASS: resumed in the window, step 300 holds $got as the straight run"
    ;;

*)
    echo "usage: replay_e2e.sh video|no-ffmpeg|window|resume|goal|outputs QUILLMOTH SIM DATA_DIR" >&2
    exit 2
    ;;
esac
