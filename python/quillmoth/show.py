"""A run as one web page, shown inline in Jupyter or written to a file.

    import quillmoth
    frames = quillmoth.Frames(run, every=5)     # keep every fifth step in memory
    frames.step(300)                            # step the run, keeping frames
    quillmoth.show(frames)                      # shown inline in a notebook cell
    quillmoth.show("run.h5").save("run.html")   # the page of a trace, as quillmoth-sim export writes it

The page is the same one `quillmoth-sim export` writes: it needs no network and
no server (docs/share.md).
"""

import html
import os

from ._quillmoth import Run, _Film, _page_of_run, _page_of_trace


class Frames:
    """A run's frames kept in memory for its page: every `every`-th step."""

    def __init__(self, run, every=1):
        if every < 1:
            raise ValueError("every must be 1 or more")
        self.run = run
        self._film = _Film(every)
        self._film.add(run)  # the step the run is at, when it is one to keep

    def step(self, n=1):
        """Step the run up to n times, keeping the frames; returns the run's outcome."""
        self._film.step(self.run, n)
        return self.run.outcome

    @property
    def every(self):
        return self._film.every

    def __len__(self):
        return len(self._film)

    def page(self):
        return self._film.page(self.run)


class Page:
    """One run's web page: `html` is the whole file's text."""

    def __init__(self, text):
        self.html = text

    def save(self, path):
        """Write the page to `path` (a file that opens in any browser)."""
        with open(path, "w", encoding="utf-8") as f:
            f.write(self.html)
        return path

    def _repr_html_(self):
        # The page in a frame of its own: its script and styles keep to it,
        # and a notebook that sanitises its output still runs it.
        return ('<iframe style="width:100%;height:480px;border:0" sandbox="allow-scripts" '
                f'srcdoc="{html.escape(self.html, quote=True)}"></iframe>')


def show(run_or_trace, every=1):
    """The page of a run: a Frames (its kept steps), a Run (its current step
    alone) or the path of a trace (its steps whose number `every` divides)."""
    if isinstance(run_or_trace, Frames):
        return Page(run_or_trace.page())
    if isinstance(run_or_trace, Run):
        return Page(_page_of_run(run_or_trace))
    if isinstance(run_or_trace, (str, os.PathLike)):
        return Page(_page_of_trace(os.fspath(run_or_trace), every))
    raise TypeError("show takes a quillmoth.Frames, a quillmoth.Run or the path of a trace")
