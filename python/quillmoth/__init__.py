"""Quillmoth: grow virtual creatures from gene programs, from Python.

    import quillmoth
    gene = quillmoth.Gene.from_file("data/source.txt")
    run = quillmoth.Run(gene, seed=7, steps=300)
    run.step(300)                      # 'completed', 'goal' or 'error'
    run.nodes["x"], run.centroid, run.closest

See docs/python.md.
"""

from ._quillmoth import Gene, GeneError, Physics, Run, evaluate, evolve
from ._threads import lock_each_call

lock_each_call(Run)

__all__ = ["Gene", "GeneError", "Physics", "Run", "evaluate", "evolve"]
