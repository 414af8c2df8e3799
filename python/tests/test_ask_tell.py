"""What an outside search needs: the variation operators, per-seed results, errors it can act on."""

import json
import os
import pickle
import subprocess
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
SOURCE = os.path.join(DATA, "source.txt")
SIM = os.environ.get("QM_SIM", "build/quillmoth-sim")


def test_the_operators_are_deterministic_by_seed_and_keep_the_length_limit():
    parent = quillmoth.Gene.from_file(SOURCE)
    made = {
        "grow": [quillmoth.Gene.random(s, max_length=30) for s in range(1, 9)],
        "ramped": [quillmoth.Gene.random(s, init="ramped", max_length=30) for s in range(1, 9)],
        "mutate": [parent.mutate(s, max_length=60) for s in range(1, 9)],
        "constants": [parent.mutate(s, max_length=60, constant_rate=1.0) for s in range(1, 9)],
        "crossover": [quillmoth.Gene.crossover(parent, quillmoth.Gene.random(s), s, max_length=60)
                      for s in range(1, 9)],
    }
    for name, genes in made.items():
        again = {
            "grow": lambda s: quillmoth.Gene.random(s, max_length=30),
            "ramped": lambda s: quillmoth.Gene.random(s, init="ramped", max_length=30),
            "mutate": lambda s: parent.mutate(s, max_length=60),
            "constants": lambda s: parent.mutate(s, max_length=60, constant_rate=1.0),
            "crossover": lambda s: quillmoth.Gene.crossover(parent, quillmoth.Gene.random(s), s, max_length=60),
        }[name]
        assert genes == [again(s) for s in range(1, 9)], name
        assert len(set(genes)) > 4, name                      # seeds give different genes
        assert all(1 <= len(g) <= (30 if name in ("grow", "ramped") else 60) for g in genes), name
        assert all(quillmoth.Gene.from_source(g.dump()) == g for g in genes), name
    assert any(g != parent for g in made["constants"])
    assert all(len(g) == len(parent) for g in made["constants"])   # only constants moved


@pytest.mark.parametrize("call, said", [
    (lambda: quillmoth.Gene.random(1, init="wide"), "init takes grow, ramped or motifs"),
    (lambda: quillmoth.Gene.from_file(SOURCE).mutate(1, max_length=3), "mutate cannot vary this gene"),
    (lambda: quillmoth.Gene.from_file(SOURCE).mutate(1, constant_rate=2), "constant_rate must lie"),
])
def test_operators_refuse_what_they_cannot_do(call, said):
    with pytest.raises(ValueError, match=said):
        call()


def test_per_seed_results_agree_with_runs_and_with_the_gene_fitness():
    genes = [quillmoth.Gene.from_file(SOURCE), quillmoth.Gene.random(3, init="ramped")]
    table = quillmoth.evaluate(genes, seeds=[1, 2, 3], steps=80, workers=2, per_seed=True)
    assert list(table["gene"]) == [0, 0, 0, 1, 1, 1] and list(table["seed"]) == [1, 2, 3] * 2
    assert table.tobytes() == quillmoth.evaluate(genes, seeds=[1, 2, 3], steps=80, workers=1,
                                                 per_seed=True).tobytes()
    means = quillmoth.evaluate(genes, seeds=[1, 2, 3], steps=80)
    for g, mean in enumerate(means):
        assert table.fitness[table.gene == g].mean() == pytest.approx(mean)
    for row in table[table.gene == 0]:
        run = quillmoth.Run(genes[0], seed=int(row.seed), steps=80, max_nodes=1000)
        outcome = run.step(80)
        assert (row.outcome, row.nodes, row.closest) == (outcome, len(run.nodes), pytest.approx(run.closest))
        assert row.goal_step == (row.steps if outcome == "goal" else -1)
    own = quillmoth.evaluate(genes, seeds=[1, 2, 3], steps=80, per_seed=True, fitness=lambda run: run.steps)
    assert list(own.fitness[own.outcome != "error"]) == list(own.steps[own.outcome != "error"])


