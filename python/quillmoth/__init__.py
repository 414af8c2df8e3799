"""Quillmoth: grow virtual creatures from gene programs, from Python.

    import quillmoth
    gene = quillmoth.Gene.from_file("data/source.txt")
    run = quillmoth.Run(gene, seed=7, steps=300)
    run.step(300)                      # 'completed', 'goal' or 'error'
    run.nodes["x"], run.centroid, run.closest

See docs/python.md.
"""

from ._quillmoth import Gene, GeneError, Physics, Run, __version__, evaluate
from ._quillmoth import evolve as _evolve
from ._pickle import reduce_run as _reduce_run

# A run pickles as its checkpoint (without its history, observer or log).
Run.__reduce__ = _reduce_run


def evolve(genes=(), *, mpi=False, **settings):
    """The search of quillmoth-sim evolve (docs/python.md). With mpi=True, in a script started on every
    rank of an MPI job (mpiexec -n N python3 script.py, or srun), rank 0 runs the search and the others
    evaluate; evolve returns the result on rank 0 and None on the others."""
    settings["genes"] = list(genes)
    if not mpi:
        return _evolve(**settings)
    from ._mpi import evolve_across_ranks
    return evolve_across_ranks(_evolve, settings)


__all__ = ["Gene", "GeneError", "Physics", "Run", "__version__", "evaluate", "evolve"]
