#!/usr/bin/env python3
"""A run's web page in a real browser: quillmoth-sim exports a trace, and
headless Chromium opens the page from disk, with no network and a new,
empty profile. The page must say it is ready, show the step of the trace
the slider was moved to and its node count, draw the nodes in their
colours, and leave no error on its console. The page must also name no
file or address outside itself.

    page_browser_test.py QUILLMOTH_SIM DATA_DIR [SCREENSHOT]

Exits 77 (ctest's skip) when Chromium is not installed. SCREENSHOT, when
given, keeps the picture taken (docs/share.md shows one).
"""

import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         # Software WebGL (SwiftShader) without the GPU process's notice about it.
         "--enable-unsafe-swiftshader", "--enable-logging=stderr", "--v=0", "--window-size=800,600",
         "--virtual-time-budget=10000"]
# What the browser itself logs on the console under a software renderer: notes, not the page's errors.
BENIGN = [re.compile(r"GPU stall due to ReadPixels")]


def chromium(browser, profile, page, frame, action):
    """Runs the browser on the page showing `frame`; returns (stdout, console lines)."""
    done = subprocess.run([browser, *FLAGS, f"--user-data-dir={profile}", *action,
                           f"{page.as_uri()}#frame={frame}"],
                          capture_output=True, text=True, timeout=120, check=False)
    if done.returncode != 0:
        sys.exit(f"chromium failed ({done.returncode}): {done.stderr[-2000:]}")
    console = [line for line in done.stderr.splitlines()
               if ":CONSOLE" in line and not any(b.search(line) for b in BENIGN)]
    return done.stdout, console


def rgb_pixels(png):
    """The picture's pixels as (r, g, b) through ImageMagick."""
    raw = subprocess.run(["convert", str(png), "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def direction(c):
    length = sum(v * v for v in c) ** 0.5
    return tuple(v / length for v in c)


def main():
    sim, data = sys.argv[1], pathlib.Path(sys.argv[2])
    keep = pathlib.Path(sys.argv[3]) if len(sys.argv) > 3 else None
    browser = shutil.which("chromium")
    if not browser:
        print("chromium is not installed: skipped")
        return SKIP
    work = pathlib.Path(tempfile.mkdtemp(prefix="quillmoth-page-"))
    try:
        trace, page = work / "signal.jsonl", work / "signal.html"
        subprocess.run([sim, "run", "--seed", "1", "--steps", "240", "--quiet", "--trace", str(trace),
                        str(data / "genes" / "signal.txt")], check=True, capture_output=True)
        subprocess.run([sim, "export", "--every", "2", "-o", str(page), str(trace)], check=True,
                       capture_output=True)
        html = page.read_text(encoding="utf-8")
        outside = re.findall(r"://|<(?:link|img|iframe|embed|object)\b|\b(?:src|href)\s*=|@import|url\(", html)
        assert not outside, f"the page refers outside itself: {outside}"

        steps = [json.loads(line) for line in trace.read_text().splitlines()[1:]]
        kept = [s for s in steps if s["step"] % 2 == 0]
        frame = len(kept) * 2 // 3
        want = kept[frame]

        profile = work / "profile"
        dom, console = chromium(browser, profile, page, frame, ["--dump-dom"])
        root = re.search(r"<html[^>]*>", dom).group(0)
        attrs = dict(re.findall(r'data-(\w+)="([^"]*)"', root))
        assert attrs.get("ready") == "1", f"the page did not get ready: {root}"
        assert attrs.get("errors") == "0", f"the page met errors: {root}"
        assert attrs.get("step") == str(want["step"]), f"step {attrs.get('step')} shown, {want['step']} wanted"
        assert attrs.get("nodes") == str(len(want["nodes"])), f"{attrs.get('nodes')} nodes shown"
        assert f"step {want['step']}" in dom, "the step is not written on the page"

        shot = work / "shot.png"
        shutil.rmtree(profile)
        _, console2 = chromium(browser, profile, page, frame, [f"--screenshot={shot}"])
        console += console2
        assert not console, "the console holds:\n" + "\n".join(console)

        # Each bright colour of the step's nodes must show: pixels of its hue, however lit.
        pixels = [p for p in rgb_pixels(shot) if max(p) > 40]
        colours = {tuple(round(v, 2) for v in n["color"]) for n in want["nodes"]}
        bright = [c for c in colours if max(c) > 0.3]
        assert bright, "the test's step has no bright node to look for"
        for colour in bright:
            d = direction(colour)
            hits = sum(1 for p in pixels if sum((a - b) ** 2 for a, b in zip(direction(p), d)) < 0.004)
            assert hits >= 20, f"colour {colour} of the step's nodes shows in {hits} pixels"
        if keep:
            shutil.copyfile(shot, keep)
        print(f"step {want['step']}, {len(want['nodes'])} nodes, {len(bright)} colours seen")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
