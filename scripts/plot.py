#!/usr/bin/python3
"""Plots of Quillmoth's outputs. Run through scripts/plot, which installs matplotlib and pandas.

Each mode is one function registered in MODES with the option that selects it; a new plot is a new
function and one more entry.
"""

import argparse
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")  # files only: no display needed
import matplotlib.pyplot as plt  # noqa: E402
import pandas as pd  # noqa: E402

# The cost of a gene that made the engine fail (src/evolve/Fitness.h): kept off the curves.
WORST_FITNESS = 1e6


def plot_evolve(folder, output):
    """The best and median fitness of every generation of the search in `folder`."""
    folder = pathlib.Path(folder)
    table = pd.read_csv(folder / "generations.csv")
    if table.empty:
        sys.exit(f"{folder}/generations.csv holds no generation yet")
    fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
    ax.plot(table["generation"], table["best"], label="best", color="tab:blue", linewidth=2)
    median = table["median"].where(table["median"] < WORST_FITNESS)
    ax.plot(table["generation"], median, label="median", color="tab:gray", linewidth=1)
    reached = table[table["best_goal_seeds"] > 0]
    if not reached.empty:
        ax.scatter(reached["generation"], reached["best"], color="tab:green", s=14, zorder=3,
                   label="best reaches the goal on some seed")
    ax.axhline(1.0, color="tab:green", linestyle=":", linewidth=1, label="fitness 1")
    ax.set_yscale("log")
    ax.set_xlabel("generation")
    ax.set_ylabel("fitness (lower is better)")
    ax.set_title(f"Evolution in {folder.name}: fitness per generation")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    target = pathlib.Path(output) if output else folder / "fitness.png"
    fig.savefig(target)
    print(target)


# option -> (what it plots, function(argument, output))
MODES = {
    "--evolve": ("the fitness curve of the search in DIR (scripts/plot --evolve DIR)", plot_evolve),
}


def main():
    parser = argparse.ArgumentParser(prog="scripts/plot", description=__doc__.splitlines()[0])
    modes = parser.add_mutually_exclusive_group(required=True)
    for option, (text, _) in MODES.items():
        modes.add_argument(option, metavar="DIR", help=text)
    parser.add_argument("--output", metavar="FILE", help="where the picture goes (PNG, SVG or PDF)")
    args = parser.parse_args()
    for option, (_, draw) in MODES.items():
        value = getattr(args, option.lstrip("-").replace("-", "_"))
        if value is not None:
            draw(value, args.output)


if __name__ == "__main__":
    main()
