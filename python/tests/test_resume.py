"""A search with a Python fitness and a Python descriptor, killed and taken up again or spread over MPI ranks, ends as the
straight search ends."""

import os
import re
import shutil
import subprocess
import sys

import pytest

import quillmoth

SCRIPT = """
import os, signal, sys, quillmoth

calls = 0

def top(run):  # the highest node as a cost; the process dies at call QM_KILL_AT
    global calls
    calls += 1
    if calls == int(os.environ.get("QM_KILL_AT", "0")):
        os.kill(os.getpid(), signal.SIGKILL)
    return -float(run.nodes["y"].max(initial=-25.0))

def spread(run):  # how wide the creature is along x
    x = run.nodes["x"]
    return float(x.max() - x.min()) if len(x) else 0.0

descriptors = [("nodes", 0, 40, 8), (spread, 0, 30, 6)]
how, folder = sys.argv[1], sys.argv[2]
if how in ("out", "mpi"):
    quillmoth.evolve(out=folder, population=8, generations=4, steps=60, seeds=[1, 2], seed=3, workers=2,
                     fitness=top, descriptors=descriptors, mpi=how == "mpi")
else:
    quillmoth.evolve(resume=folder, fitness=top, descriptors=descriptors, workers=1)
"""


def search(tmp_path, how, folder, kill_at=0, launcher=()):
    env = dict(os.environ, QM_KILL_AT=str(kill_at))
    return subprocess.run([*launcher, sys.executable, "-c", SCRIPT, how, str(tmp_path / folder)], env=env,
                          capture_output=True, text=True, timeout=300)


def tables(folder):
    """Everything the search keeps but the speed column and the folder's name in comments."""
    generations = (folder / "generations.csv").read_text().splitlines()
    kept = [line.rsplit(",", 1)[0] for line in generations]
    for name in ("individuals.csv", "archive.csv", "checkpoint.txt"):
        kept.append((folder / name).read_text())
    for gene in sorted((folder / "best").iterdir()) + [folder / "best.txt"]:
        kept.append(re.sub(r"<.*?>", "", gene.read_text(), flags=re.S))
    return kept


def test_a_killed_search_resumed_ends_as_the_straight_search(tmp_path):
    assert search(tmp_path, "out", "straight").returncode == 0
    killed = search(tmp_path, "out", "parts", kill_at=20)   # in the second generation, of 16 runs each
    assert killed.returncode == -9
    assert len((tmp_path / "parts" / "generations.csv").read_text().splitlines()) == 2
    resumed = search(tmp_path, "resume", "parts")
    assert resumed.returncode == 0, resumed.stderr
    assert tables(tmp_path / "parts") == tables(tmp_path / "straight")
    assert "spread" in (tmp_path / "parts" / "fitness.txt").read_text()
    assert len({line.split(",")[-2] for line in (tmp_path / "straight" / "archive.csv").read_text().splitlines()}) > 1


def test_resume_refuses_another_function_or_none_and_out_points_to_resume(tmp_path):
    def top(run):
        return -float(run.nodes["y"].max(initial=-25.0))

    def height(run):
        return -float(run.nodes["y"].max(initial=-25.0))

    folder = str(tmp_path / "s")
    quillmoth.evolve(out=folder, population=4, generations=1, steps=10, fitness=top, workers=1)
    for extra, said in [(dict(fitness=height), r"height\) are not the search's own \(fitness .*top"),
                        (dict(), "give it again as fitness="),
                        (dict(fitness=lambda run: 0.0), r"<lambda>\) are not the search's own"),
                        (dict(fitness=top, descriptors=["dz"]), "has the descriptors closest, nodes")]:
        with pytest.raises(ValueError, match=said):
            quillmoth.evolve(resume=folder, **extra)
    with pytest.raises(ValueError, match=re.escape(f'continue it with evolve(resume="{folder}")')):
        quillmoth.evolve(out=folder, population=4, generations=1, steps=10, fitness=top)
    more = quillmoth.evolve(resume=folder, generations=2, fitness=top, workers=1)
    assert [g["generation"] for g in more["generations"]] == [2]
    with pytest.raises(FileNotFoundError):
        quillmoth.evolve(resume=str(tmp_path / "none"), fitness=top)


def has_mpi():
    try:
        import mpi4py  # noqa: F401
    except ImportError:
        return False
    return shutil.which("mpiexec") is not None


@pytest.mark.skipif(not has_mpi(), reason="needs mpi4py and mpiexec")
def test_three_mpi_ranks_give_the_threaded_search(tmp_path):
    assert search(tmp_path, "out", "threads").returncode == 0
    ranks = search(tmp_path, "mpi", "ranks",
                   launcher=("mpiexec", "--oversubscribe", "--allow-run-as-root", "-n", "3"))
    assert ranks.returncode == 0, ranks.stderr
    assert tables(tmp_path / "ranks") == tables(tmp_path / "threads")
