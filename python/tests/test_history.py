"""A run's own series, and a function called during the run."""

import os

import numpy as np
import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
SOURCE = os.path.join(DATA, "source.txt")


def test_the_series_follow_the_run_step_by_step_and_change_nothing():
    gene = quillmoth.Gene.from_file(SOURCE)
    plain = quillmoth.Run(gene, seed=2, steps=90)
    kept = quillmoth.Run(gene, seed=2, steps=90, history=True)
    for _ in range(3):
        plain.step(30)
        kept.step(30)
        nodes, h = kept.nodes, kept.history
        assert nodes.tobytes() == plain.nodes.tobytes()
        expected = {"step": kept.steps, "nodes": len(nodes), "links": len(kept.links), "closest": kept.closest,
                    "height": nodes["y"].max() + 25.0, "center_x": nodes["x"].astype(float).mean(),
                    "center_y": nodes["y"].astype(float).mean(), "center_z": nodes["z"].astype(float).mean()}
        for name, value in expected.items():
            assert len(h[name]) == kept.steps, name
            assert h[name][-1] == pytest.approx(value, rel=1e-9, abs=1e-9), name
    assert list(kept.history["step"]) == list(range(1, 91))
    assert np.all(np.diff(kept.history["closest"]) <= 0)


def test_observe_is_called_every_k_steps_and_its_error_stops_the_step():
    gene = quillmoth.Gene.from_file(SOURCE)
    seen = []
    run = quillmoth.Run(gene, seed=3, observe=lambda r: seen.append(r.steps), every=7)
    run.step(30)
    assert seen == [7, 14, 21, 28]

    def fails(r):
        raise RuntimeError("seen enough")

    run = quillmoth.Run(gene, seed=3, observe=fails, every=5)
    with pytest.raises(RuntimeError, match="seen enough"):
        run.step(30)
    assert run.steps == 5 and run.outcome == "running"


def test_a_fitness_reads_the_history_in_evaluate_and_evolve():
    gene = quillmoth.Gene.from_file(SOURCE)
    tallest = quillmoth.evaluate([gene], seeds=[1, 2], steps=60, history=True,
                                 fitness=lambda run: -run.history["height"].max())
    runs = [quillmoth.Run(gene, seed=s, steps=60, max_nodes=1000, history=True) for s in (1, 2)]
    for r in runs:
        r.step(60)
    assert tallest == [pytest.approx(-np.mean([r.history["height"].max() for r in runs]))]
    result = quillmoth.evolve(genes=[gene], population=4, generations=1, steps=30, history=True, workers=1,
                              fitness=lambda run: -run.history["height"].max())
    assert result["best_fitness"] < 0
    with pytest.raises(ValueError, match="keeps no history"):
        quillmoth.evaluate([gene], seeds=[1], steps=10, fitness=lambda run: run.history["height"].max())


@pytest.mark.parametrize("name", ["trace.jsonl", "trace.h5"])
def test_a_runs_trace_is_the_command_lines(tmp_path, name):
    import subprocess
    sim = os.environ.get("QM_SIM", "build/quillmoth-sim")
    source = os.path.abspath(SOURCE)
    done = subprocess.run([sim, "run", "--seed", "7", "--steps", "120", "--trace", "cli-" + name, "--trace-every",
                           "10", source], cwd=tmp_path, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    run = quillmoth.Run(quillmoth.Gene.from_file(source), seed=7, steps=120, trace=str(tmp_path / name),
                        trace_every=10)
    assert run.step(200) == "completed"
    assert (tmp_path / name).read_bytes() == (tmp_path / ("cli-" + name)).read_bytes()
    with pytest.raises(OSError):
        quillmoth.Run(quillmoth.Gene.from_file(source), trace=str(tmp_path / "no" / name))
