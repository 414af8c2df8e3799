"""quillmoth.show: a run's web page from Python is the page quillmoth-sim export writes."""

import html
import os
import re
import subprocess

import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
SIM = os.path.abspath(os.environ.get("QM_SIM", "build/quillmoth-sim"))
SIGNAL = os.path.join(DATA, "genes", "signal.txt")


def frames_of(page):
    """The page's packed frames: the one part that differs from run to run."""
    return re.search(r'id="qm-frames" type="application/octet-stream">([^<]*)<', page).group(1)


def run_of(steps=0):
    run = quillmoth.Run(quillmoth.Gene.from_file(os.path.abspath(SIGNAL)), seed=3, steps=steps)
    return run


@pytest.mark.parametrize("every", [1, 7])
def test_the_frames_kept_of_a_run_make_the_page_its_trace_makes(tmp_path, every):
    trace = tmp_path / "t.jsonl"
    subprocess.run([SIM, "run", "--seed", "3", "--steps", "60", "--quiet", "--trace", str(trace),
                    os.path.abspath(SIGNAL)], check=True, capture_output=True, cwd=tmp_path)
    subprocess.run([SIM, "export", "--every", str(every), "-o", str(tmp_path / "t.html"), str(trace)],
                   check=True, capture_output=True)
    exported = (tmp_path / "t.html").read_text(encoding="utf-8")

    frames = quillmoth.Frames(run_of(60), every=every)
    assert frames.step(100) == "completed"
    assert len(frames) == 60 // every + 1
    page = quillmoth.show(frames)
    assert frames_of(page.html) == frames_of(exported)
    assert frames_of(quillmoth.show(str(trace), every=every).html) == frames_of(exported)

    # Inline in a notebook: the same page, in a frame of its own.
    inline = page._repr_html_()
    assert inline.startswith("<iframe")
    assert html.unescape(re.search(r'srcdoc="([^"]*)"', inline).group(1)) == page.html
    assert page.save(tmp_path / "p.html") == tmp_path / "p.html"
    assert (tmp_path / "p.html").read_text(encoding="utf-8") == page.html


def test_a_run_alone_shows_its_current_step():
    run = run_of()
    run.step(25)
    page = quillmoth.show(run).html
    assert page.startswith("<!DOCTYPE html>") and '"seed":3' in page
    one = quillmoth.Frames(run, every=5)
    assert len(one) == 1  # step 25 is a multiple of 5


@pytest.mark.parametrize("what, error", [
    (42, TypeError),
    ("no-such-trace.jsonl", ValueError),
])
def test_what_show_cannot_show(what, error):
    with pytest.raises(error):
        quillmoth.show(what)


def test_frames_every_must_be_positive():
    with pytest.raises(ValueError):
        quillmoth.Frames(run_of(), every=0)
