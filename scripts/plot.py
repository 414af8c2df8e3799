#!/usr/bin/python3
"""Plots of Quillmoth's outputs. Run through scripts/plot, which picks a Python 3 that has matplotlib and pandas.

Each plot is one function; main() picks it from the arguments: one stats file (a run), --sweep with
many (the spread over seeds) or with the folder of quillmoth-sim sweep (its results against the first
setting varied), --evolve with a search's folder (its fitness curve and behaviour grid), --evolve-compare
with several (their progress by runs).
"""

import argparse
import csv
import json
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")  # files only: no display needed
import matplotlib.colors  # noqa: E402
import matplotlib.patches  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

# The cost of a gene that made the engine fail (src/evolve/Fitness.h): kept off the curves.
WORST_FITNESS = 1e6
# A fitness below this reached the goal on some seed (the goal task's cost, docs/evolve.md).
GOAL_FITNESS = 1.0
# Fixed colours, so that an algorithm looks the same in every comparison.
ALGORITHM_COLOURS = {"ga": "tab:blue", "map-elites": "tab:orange", "novelty": "tab:green"}


def refuse(message):
    """One line on standard error and status 2: what a bad command line gets too."""
    print(message, file=sys.stderr)
    sys.exit(2)


def warn(message):
    print(message, file=sys.stderr)


def read_generations(folder):
    """DIR/generations.csv with its numbers as numbers; refuses what cannot be plotted."""
    if not folder.is_dir():
        refuse(f"{folder}: no such folder (give the --out folder of quillmoth-sim evolve)")
    path = folder / "generations.csv"
    if not path.is_file():
        refuse(f"{path}: no such file (is {folder} the folder of a search?)")
    try:
        table = pd.read_csv(path)
    except pd.errors.EmptyDataError:
        refuse(f"{path} is empty")
    except (pd.errors.ParserError, UnicodeDecodeError) as error:
        refuse(f"{path}: not a table of generations ({str(error).strip().splitlines()[-1]})")
    missing = [c for c in ["generation", "best", "median", "best_goal_seeds"] if c not in table.columns]
    if missing:
        refuse(f"{path}: not a table of generations (no column {', '.join(missing)})")
    for column in table.columns:
        table[column] = pd.to_numeric(table[column], errors="coerce")
    table = table.dropna(subset=["generation", "best"])  # a row the search is still writing
    if table.empty:
        refuse(f"{path} holds no generation yet")
    return table


def read_archive(path):
    """DIR/archive.csv as (table, descriptors, about): a row per filled cell with its cell indices
    (cell_NAME) and fitness; the descriptors as dicts of name, low, high and cells (low and high None
    when the comment line is missing or does not fit the columns); about: the comment's object, {} then."""
    try:
        lines = path.read_text(encoding="utf-8").splitlines()
    except (OSError, UnicodeDecodeError) as error:
        refuse(f"{path}: cannot be read ({error.strerror if isinstance(error, OSError) else error})")
    about, trouble = {}, None  # what is wrong with the first line: said once the rest reads
    if lines and lines[0].startswith("#"):
        try:
            about = json.loads(lines[0][1:])
            if not isinstance(about, dict):
                raise ValueError("not an object")
        except ValueError as error:
            trouble = f"{path}: the first line is no JSON object ({error}); drawn without the descriptors' ranges"
            about = {}
        lines = lines[1:]
    else:
        trouble = (f"{path}: no '# {{...}}' line first; the grid's size comes from the cells filled, and the "
                   "descriptors' ranges are unknown")
    rows = list(csv.reader(line for line in lines if line.strip()))
    if not rows:
        refuse(f"{path}: no header line")
    header = rows[0]
    cells = [c for c in header if c.startswith("cell_")]
    if not cells or "fitness" not in header:
        refuse(f"{path}: not an archive (no cell_ column or no fitness column in '{','.join(header)}')")
    if len(cells) > 2:
        refuse(f"{path}: {len(cells)} descriptors; the heat map draws 1 or 2")
    wanted = [header.index(c) for c in cells] + [header.index("fitness")]
    records = []
    for number, row in enumerate(rows[1:], start=1):
        try:
            cell = [int(row[i]) for i in wanted[:-1]]
            records.append(cell + [float(row[wanted[-1]])])
        except (IndexError, ValueError):
            refuse(f"{path}: row {number} ('{','.join(row)[:60]}') has no whole cell index or no fitness")
    table = pd.DataFrame(records, columns=cells + ["fitness"])
    table = table.astype({**{c: int for c in cells}, "fitness": float})  # even with no row
    if trouble:
        warn(trouble)
    descriptors = archive_descriptors(path, about, cells, table)
    inside = pd.Series(True, index=table.index)
    for d in descriptors:
        inside &= table[f"cell_{d['name']}"].between(0, d["cells"] - 1)
    if not inside.all():
        warn(f"{path}: {int((~inside).sum())} rows with a cell index outside the grid left out")
        table = table[inside]
    repeated = table.duplicated(subset=cells)
    if repeated.any():
        warn(f"{path}: {int(repeated.sum())} cells appear twice; the lower fitness is drawn")
        table = table.sort_values("fitness").drop_duplicates(subset=cells)
    return table, descriptors, about


