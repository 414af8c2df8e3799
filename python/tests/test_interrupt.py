"""Ctrl-C stops long work within a second and leaves it usable."""

import os
import signal
import subprocess
import sys
import time

import pytest

DATA = os.environ.get("QM_DATA", "data")
SOURCE = os.path.abspath(os.path.join(DATA, "source.txt"))

PRELUDE = f"""
import sys, quillmoth
gene = quillmoth.Gene.from_file({SOURCE!r})
crowd = quillmoth.Gene.from_source("PROG2 ( ADDPAR ( 0 100 ) ) ( GDIVIDE ( 0 ) )")
print("ready", flush=True)
try:
"""

# Each body runs far longer than the test waits; after the interrupt the
# script shows that what it was doing is still usable.
CASES = {
    "step": ("    run = quillmoth.Run(gene, seed=1)\n    run.step(10**9)\n",
             "steps = run.steps\nrun.step(3)\nassert run.steps == steps + 3, (steps, run.steps)\n"),
    "evaluate": ("    quillmoth.evaluate([gene, crowd] * 5000, seeds=[1, 2, 3], steps=300, workers=2)\n", ""),
    "evaluate_fitness": ("    quillmoth.evaluate([gene], seeds=[1, 2], steps=10**9, workers=2,"
                         " fitness=lambda run: 0.0)\n", ""),
    "evolve": ("    quillmoth.evolve(population=200, generations=1000, steps=300, workers=2,"
               " out=sys.argv[1])\n",
               "import os\nassert os.path.isdir(sys.argv[1])\n"),
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_ctrl_c_raises_keyboard_interrupt_within_a_second(case, tmp_path):
    body, after = CASES[case]
    script = PRELUDE + body + "except KeyboardInterrupt:\n    print('interrupted', flush=True)\n" + after
    child = subprocess.Popen([sys.executable, "-c", script, str(tmp_path / "search")], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n", child.stderr.read()
        time.sleep(0.5)
        assert child.poll() is None
        child.send_signal(signal.SIGINT)
        sent = time.monotonic()
        line = child.stdout.readline()
        took = time.monotonic() - sent
        assert child.wait(timeout=30) == 0, child.stderr.read()
    finally:
        child.kill()
    assert line == "interrupted\n"
    assert took < 1.0, f"{case}: {took:.2f} s"
