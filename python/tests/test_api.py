"""The package's seams with the engine: a node's columns, a gene held as read."""

import json
import os
import subprocess

import numpy as np
import pytest

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
SIM = os.environ.get("QM_SIM", "build/quillmoth-sim")
SOURCE = os.path.abspath(os.path.join(DATA, "source.txt"))


def sim(*args, cwd):
    done = subprocess.run([SIM, *args], cwd=cwd, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


def flat(node):
    """A JSON trace node's values in order, its arrays spread out."""
    out = []
    for value in node.values():
        out.extend(value if isinstance(value, list) else [value])
    return tuple(out)


def test_run_nodes_are_the_node_columns_of_both_traces(tmp_path):
    h5py = pytest.importorskip("h5py")
    sim("run", "--seed", "1", "--steps", "60", "--trace", "t.h5", SOURCE, cwd=tmp_path)
    sim("run", "--seed", "1", "--steps", "60", "--trace", "t.jsonl", SOURCE, cwd=tmp_path)
    run = quillmoth.Run(quillmoth.Gene.from_file(SOURCE), seed=1, steps=60)
    run.step(60)
    nodes = run.nodes
    assert {"parent", "born"} <= set(nodes.dtype.names)
    assert len(nodes) > 1 and nodes["born"].max() > 0

    with h5py.File(tmp_path / "t.h5") as trace:
        table = trace["nodes"][:]
    rows = table[table["step"] == 60]
    assert [name for name in table.dtype.names if name != "step"] == list(nodes.dtype.names)
    for name in nodes.dtype.names:
        assert np.array_equal(rows[name], nodes[name]), name

    last = json.loads((tmp_path / "t.jsonl").read_text().splitlines()[-1])
    assert last["step"] == 60
    read = np.zeros(len(last["nodes"]), dtype=nodes.dtype)
    for i, node in enumerate(last["nodes"]):
        read[i] = flat(node)
    for name in nodes.dtype.names:
        assert np.array_equal(read[name], nodes[name]), name


def test_a_gene_is_its_file_as_it_was_read(tmp_path):
    path = tmp_path / "gene.txt"
    path.write_bytes(open(SOURCE, "rb").read())
    gene = quillmoth.Gene.from_file(str(path))
    held = quillmoth.Gene.from_code(gene.code)
    path.write_text("SETP ( 0 1 )\n")

    def grown(g):
        run = quillmoth.Run(g, seed=1)
        run.step(60)
        return run.steps, run.nodes.tobytes(), run.links.tobytes()

    assert grown(gene) == grown(held)
    assert grown(quillmoth.Gene.from_file(str(path))) != grown(gene)  # the file did change
    size = lambda run: len(run.nodes)  # noqa: E731
    for fitness in (None, size):
        options = dict(seeds=[1, 2], steps=60, fitness=fitness)
        assert quillmoth.evaluate([gene], **options) == quillmoth.evaluate([held], **options)


def test_load_of_a_folder_goes_on_from_its_newest_whole_checkpoint(tmp_path):
    sim("run", "--seed", "4", "--steps", "90", "--checkpoint-every", "30", "--checkpoint-dir", "ck", SOURCE,
        cwd=tmp_path)
    (tmp_path / "ck" / "step-00000090.h5").write_bytes(b"a checkpoint cut short")
    run = quillmoth.Run.load(str(tmp_path / "ck"))
    straight = quillmoth.Run(quillmoth.Gene.from_file(SOURCE), seed=4)
    straight.step(60)
    assert run.steps == 60
    assert run.nodes.tobytes() == straight.nodes.tobytes()
    nodes = run.nodes
    assert run.center == pytest.approx(tuple(float(nodes[k].mean()) for k in "xyz"), abs=1e-3)
    (tmp_path / "broken").mkdir()
    (tmp_path / "broken" / "step-00000010.h5").write_bytes(b"cut short")
    with pytest.raises(ValueError, match="reads whole"):
        quillmoth.Run.load(str(tmp_path / "broken"))