@pytest.mark.parametrize("make, hint, place", [
    (lambda d: quillmoth.Gene.from_source("PROG2 ( GDIVDE ( 0 ) ) ( DIE )"),
     "unknown primitive GDIVDE at line 1:9; did you mean GDIVIDE?", (1, 9)),
    (lambda d: quillmoth.Gene.from_file(str(d / "typo.txt")),
     "unknown primitive GDIVDE at {d}/typo.txt:2:3; did you mean GDIVIDE?", (2, 3)),
    (lambda d: quillmoth.Gene.from_source("2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+"), "quillmoth-sim decode", None),
])
def test_gene_errors_carry_the_place_and_the_hint(tmp_path, make, hint, place):
    (tmp_path / "typo.txt").write_text("PROG2\n  GDIVDE ( 0 ) DIE\n")
    with pytest.raises(quillmoth.GeneError) as caught:
        make(tmp_path)
    hint = hint.format(d=tmp_path)
    assert hint in caught.value.hint and hint in str(caught.value)
    assert (caught.value.line, caught.value.column) == (place or (None, None))


def test_files_that_cannot_be_read_raise_os_errors(tmp_path):
    with pytest.raises(FileNotFoundError):
        quillmoth.Gene.from_file(str(tmp_path / "none.txt"))
    with pytest.raises(IsADirectoryError):
        quillmoth.Run.load(str(tmp_path))
    run = quillmoth.Run(quillmoth.Gene.from_file(SOURCE), seed=1)
    with pytest.raises(OSError):
        run.save(str(tmp_path / "no" / "such" / "ck.h5"))


def grown(gene):
    run = quillmoth.Run(gene, seed=4, steps=40)
    run.step(40)
    return len(run.nodes)


def test_genes_pickle_into_a_process_pool():
    genes = [quillmoth.Gene.from_file(SOURCE), quillmoth.Gene.random(2)]
    assert [pickle.loads(pickle.dumps(g)) for g in genes] == genes
    assert len({genes[0], quillmoth.Gene.from_code(genes[0].code), genes[1]}) == 2
    with ProcessPoolExecutor(2) as pool:
        assert list(pool.map(grown, genes)) == [grown(g) for g in genes]


def test_descriptors_of_your_own_with_their_ranges():
    def width(run):
        x = run.nodes["x"]
        return float(x.max() - x.min()) if len(x) else 0.0

    gene = quillmoth.Gene.from_file(SOURCE)
    result = quillmoth.evolve(genes=[gene], population=6, generations=2, steps=40, seeds=[1, 2], workers=2,
                              descriptors=[("dz", -5, 5, 4), (width, 0, 20, 5)])
    for row in result["individuals"]:
        if row["fitness"] < 1e6:
            code = quillmoth.Gene.from_code(row["code"])
            runs = [quillmoth.Run(code, seed=s, steps=40, max_nodes=1000) for s in (1, 2)]
            for r in runs:
                r.step(40)
            assert row["descriptors"]["python1"] == pytest.approx(np.mean([width(r) for r in runs]))
    assert all(0 <= c[0] < 4 and 0 <= c[1] < 5 for c in (a["cell"] for a in result["archive"]))
    for descriptors, said in [(["python1"], "given as \\(function, low, high"), ([(width, 0)], "needs its range"),
                              (["dz:5:1"], "needs LOW below HIGH"), ([("dz", "a", 1)], "takes numbers")]:
        with pytest.raises((ValueError, TypeError), match=said):
            quillmoth.evolve(population=4, generations=1, steps=10, descriptors=descriptors)


def steps_taken(run):
    run.step(25)
    return run.steps, run.nodes.tobytes()


def test_goal_step_and_node_and_runs_pickled_into_a_process_pool(tmp_path):
    gene = quillmoth.Gene.from_file(SOURCE)
    probe = quillmoth.Run(gene, seed=5)
    probe.step(30)
    goal = [float(probe.nodes[-1][axis]) for axis in "xyz"]
    run = quillmoth.Run(gene, seed=5, goal=goal)
    assert run.step(100) == "goal"
    done = subprocess.run([SIM, "run", "--seed", "5", "--steps", "100", "--goal", ",".join(map(repr, goal)),
                           os.path.abspath(SOURCE)], cwd=tmp_path, capture_output=True, text=True)
    summary = json.loads(done.stdout)
    assert (run.goal_step, run.goal_node) == (summary["goal_step"], summary["goal_node"]) != (None, None)
    assert (probe.goal_step, probe.goal_node) == (None, None)
    runs = [quillmoth.Run(gene, seed=s) for s in (1, 2)]
    for r in runs:
        r.step(10)
    copies = [pickle.loads(pickle.dumps(r)) for r in runs]
    assert [(c.steps, c.seed, c.nodes.tobytes()) for c in copies] == [(r.steps, r.seed, r.nodes.tobytes())
                                                                       for r in runs]
    with ProcessPoolExecutor(2) as pool:
        assert list(pool.map(steps_taken, runs)) == [steps_taken(r) for r in runs]
