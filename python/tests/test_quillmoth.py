"""The Python package against quillmoth-sim: same results, runs on threads, errors."""

import json
import os
import subprocess
import threading

import numpy as np
import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
SIM = os.environ.get("QM_SIM", "build/quillmoth-sim")
SOURCE = os.path.join(DATA, "source.txt")
CROWD = "PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )"


def sim(*args, cwd):
    done = subprocess.run([SIM, *args], cwd=cwd, capture_output=True, text=True)
    return done.returncode, done.stdout


def test_a_run_gives_what_quillmoth_sim_gives(tmp_path):
    code, out = sim("run", "--seed", "7", "--steps", "120", "--checkpoint-every", "120",
                    "--checkpoint-dir", "ck", os.path.abspath(SOURCE), cwd=tmp_path)
    summary = json.loads(out)
    run = quillmoth.Run(quillmoth.Gene.from_file(os.path.abspath(SOURCE)), seed=7, steps=120)
    assert run.step(120) == summary["outcome"] == "completed"
    assert (run.steps, len(run.nodes), len(run.links)) == (summary["steps"], summary["nodes"], summary["links"])
    assert run.centroid == pytest.approx(summary["centroid"], abs=1e-6)
    run.save(str(tmp_path / "py.h5"))
    assert (tmp_path / "py.h5").read_bytes() == (tmp_path / "ck" / "step-00000120.h5").read_bytes()


def fingerprint(run):
    nodes = run.nodes
    return (run.steps, run.outcome, nodes.tobytes(), run.links.tobytes())