def archive_descriptors(path, about, cells, table):
    """The comment's descriptors when they match the cell_ columns; else the names of those columns
    with as many cells as the highest index filled says, and no range."""
    given = about.get("descriptors") if about else None
    try:
        descriptors = [{"name": str(d["name"]), "low": float(d["low"]), "high": float(d["high"]),
                        "cells": int(d["cells"])} for d in given]
        if [f"cell_{d['name']}" for d in descriptors] == cells and \
                all(d["cells"] > 0 and d["low"] < d["high"] for d in descriptors):
            return descriptors
        if about:
            warn(f"{path}: the descriptors of the first line do not match the columns {', '.join(cells)}; "
                 "drawn by cell index")
    except (TypeError, KeyError, ValueError):
        if about:
            warn(f"{path}: the first line has no list of descriptors (name, low, high, cells); drawn by cell index")
    return [{"name": c[len("cell_"):], "low": None, "high": None,
             "cells": int(table[c].max()) + 1 if not table.empty else 1} for c in cells]


def fitness_scale(values):
    """Log scale only when every value is above 0: costs of other tasks may be 0 or negative."""
    values = pd.Series(values).dropna()
    return "log" if not values.empty and (values > 0).all() else "linear"


def plot_evolve(folder, output, archive_output):
    """The best and median fitness of the search in `folder` against its runs (its generations in a folder
    of an older search), and when the folder has archive.csv its behaviour grid as a heat map."""
    folder = pathlib.Path(folder)
    table = read_generations(folder)
    archive = folder / "archive.csv"
    grid = read_archive(archive) if archive.exists() else None
    if grid and grid[0].empty and grid[1][0]["low"] is None:
        warn(f"{archive}: no cell filled and no first line to size the grid by, so no archive picture")
        grid = None
    task = grid[2].get("task") if grid else None
    x = "total_evaluations" if "total_evaluations" in table.columns else "generation"
    fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
    ax.plot(table[x], table["best"], label="best", color="tab:blue", linewidth=2)
    median = table["median"].where(table["median"] < WORST_FITNESS)
    ax.plot(table[x], median, label="median", color="tab:gray", linewidth=1)
    if task in (None, "goal"):  # older folders are all of the goal task
        reached = table[table["best_goal_seeds"] > 0]
        if not reached.empty:
            ax.scatter(reached[x], reached["best"], color="tab:green", s=14, zorder=3,
                       label="best reaches the goal on some seed")
        ax.axhline(GOAL_FITNESS, color="tab:green", linestyle=":", linewidth=1, label="fitness 1")
    ax.set_yscale(fitness_scale(pd.concat([table["best"], median])))
    ax.set_xlabel("evaluations (runs so far)" if x == "total_evaluations" else "generation")
    ax.set_ylabel("fitness (lower is better)")
    ax.set_title(f"Evolution in {folder.name}: fitness per generation")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    target = pathlib.Path(output) if output else folder / "fitness.png"
    fig.savefig(target)
    plt.close(fig)
    print(target)
    if grid:
        target = pathlib.Path(archive_output) if archive_output else folder / "archive.png"
        plot_archive(folder, *grid, target)
        print(target)
    elif archive_output:
        warn(f"{archive}: no such file, so no {archive_output}")


