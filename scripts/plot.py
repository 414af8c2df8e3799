#!/usr/bin/python3
"""Plots of Quillmoth's outputs. Run through scripts/plot, which picks a Python 3 that has matplotlib and pandas.

Each plot is one function; main() picks it from the arguments: one stats file (a run), --sweep with
many (the spread over seeds) or with the folder of quillmoth-sim sweep (its results against the first
setting varied), --evolve with a search's folder (its fitness curve).
"""

import argparse
import json
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


def read_stats(path):
    """A stats CSV of quillmoth-sim run (docs/trace.md); empty fields (no node left) read as NaN."""
    table = pd.read_csv(path, comment="#")
    wanted = ["step", "nodes", "links", "centroid_y", "goal_distance"]
    missing = [c for c in wanted if c not in table.columns]
    if missing:
        sys.exit(f"{path}: not a stats file of quillmoth-sim run (no column {', '.join(missing)})")
    if table.empty:
        sys.exit(f"{path} holds no step")
    return table


def plot_run(stats, output):
    """Node count, link count, centroid height and distance to the goal over the steps of one run."""
    path = pathlib.Path(stats)
    table = read_stats(path)
    fig, axes = plt.subplots(4, 1, figsize=(8, 8), dpi=100, sharex=True)
    panels = [("nodes", "nodes", "tab:blue"), ("links", "links", "tab:orange"),
              ("centroid_y", "centroid height", "tab:green"), ("goal_distance", "distance to the goal", "tab:red")]
    for ax, (column, label, colour) in zip(axes, panels):
        ax.plot(table["step"], table[column], color=colour, linewidth=1.5)
        ax.set_ylabel(label)
        ax.grid(True, alpha=0.3)
    axes[2].axhline(-25.0, color="tab:brown", linestyle=":", linewidth=1, label="floor")
    axes[2].legend(loc="upper right")
    axes[3].axhline(2.0, color="tab:green", linestyle=":", linewidth=1, label="reached within 2.0")
    axes[3].legend(loc="upper right")
    axes[-1].set_xlabel("step")
    axes[0].set_title(f"{path.name}: {len(table) - 1} steps, {int(table['nodes'].iloc[-1])} nodes at the end")
    fig.tight_layout()
    target = pathlib.Path(output) if output else path.with_suffix(".png")
    fig.savefig(target)
    print(target)


def read_results(path):
    """The results.csv of quillmoth-sim sweep: a column per setting, then seed, outcome, ... (docs/sweeps.md)."""
    table = pd.read_csv(path, comment="#")
    missing = [c for c in ["seed", "outcome", "closest"] if c not in table.columns]
    if missing:
        sys.exit(f"{path}: not a results.csv of quillmoth-sim sweep (no column {', '.join(missing)})")
    if table.empty:
        sys.exit(f"{path} holds no run")
    return table


def is_results(path):
    """Whether `path` is a sweep's folder or its results.csv (rather than the stats of a run)."""
    path = pathlib.Path(path)
    if path.is_dir():
        return True
    with open(path, encoding="utf-8", errors="replace") as f:
        header = next((line for line in f if not line.startswith("#")), "")
    return "outcome" in header.split(",")


def plot_results(path, output):
    """For the first setting the sweep varied: the median closest approach and the share of runs that
    reached the goal at each of its values, a line per combination of the other settings varied."""
    path = pathlib.Path(path)
    if path.is_dir():
        path = path / "results.csv"
    table = read_results(path)
    settings = list(table.columns[:list(table.columns).index("seed")])
    varied = [c for c in settings if table[c].nunique() > 1]
    if not varied:
        sys.exit(f"{path}: the sweep varies no setting (columns before 'seed': {', '.join(settings) or 'none'})")
    x, others = varied[0], varied[1:]
    table["reached"] = table["outcome"] == "goal"
    fig, (near, goal) = plt.subplots(2, 1, figsize=(8, 6.5), dpi=100, sharex=True,
                                     gridspec_kw={"height_ratios": [3, 2]})
    groups = table.groupby(others if len(others) > 1 else others[0]) if others else [((), table)]
    for key, group in groups:
        key = key if isinstance(key, tuple) else (key,)
        label = ", ".join(f"{name} {value:g}" for name, value in zip(others, key)) or "all runs"
        points = group.groupby(x).agg(median=("closest", "median"), low=("closest", lambda c: c.quantile(0.25)),
                                      high=("closest", lambda c: c.quantile(0.75)), runs=("seed", "size"),
                                      reached=("reached", "mean"))
        line = near.errorbar(points.index, points["median"],
                             yerr=[points["median"] - points["low"], points["high"] - points["median"]],
                             marker="o", capsize=3, label=label)
        goal.plot(points.index, points["reached"], marker="o", color=line[0].get_color(), label=label)
        for at, row in points.iterrows():
            near.annotate(f"n={int(row['runs'])}", (at, row["median"]), textcoords="offset points", xytext=(4, 4),
                          fontsize=8, color=line[0].get_color())
    near.set_ylabel("closest approach to the goal\n(median, 25–75 %)")
    near.set_title(f"{path.parent.name}: {len(table)} runs, {int(table['reached'].sum())} reached the goal")
    near.grid(True, alpha=0.3)
    near.legend(loc="best", fontsize=8)
    goal.set_ylabel("share reaching the goal")
    goal.set_ylim(-0.05, 1.05)
    goal.set_xlabel(x)
    goal.grid(True, alpha=0.3)
    fig.tight_layout()
    target = pathlib.Path(output) if output else path.parent / "sweep.png"
    fig.savefig(target)
    print(target)
