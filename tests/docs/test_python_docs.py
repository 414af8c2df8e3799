"""Every Python example of docs/python.md runs as written, from the project's folder."""

import os
import re
import subprocess
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DOC = os.path.join(ROOT, "docs", "python.md")
EXAMPLES = re.findall(r"```python\n(.*?)```", open(DOC, encoding="utf-8").read(), re.S)


def test_the_page_has_examples():
    assert len(EXAMPLES) >= 4


@pytest.mark.parametrize("example", EXAMPLES, ids=[f"example{i}" for i in range(len(EXAMPLES))])
def test_example_runs(example):
    done = subprocess.run([sys.executable, "-c", example], cwd=ROOT, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
