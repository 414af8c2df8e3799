"""Pickling a Run through its checkpoint, so runs go to other processes
(concurrent.futures.ProcessPoolExecutor, multiprocessing) and come back
exactly as they were: the unpickled run goes on as the run would have."""

import os
import tempfile


def run_bytes(run):
    """The run's checkpoint, as `run.save` writes it."""
    with tempfile.TemporaryDirectory(prefix="quillmoth-") as folder:
        path = os.path.join(folder, "run.h5")
        run.save(path)
        with open(path, "rb") as file:
            return file.read()


def run_from_bytes(data):
    from ._quillmoth import Run
    with tempfile.TemporaryDirectory(prefix="quillmoth-") as folder:
        path = os.path.join(folder, "run.h5")
        with open(path, "wb") as file:
            file.write(data)
        return Run.load(path)


def reduce_run(run):
    return run_from_bytes, (run_bytes(run),)