def run_outcome(stats_file):
    """How a run of a sweep ended, from the summary line beside its stats file (runs/7.json for
    runs/7.csv): "goal", "error", "completed", or None when there is no readable summary."""
    summary = pathlib.Path(stats_file).with_suffix(".json")
    try:
        lines = [line for line in summary.read_text().splitlines() if line.strip()]
        return json.loads(lines[-1]).get("outcome")
    except (OSError, IndexError, ValueError, AttributeError):
        return None


def sweep_title(outcomes):
    """"40 runs: 3 reached the goal, 1 ended with an error, 36 completed" (and any whose
    summary is missing)."""
    counts = {kind: sum(1 for o in outcomes if o == kind) for kind in ("goal", "error", "completed")}
    unknown = len(outcomes) - sum(counts.values())
    parts = [f"{counts['goal']} reached the goal", f"{counts['error']} ended with an error",
             f"{counts['completed']} completed"]
    if unknown:
        parts.append(f"{unknown} without a summary (runs/N.json beside runs/N.csv)")
    return f"{len(outcomes)} runs: " + ", ".join(parts)


def plot_sweep(files, output):
    """The spread of the distance to the goal over the seeds of a sweep, step by step."""
    if not files:
        sys.exit("--sweep needs the stats files of the runs (runs/*.csv)")
    runs = {}
    outcomes = {}
    for name in files:
        table = read_stats(name)
        runs[pathlib.Path(name).stem] = table.set_index("step")["goal_distance"]
        outcomes[pathlib.Path(name).stem] = run_outcome(name)
    wide = pd.DataFrame(runs)  # a column per run; a run that ended early is NaN after its end
    wide = wide.sort_index()
    steps = wide.index
    going = wide.notna().sum(axis=1)
    fig, (ax, alive) = plt.subplots(2, 1, figsize=(8, 6), dpi=100, sharex=True,
                                    gridspec_kw={"height_ratios": [3, 1]})
    for low, high, shade in [(0.05, 0.95, 0.15), (0.25, 0.75, 0.3)]:
        ax.fill_between(steps, wide.quantile(low, axis=1), wide.quantile(high, axis=1),
                        color="tab:blue", alpha=shade, linewidth=0,
                        label=f"{int(low * 100)}–{int(high * 100)} % of the runs going")
    # The median is over the runs still going at each step: say how many that is.
    ax.plot(steps, wide.median(axis=1), color="tab:blue", linewidth=2,
            label=f"median of the runs going ({going.iloc[0]} at step {steps[0]}, "
                  f"{going.iloc[-1]} at step {steps[-1]})")
    ax.plot(steps, wide.min(axis=1), color="tab:green", linewidth=1, linestyle="--", label="closest run")
    ax.axhline(2.0, color="tab:green", linestyle=":", linewidth=1)
    # Where each run that ended early ended, marked by how it ended.
    marks = {"goal": ("o", "tab:green", "reached the goal"), "error": ("x", "tab:red", "ended with an error")}
    for kind, (marker, colour, label) in marks.items():
        ends = [(wide[c].last_valid_index(), wide[c].dropna().iloc[-1])
                for c in wide.columns if outcomes[c] == kind and wide[c].notna().any()]
        if ends:
            ax.scatter([e[0] for e in ends], [e[1] for e in ends], marker=marker, color=colour, zorder=3,
                       label=f"{label} ({len(ends)})")
    ax.set_ylabel("distance to the goal")
    ax.set_title(sweep_title([outcomes[c] for c in wide.columns]), fontsize=10)
    ax.grid(True, alpha=0.3)
    ax.legend(loc="upper right", fontsize=8)
    alive.plot(steps, going, color="tab:gray")
    alive.set_ylabel("runs going")
    alive.set_xlabel("step")
    alive.grid(True, alpha=0.3)
    fig.tight_layout()
    target = pathlib.Path(output) if output else pathlib.Path(files[0]).parent / "sweep.png"
    fig.savefig(target)
    print(target)


def main():
    parser = argparse.ArgumentParser(
        prog="scripts/plot", description=__doc__.splitlines()[0],
        usage="scripts/plot STATS.csv [-o FILE] | --sweep STATS.csv... [-o FILE] | --sweep DIR [-o FILE] | "
              "--evolve DIR [-o FILE]")
    parser.add_argument("stats", nargs="*", metavar="STATS.csv",
                        help="the stats of a run (quillmoth-sim run --stats): nodes, links, centroid height and "
                             "distance to the goal over the steps (STATS.png unless -o says otherwise)")
    parser.add_argument("--sweep", action="store_true",
                        help="the spread of the distance to the goal over the runs whose stats are given "
                             "(sweep.png beside the first unless -o says otherwise); or, given the folder of "
                             "quillmoth-sim sweep or its results.csv, the median closest approach and the "
                             "share reaching the goal against the first setting varied (DIR/sweep.png)")
    parser.add_argument("--evolve", metavar="DIR",
                        help="the fitness curve of the search in DIR (DIR/fitness.png unless -o says otherwise)")
    parser.add_argument("-o", "--output", metavar="FILE", help="where the picture goes (PNG, SVG or PDF)")
    args = parser.parse_args()
    if args.evolve is not None:
        if args.stats or args.sweep:
            parser.error("--evolve takes a folder and no stats files")
        plot_evolve(args.evolve, args.output)
    elif args.sweep and len(args.stats) == 1 and is_results(args.stats[0]):
        plot_results(args.stats[0], args.output)
    elif args.sweep:
        plot_sweep(args.stats, args.output)
    elif len(args.stats) == 1:
        plot_run(args.stats[0], args.output)
    else:
        parser.error("give one stats file, --sweep with several, or --evolve DIR")


if __name__ == "__main__":
    main()
