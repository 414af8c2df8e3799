"""The red team's hostile cases against the package, one row each: the call, the error and what it says.
Python refuses what the command line refuses, in its own names for the arguments."""

import math
import os
import time

import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
GENE = quillmoth.Gene.from_file(os.path.join(DATA, "genes", "walker.txt"))
EVALUATE = dict(seeds=[1], steps=10, workers=1)


def stepped(n):
    run = quillmoth.Run(GENE, seed=1)
    run.step(n)


def fifo(tmp_path, name):
    path = str(tmp_path / name)
    os.mkfifo(path)
    return path


CASES = [
    ("a seed below the first", lambda _: quillmoth.Run(GENE, seed=-1), ValueError,
     r"^seed must lie between 0 and 4294967295, not -1$"),
    ("no node limit", lambda _: quillmoth.Run(GENE, max_nodes=-1), ValueError,
     r"^max_nodes must be at least 1, not -1$"),
    ("a node limit of none", lambda _: quillmoth.Run(GENE, max_nodes=0), ValueError,
     r"^max_nodes must be at least 1, not 0$"),
    ("a node limit that is a switch", lambda _: quillmoth.Run(GENE, max_nodes=True), TypeError,
     r"^max_nodes takes a whole number, not True \(bool\)$"),
    ("a goal not a number", lambda _: quillmoth.Run(GENE, goal=(math.nan, 0, 0)), ValueError,
     r"^goal takes three finite numbers, not \(nan, 0, 0\)$"),
    ("a goal at infinity", lambda _: quillmoth.Run(GENE, goal=(0, math.inf, 0)), ValueError,
     r"^goal takes three finite numbers"),
    ("steps before the start", lambda _: quillmoth.Run(GENE, steps=-1), ValueError,
     r"^steps must lie between 0 and 1000000000000, not -1$"),
    ("a step backwards", lambda _: stepped(-1), ValueError, r"^n must lie between 0 and 1000000000000, not -1$"),
    ("a fraction of a step", lambda _: stepped(1.5), TypeError, r"^n takes a whole number, not 1.5 \(float\)$"),
    ("a trace of no steps", lambda d: quillmoth.Run(GENE, trace=str(d / "t.jsonl"), trace_every=0), ValueError,
     r"^trace_every must be at least 1, not 0$"),
    ("gravity switched on", lambda _: quillmoth.Physics(gravity=True), ValueError,
     r"^gravity takes a number, not True; its range is 0 to "),
    ("steps of no kind", lambda _: quillmoth.evaluate([GENE], seeds=[1], steps=None), TypeError,
     r"^steps takes a whole number, not None \(NoneType\)$"),
    ("workers below none", lambda _: quillmoth.evaluate([GENE], seeds=[1], workers=-1), ValueError,
     r"^workers must lie between 1 and 4096, not -1 \(or 0 for one per core\)$"),
    ("a search with workers below none", lambda _: quillmoth.evolve(population=4, generations=1, workers=-1),
     ValueError, r"^workers must lie between 1 and 4096, not -1 \(or 0 for one per core\)$"),
    ("a fitness of nan", lambda _: quillmoth.evaluate([GENE], fitness=lambda r: math.nan, **EVALUATE), ValueError,
     r"^the fitness function gave nan for gene 0 on seed 1: it must be a finite number$"),
    ("a fitness of a text", lambda _: quillmoth.evaluate([GENE], fitness=lambda r: "far", **EVALUATE), TypeError,
     r"^the fitness function gave 'far' \(str\), not a real number, for gene 0 on seed 1$"),
    ("a fitness per seed of infinity",
     lambda _: quillmoth.evaluate([GENE], fitness=lambda r: math.inf, per_seed=True, **EVALUATE), ValueError,
     r"^the fitness function gave inf for gene .+ on seed 1: it must be a finite number$"),
    ("a search of one gene", lambda _: quillmoth.evolve(population=1), ValueError,
     r"^population must lie between 2 and 1000000$"),
    ("a search without a budget", lambda _: quillmoth.evolve(population=4, evaluations=0), ValueError,
     r"^evaluations must lie between 1 and 1000000000000$"),
    ("a search's goal not a number", lambda _: quillmoth.evolve(population=4, goal=(0, math.nan, 0)), ValueError,
     r"^goal takes three finite numbers"),
    ("a FIFO as the checkpoint to load", lambda d: quillmoth.Run.load(fifo(d, "ck.h5")), ValueError,
     r"it is a FIFO, not a regular file"),
    ("a FIFO as the gene file", lambda d: quillmoth.Gene.from_file(fifo(d, "gene.txt")), quillmoth.GeneError,
     r"it is a FIFO, not a regular file"),
    ("a FIFO to save over", lambda d: quillmoth.Run(GENE, seed=1).save(fifo(d, "over.h5")), OSError,
     r"over.h5"),
]


@pytest.mark.parametrize("call, error, said", [case[1:] for case in CASES], ids=[case[0] for case in CASES])
def test_each_hostile_case_is_refused_fast_naming_the_argument(tmp_path, call, error, said):
    start = time.monotonic()
    with pytest.raises(error, match=said):
        call(tmp_path)
    assert time.monotonic() - start < 5


def test_a_search_resumed_for_fewer_generations_than_it_did_is_refused(tmp_path):
    folder = str(tmp_path / "s")
    quillmoth.evolve(out=folder, population=4, generations=2, steps=10, workers=1)
    with pytest.raises(ValueError, match=r"has done 2 generations: generations 1 is fewer$"):
        quillmoth.evolve(resume=folder, generations=1, workers=1)