def plot_archive(folder, table, descriptors, about, target):
    """The fitness of every filled cell of the behaviour grid: a heat map over two descriptors, a strip
    over one; empty cells white, the goal reached marked, the engine's failures grey."""
    shape = [d["cells"] for d in reversed(descriptors)]  # rows: the second descriptor
    fitness = np.full(shape, np.nan)
    index = tuple(table[f"cell_{d['name']}"].to_numpy() for d in reversed(descriptors))
    fitness[index] = table["fitness"].to_numpy()
    failed = fitness >= WORST_FITNESS
    shown = np.where(failed, np.nan, fitness)
    ranged = all(d["low"] is not None for d in descriptors)
    spans = [(d["low"], d["high"]) if ranged else (-0.5, d["cells"] - 0.5) for d in descriptors]
    if len(descriptors) == 1:
        shown, failed = shown.reshape(1, -1), failed.reshape(1, -1)
        spans.append((0.0, 1.0))
    extent = [*spans[0], *spans[1]]
    two = len(descriptors) == 2
    fig, ax = plt.subplots(figsize=(7.5, 6.5) if two else (9, 2.8), dpi=100)
    colours = plt.get_cmap("viridis").copy()
    colours.set_bad("white")
    values = shown[~np.isnan(shown)]
    if values.size and fitness_scale(values) == "log":
        norm = matplotlib.colors.LogNorm(vmin=values.min(), vmax=max(values.max(), values.min() * 1.01))
    else:
        norm = matplotlib.colors.Normalize(vmin=values.min() if values.size else 0,
                                           vmax=values.max() if values.size else 1)
    image = ax.imshow(np.ma.masked_invalid(shown), origin="lower", extent=extent, aspect="auto", cmap=colours,
                      norm=norm, interpolation="nearest")
    fig.colorbar(image, ax=ax, label="fitness (lower is better)", pad=0.02)
    handles = []
    if failed.any():
        grey = matplotlib.colors.ListedColormap(["lightgray"])
        ax.imshow(np.ma.masked_where(~failed, failed), origin="lower", extent=extent, aspect="auto", cmap=grey,
                  interpolation="nearest")
        handles.append(matplotlib.patches.Patch(color="lightgray", label="the engine failed (fitness 10^6)"))
    if about.get("task") == "goal":
        rows, columns = np.nonzero(np.nan_to_num(shown, nan=np.inf) < GOAL_FITNESS)
        if rows.size:
            width = (extent[1] - extent[0]) / shown.shape[1]
            height = (extent[3] - extent[2]) / shown.shape[0]
            box = ax.get_window_extent()  # a dot a third of a cell across, in points
            across = min(box.width / shown.shape[1], box.height / shown.shape[0]) * 72 / fig.dpi / 3
            handles.append(ax.scatter(extent[0] + (columns + 0.5) * width, extent[2] + (rows + 0.5) * height,
                                      s=max(across, 2) ** 2, color="white", edgecolor="black", linewidth=0.6,
                                      label=f"goal reached (fitness < 1): {rows.size} cells"))
    for name, setter in zip([d["name"] for d in descriptors], [ax.set_xlabel, ax.set_ylabel]):
        setter(name if ranged else f"{name} (cell; no ranges without the first line of archive.csv)")
    if not two:
        ax.set_yticks([])
    total = int(np.prod([d["cells"] for d in descriptors]))
    filled = int(np.isfinite(fitness).sum())
    if about.get("algorithm") and about.get("task") and ranged:
        ax.set_title(f"Behaviour grid of {folder.name}: {about['algorithm']}, task {about['task']}, "
                     f"{filled} of {total} cells filled")
    else:
        ax.set_title(f"Behaviour grid of {folder.name}: {filled} cells filled (of at least {total})")
    if handles:
        ax.legend(handles=handles, loc="upper center", bbox_to_anchor=(0.5, -0.12 if two else -0.35), ncol=2,
                  fontsize=8, frameon=False)
    fig.tight_layout()
    fig.savefig(target)
    plt.close(fig)


def search_label(folder, about):
    """"map-elites, seed 2 (qd-2)": the algorithm and the seed of the search (from its checkpoint), with the
    folder's name to tell apart searches that differ otherwise."""
    seed = about.get("seed")
    try:
        for line in (folder / "checkpoint.txt").read_text(encoding="utf-8").splitlines():
            if seed is None and line.startswith("seed "):
                seed = line.split()[1]
    except (OSError, UnicodeDecodeError, IndexError):
        pass
    algorithm = about.get("algorithm", "algorithm unknown")
    return f"{algorithm}, seed {seed} ({folder.name})" if seed is not None else f"{algorithm} ({folder.name})"


