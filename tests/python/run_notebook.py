"""Executes a notebook with nbclient (every cell, in its own folder) and fails on the first cell
that raises: the quick-start notebook cannot rot unseen."""
import os
import sys

import nbclient
import nbformat

path = sys.argv[1]
notebook = nbformat.read(path, as_version=4)
client = nbclient.NotebookClient(notebook, timeout=600, kernel_name="python3",
                                 resources={"metadata": {"path": os.path.dirname(path)}})
client.execute()
cells = sum(1 for c in notebook.cells if c.cell_type == "code")
print(f"{path}: {cells} code cells executed")
