"""Quillmoth: grow virtual creatures from gene programs, from Python.

    import quillmoth
    gene = quillmoth.Gene.from_file("data/source.txt")
    run = quillmoth.Run(gene, seed=7, steps=300)
    run.step(300)                      # 'completed', 'goal' or 'error'
    run.nodes["x"], run.centroid, run.closest
    quillmoth.show(run)                # the run as a web page, inline in Jupyter

See docs/python.md.
"""

from ._quillmoth import Gene, GeneError, Physics, Run, evaluate, evolve
from .show import Frames, Page, show

__all__ = ["Frames", "Gene", "GeneError", "Page", "Physics", "Run", "evaluate", "evolve", "show"]