def plot_evolve_compare(arguments):
    """The best fitness and the cells filled against the runs so far, a line per search, coloured by
    algorithm: to compare algorithms (and seeds) on the same budget."""
    if len(arguments) < 2:
        refuse("--evolve-compare needs the picture to write and at least one folder: OUT.png DIR [DIR...]")
    target, folders = pathlib.Path(arguments[0]), [pathlib.Path(a) for a in arguments[1:]]
    if target.is_dir() or target.suffix.lower() not in (".png", ".svg", ".pdf"):
        refuse(f"--evolve-compare: the first argument is the picture to write (OUT.png, .svg or .pdf), "
               f"not {target}")
    searches = []
    for folder in folders:
        table = read_generations(folder)
        missing = [c for c in ["total_evaluations", "archive_cells"] if c not in table.columns]
        if missing:
            refuse(f"{folder}/generations.csv has no column {', '.join(missing)}: a search from before the "
                   f"behaviour grid, which cannot be compared by runs (scripts/plot --evolve {folder} draws it)")
        about = {}
        archive = folder / "archive.csv"
        if archive.exists():
            about = read_archive(archive)[2]
        else:
            warn(f"{archive}: no such file, so the algorithm of {folder} is unknown")
        searches.append((folder, table, about))
    fig, (best, cells) = plt.subplots(2, 1, figsize=(8, 7), dpi=100, sharex=True,
                                      gridspec_kw={"height_ratios": [3, 2]})
    styles = ["-", "--", ":", "-."]
    seen = {}
    colours = dict(ALGORITHM_COLOURS)
    others = iter(["tab:purple", "tab:brown", "tab:pink", "tab:olive", "tab:cyan", "tab:red"])
    for folder, table, about in searches:
        algorithm = about.get("algorithm", "?")
        if algorithm not in colours:
            colours[algorithm] = next(others, "black")
        style = styles[seen.get(algorithm, 0) % len(styles)]
        seen[algorithm] = seen.get(algorithm, 0) + 1
        line = dict(color=colours[algorithm], linestyle=style, linewidth=1.8,
                    label=search_label(folder, about))
        best.plot(table["total_evaluations"], table["best"], **line)
        cells.plot(table["total_evaluations"], table["archive_cells"], **line)
    tasks = {about.get("task") for _, _, about in searches}
    if tasks == {"goal"}:
        best.axhline(GOAL_FITNESS, color="tab:green", linestyle=":", linewidth=1, label="fitness 1 (goal reached)")
    best.set_yscale(fitness_scale(pd.concat([t["best"] for _, t, _ in searches])))
    best.set_ylabel("best fitness (lower is better)")
    task = f", task {next(iter(tasks))}" if len(tasks) == 1 and None not in tasks else ""
    best.set_title(f"{len(searches)} searches{task}: best fitness and cells filled by runs")
    best.grid(True, which="both", alpha=0.3)
    best.legend(fontsize=8)
    cells.set_ylabel("cells of the behaviour grid filled")
    cells.set_xlabel("evaluations (runs so far)")
    cells.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(target)
    plt.close(fig)
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


def read_trail(path):
    """The centre (mean node position) of every recorded step of a JSON-lines trace, and its goal."""
    goal, xs, zs, last = None, [], [], 0
    try:
        with open(path, encoding="utf-8") as trace:
            for number, line in enumerate(trace, 1):
                if not line.strip():
                    continue
                item = json.loads(line)
                if "manifest" in item:
                    goal = item["manifest"]["options"]["goal"]
                elif item.get("nodes"):
                    last = item["step"]
                    xs.append(sum(n["pos"][0] for n in item["nodes"]) / len(item["nodes"]))
                    zs.append(sum(n["pos"][2] for n in item["nodes"]) / len(item["nodes"]))
    except OSError as error:
        refuse(f"{path}: {error.strerror}")
    except (ValueError, KeyError, IndexError, TypeError):
        refuse(f"{path}, line {number}: not a JSON-lines trace of quillmoth-sim run (docs/trace.md)")
    if goal is None:
        refuse(f"{path}: no manifest line, so no goal: not a JSON-lines trace of quillmoth-sim run")
    return goal, xs, zs, last


