"""docs/notebooks/first-afternoon.ipynb runs, every cell, from the project's folder."""

import os

import nbformat
from nbclient import NotebookClient

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NOTEBOOK = os.path.join(ROOT, "docs", "notebooks", "first-afternoon.ipynb")


def test_the_notebook_runs_every_cell():
    notebook = nbformat.read(NOTEBOOK, as_version=4)
    NotebookClient(notebook, timeout=300, kernel_name="python3", resources={"metadata": {"path": ROOT}}).execute()
    outputs = [o for cell in notebook.cells if cell.cell_type == "code" for o in cell.outputs]
    assert not [o for o in outputs if o.output_type == "error"]
    assert any("image/png" in o.get("data", {}) for o in outputs)   # the plot