def test_runs_on_threads_give_their_solo_results():
    genes = [quillmoth.Gene.from_file(SOURCE), quillmoth.Gene.from_source(CROWD)]
    settings = [(genes[0], 3), (genes[1], 5), (genes[0], 11)]

    def trajectory(run, out):
        for _ in range(60):
            run.step()
            out.append(fingerprint(run))

    solo = []
    for gene, seed in settings:
        trace = []
        trajectory(quillmoth.Run(gene, seed=seed, max_nodes=4096), trace)
        solo.append(trace)
    together = [[] for _ in settings]
    threads = [threading.Thread(target=trajectory, args=(quillmoth.Run(g, seed=s, max_nodes=4096), together[i]))
               for i, (g, s) in enumerate(settings)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert together == solo


def test_a_loaded_run_goes_on_as_the_straight_run(tmp_path):
    gene = quillmoth.Gene.from_file(SOURCE)
    straight = quillmoth.Run(gene, seed=9)
    straight.step(80)
    half = quillmoth.Run(gene, seed=9)
    half.step(30)
    half.save(str(tmp_path / "half.h5"))
    resumed = quillmoth.Run.load(str(tmp_path / "half.h5"))
    resumed.step(50)
    assert fingerprint(resumed) == fingerprint(straight)


def test_nodes_links_and_kill():
    run = quillmoth.Run(quillmoth.Gene.from_file(SOURCE), seed=1)
    run.step(40)
    nodes = run.nodes
    assert list(nodes.dtype.names[:7]) == ["id", "x", "y", "z", "vx", "vy", "vz"]
    assert np.all(np.diff(nodes["id"]) > 0)
    assert set(run.links.ravel()) <= set(nodes["id"])
    assert run.closest <= np.min(np.hypot(nodes["x"], np.hypot(nodes["y"] + 25, nodes["z"] - 250))) + 1e-3
    assert run.kill(int(nodes["id"][0])) and not run.kill(-1)
    run.step()
    assert nodes["id"][0] not in run.nodes["id"]


@pytest.mark.parametrize("make, text", [
    (lambda: quillmoth.Gene.from_source("GDIVDE ( 0 )"), "GPmanager::GetCode; 不正な関数名が検出されました: GDIVDE\n"),
    (lambda: quillmoth.Gene.from_source("PROG2 ( 0 )"), "GPmanager::GetCode; 不正なコードです\n"),
])
def test_a_gene_that_does_not_compile_raises_the_logs_text(make, text):
    with pytest.raises(quillmoth.GeneError) as caught:
        make()
    assert caught.value.text == text


def test_a_file_of_code_strings_is_refused_and_a_number_is_a_gene(tmp_path):
    (tmp_path / "code.txt").write_text("2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+\n")
    (tmp_path / "number.txt").write_text("3\n")
    with pytest.raises(quillmoth.GeneError) as caught:
        quillmoth.Gene.from_file(str(tmp_path / "code.txt"))
    assert "code.txt holds a code string, not gene source: quillmoth-sim decode" in caught.value.text
    assert quillmoth.Gene.from_file(str(tmp_path / "number.txt")).code == "0,0,3+"


def test_evaluate_matches_runs_and_the_search_fitness():
    genes = [quillmoth.Gene.from_file(SOURCE), quillmoth.Gene.from_source(CROWD)]
    closest = quillmoth.evaluate(genes, seeds=[1, 2], steps=50, workers=2, fitness=lambda run: run.closest)
    for gene, value in zip(genes, closest):
        runs = [quillmoth.Run(gene, seed=s, steps=50, max_nodes=1000) for s in (1, 2)]
        for r in runs:
            r.step(50)
        assert value == pytest.approx(sum(r.closest for r in runs) / 2)
    default = quillmoth.evaluate(genes, seeds=[1, 2], steps=50, workers=1)
    assert default == quillmoth.evaluate(genes, seeds=[1, 2], steps=50, workers=2)


def test_physics_is_the_command_lines_and_refuses_what_it_refuses(tmp_path):
    code, out = sim("run", "--seed", "5", "--steps", "150", "--set", "gravity=0.004", "--set", "drag=0.05",
                    os.path.abspath(SOURCE), cwd=tmp_path)
    summary = json.loads(out)
    physics = quillmoth.Physics(gravity=0.004, drag=0.05)
    assert physics.to_dict() == summary["manifest"]["physics"]
    run = quillmoth.Run(quillmoth.Gene.from_file(os.path.abspath(SOURCE)), seed=5, steps=150, physics=physics)
    run.step(150)
    assert run.physics == physics and run.physics != quillmoth.Physics()
    assert (len(run.nodes), run.centroid) == (summary["nodes"], pytest.approx(summary["centroid"], abs=1e-6))
    for keys, said in [({"gravty": 1}, "unknown physics key 'gravty'"),
                       ({"drag": -1}, "drag = -1 is outside its range, 0 to 1"),
                       ({"gravity": "weak"}, "gravity takes a number")]:
        with pytest.raises(ValueError, match=said):
            quillmoth.Physics(**keys)


def search_result(result):
    """What a search gives, comparable: the best gene as its code."""
    return {**result, "best": result["best"].code}


# taxis brings its own defaults (map-elites among them), as on the command line
@pytest.mark.parametrize("task, algorithm", [("height", dict(algorithm="map-elites")), ("taxis", {})])
def test_evolve_is_the_command_lines_search_on_any_number_of_workers(tmp_path, task, algorithm):
    options = dict(task=task, seed=3, population=8, generations=2, steps=100, **algorithm)
    reports = []
    one = quillmoth.evolve(workers=1, out=str(tmp_path / "py"), progress=reports.append, **options)
    assert search_result(one) == search_result(quillmoth.evolve(workers=2, **options))
    assert reports == one["generations"] and len(one["individuals"]) == 16
    code, _ = sim("evolve", "--algorithm", "map-elites", "--task", task, "--seed", "3", "--population", "8",
                  "--generations", "2", "--steps", "100", "--quiet", "--out", "cli", cwd=tmp_path)
    assert code == 0
    for name in ("generations.csv", "individuals.csv", "archive.csv"):
        py, cli = ((tmp_path / d / name).read_text().splitlines() for d in ("py", "cli"))
        if name == "generations.csv":  # the last column is a timing
            py, cli = ([row.rsplit(",", 1)[0] for row in rows] for rows in (py, cli))
        assert py == cli, name
    assert not list(tmp_path.glob("py/*.tmp"))


def test_a_python_fitness_is_the_task_of_the_search(tmp_path):
    def top(run):  # the highest node, as a cost; an empty world's is the floor
        return -float(run.nodes["y"].max(initial=-25.0))

    options = dict(fitness=top, seeds=[1, 2], seed=5, population=6, generations=2, steps=60)
    one = quillmoth.evolve(workers=1, out=str(tmp_path / "py"), **options)
    assert search_result(one) == search_result(quillmoth.evolve(workers=2, **options))
    best = one["best"]
    runs = [quillmoth.Run(best, seed=s, steps=60, max_nodes=1000) for s in (1, 2)]
    for run in runs:
        run.step(60)
    assert one["best_fitness"] == sum(top(run) for run in runs) / 2 + 0.001 * len(best)
    # The command line has no function to run: it refuses the task and the search's folder.
    for args in (["--task", "python", "--out", "cli"], ["--resume", "py"]):
        assert sim("evolve", *args, cwd=tmp_path)[0] == 2

    def fails(run):
        raise KeyError("no such measure")

    refusals = [(dict(fitness=fails), KeyError, "no such measure"),
                (dict(fitness=lambda run: "high"), TypeError, "str"),
                (dict(task="python"), ValueError, "needs a fitness function"),
                (dict(population=1), ValueError, "^population must lie between 2"),
                (dict(max_nodes=0), ValueError, "^max_nodes must be at least 1"),
                (dict(genes=[quillmoth.Gene.from_file(SOURCE)], max_length=5), ValueError,
                 "^seed gene 1 cannot be evolved: ")]
    for extra, error, said in refusals:
        with pytest.raises(error, match=said):
            quillmoth.evolve(**{**dict(population=4, generations=1, steps=10), **extra})