def plot_trails(arguments):
    """The centre's path seen from above, a line per trace, each with its goal: how a creature heads for
    goals put in different places."""
    if len(arguments) < 2:
        refuse("--trails needs the picture to write and at least one trace: OUT.png TRACE.jsonl [TRACE.jsonl...]")
    target = pathlib.Path(arguments[0])
    if target.suffix.lower() not in (".png", ".svg", ".pdf"):
        refuse(f"--trails: the first argument is the picture to write (OUT.png, .svg or .pdf), not {target}")
    fig, ax = plt.subplots(figsize=(7, 7), dpi=100)
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for i, path in enumerate(arguments[1:]):
        goal, xs, zs, last = read_trail(path)
        colour = colours[i % len(colours)]
        ax.plot(xs, zs, color=colour, linewidth=1.2, label=f"{pathlib.Path(path).stem}: to step {last}")
        ax.plot([goal[0]], [goal[2]], marker="*", markersize=14, color=colour, markeredgecolor="black")
        if xs:
            ax.plot([xs[-1]], [zs[-1]], marker="o", markersize=5, color=colour)
    ax.plot([0], [0], marker="s", markersize=7, color="black", label="start")
    ax.set_aspect("equal")
    ax.set_xlabel("x")
    ax.set_ylabel("z")
    ax.set_title("the centre's path (from above); stars: the goals")
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=8, loc="best")
    fig.tight_layout()
    fig.savefig(target)
    plt.close(fig)
    print(target)


def main():
    parser = argparse.ArgumentParser(
        prog="scripts/plot", description=__doc__.splitlines()[0],
        usage="scripts/plot STATS.csv [-o FILE] | --sweep STATS.csv... [-o FILE] | --sweep DIR [-o FILE] | "
              "--evolve DIR [-o FILE] [--archive-output FILE] | --evolve-compare OUT.png DIR... | "
              "--trails OUT.png TRACE.jsonl...")
    parser.add_argument("stats", nargs="*", metavar="STATS.csv",
                        help="the stats of a run (quillmoth-sim run --stats): nodes, links, centroid height and "
                             "distance to the goal over the steps (STATS.png unless -o says otherwise)")
    parser.add_argument("--sweep", action="store_true",
                        help="the spread of the distance to the goal over the runs whose stats are given "
                             "(sweep.png beside the first unless -o says otherwise); or, given the folder of "
                             "quillmoth-sim sweep or its results.csv, the median closest approach and the "
                             "share reaching the goal against the first setting varied (DIR/sweep.png)")
    parser.add_argument("--evolve", metavar="DIR",
                        help="the fitness curve of the search in DIR (DIR/fitness.png unless -o says otherwise) "
                             "and, when DIR has archive.csv, its behaviour grid (DIR/archive.png unless "
                             "--archive-output says otherwise)")
    parser.add_argument("--archive-output", metavar="FILE", help="where --evolve draws the behaviour grid")
    parser.add_argument("--evolve-compare", nargs="+", metavar=("OUT.png", "DIR"),
                        help="best fitness and cells filled against the runs so far of the searches in the "
                             "folders, a line each, coloured by algorithm, drawn into OUT.png")
    parser.add_argument("--trails", nargs="+", metavar=("OUT.png", "TRACE"),
                        help="the centre's path from above in each JSON-lines trace, with its goal, drawn into "
                             "OUT.png")
    parser.add_argument("-o", "--output", metavar="FILE", help="where the picture goes (PNG, SVG or PDF)")
    args = parser.parse_args()
    if args.trails is not None:
        if args.stats or args.sweep or args.evolve is not None or args.evolve_compare or args.output:
            parser.error("--trails takes the picture to write and traces, and no other option")
        plot_trails(args.trails)
    elif args.evolve_compare is not None:
        if args.stats or args.sweep or args.evolve is not None or args.output or args.archive_output:
            parser.error("--evolve-compare takes the picture to write and folders, and no other option")
        plot_evolve_compare(args.evolve_compare)
    elif args.evolve is not None:
        if args.stats or args.sweep:
            parser.error("--evolve takes a folder and no stats files")
        plot_evolve(args.evolve, args.output, args.archive_output)
    elif args.archive_output:
        parser.error("--archive-output goes with --evolve DIR")
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
