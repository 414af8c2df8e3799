"""evolve(mpi=True): the search on rank 0 of an MPI job (mpiexec, srun), its
evaluations on the other ranks through mpi4py. Every rank runs the same
script, so each has the fitness function; a result depends on its task alone,
so the search is the one the threads give."""

import sys
import traceback

from . import _quillmoth

_TASK, _STOP = 1, 2


def _dispatch(comm, tasks):
    """Each task to the next idle rank; the results in the tasks' order."""
    results = [None] * len(tasks)
    waiting = list(range(len(tasks)))[::-1]
    busy = 0
    for rank in range(1, comm.Get_size()):
        if not waiting:
            break
        i = waiting.pop()
        comm.send((i, tasks[i]), dest=rank, tag=_TASK)
        busy += 1
    from mpi4py import MPI
    status = MPI.Status()
    while busy:
        i, text = comm.recv(source=MPI.ANY_SOURCE, tag=_TASK, status=status)
        results[i] = text
        busy -= 1
        if waiting:
            j = waiting.pop()
            comm.send((j, tasks[j]), dest=status.Get_source(), tag=_TASK)
            busy += 1
    return results


def _serve(comm, fitness, history, descriptors):
    """Evaluate what rank 0 sends until it says stop. A failure ends the whole job."""
    from mpi4py import MPI
    status = MPI.Status()
    while True:
        message = comm.recv(source=0, tag=MPI.ANY_TAG, status=status)
        if status.Get_tag() == _STOP:
            return
        i, task = message
        try:
            comm.send((i, _quillmoth._evaluate_task(task, fitness, history, descriptors)), dest=0, tag=_TASK)
        except BaseException:
            traceback.print_exc()
            sys.stderr.flush()
            comm.Abort(1)


def evolve_across_ranks(evolve, kwargs):
    from mpi4py import MPI
    comm = MPI.COMM_WORLD
    if comm.Get_size() < 2:
        return evolve(**kwargs)
    if comm.Get_rank() != 0:
        _serve(comm, kwargs.get("fitness"), kwargs.get("history", False), kwargs.get("descriptors"))
        return None
    try:
        return evolve(dispatch=lambda tasks: _dispatch(comm, tasks), **kwargs)
    except BaseException:
        # The other ranks wait for tasks that will not come.
        traceback.print_exc()
        sys.stderr.flush()
        comm.Abort(1)
    finally:
        for rank in range(1, comm.Get_size()):
            comm.send(None, dest=rank, tag=_STOP)
