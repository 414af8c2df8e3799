"""One Run shared by threads: a whole step or a wait, never a crash or a world made of two steps."""

import os
import threading

import numpy as np

import quillmoth

DATA = os.environ.get("QM_DATA", "data")
GENE = quillmoth.Gene.from_file(os.path.join(DATA, "genes", "goal-seeker.txt"))
TRIES = 500


def alone(steps):
    run = quillmoth.Run(GENE, seed=3)
    run.step(steps)
    return run


def test_two_threads_stepping_one_run_make_the_lone_runs_steps():
    expected = alone(300)
    for _ in range(TRIES):
        run = quillmoth.Run(GENE, seed=3)
        threads = [threading.Thread(target=run.step, args=(150,), daemon=True) for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=60)
            assert not t.is_alive(), "two threads stepping one run hung"
        assert run.steps == 300
        assert np.array_equal(run.nodes, expected.nodes)


def test_reading_while_another_thread_steps_sees_whole_steps():
    # The node counts a lone run has after each of its first steps.
    run = quillmoth.Run(GENE, seed=3)
    counts = {len(run.nodes)}
    for _ in range(30):
        run.step()
        counts.add(len(run.nodes))
    for _ in range(TRIES // 10):
        run = quillmoth.Run(GENE, seed=3)
        stepper = threading.Thread(target=lambda: [run.step() for _ in range(30)], daemon=True)
        seen = set()
        stepper.start()
        while stepper.is_alive():
            seen.add(len(run.nodes))
        stepper.join()
        assert seen <= counts
        assert run.steps == 30
