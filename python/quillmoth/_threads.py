"""One Run shared by threads.

`Run.step` lets go of the GIL while the world steps, so that other threads
(and other runs) go on meanwhile. Every call on a run therefore holds that
run's own lock: a second thread's `step`, or a read of `nodes` while another
thread steps, waits for the step to end and sees a whole step, never a
half-made one. The lock is re-entrant, so a fitness function may read the run
it was given. Rejected: refusing the second caller with an error, which turns
a harmless wait into a failure the caller must retry.

The engine holds a lock of its own on each run as well; this one is still
needed. A thread waits for it without the GIL, where a thread waiting for
the engine's lock would hold the GIL that the stepping thread needs for an
observer or a Ctrl-C check, and neither would go on.
"""

import functools
import threading
import weakref

_locks = weakref.WeakKeyDictionary()
_locks_guard = threading.Lock()


def _lock_of(run):
    with _locks_guard:
        lock = _locks.get(run)
        if lock is None:
            lock = _locks[run] = threading.RLock()
        return lock


def _locked(function):
    @functools.wraps(function)
    def call(self, *args, **kwargs):
        with _lock_of(self):
            return function(self, *args, **kwargs)

    return call


def lock_each_call(cls):
    """Make every method and property of `cls` hold the instance's lock."""
    for name, attribute in list(vars(cls).items()):
        if name.startswith("__") or isinstance(attribute, (staticmethod, classmethod)):
            continue
        if isinstance(attribute, property):
            setattr(cls, name, property(_locked(attribute.fget), doc=attribute.__doc__))
        elif callable(attribute):
            setattr(cls, name, _locked(attribute))
    return cls
