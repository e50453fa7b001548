"""Figures of an analysis (matplotlib, imported when a figure is drawn).

Each function draws one figure and returns it; nothing is shown or saved.

The bands carry the uncertainty of Beta, Lambda and Mmax together: `samples`
draws of (Beta, Lambda, Mmax), each normal about its estimate with its
standard deviation, independent of the others (the analysis reports no
covariance), Beta and Lambda kept above 0 and Mmax at or above the largest
observed magnitude Xmax (draws outside are drawn again). Each draw's law gives
its rates and probabilities through the library's hazard; the band spans the
16th to 84th percentiles of the draws at each magnitude, the range of one
standard deviation of a normal law. The draws come from
numpy.random.default_rng(seed), so a figure is the same each time it is drawn.

Observed counts carry Poisson limits of one standard deviation (Gehrels 1986,
ApJ 303, eqs. 7 and 12 with S = 1). The figures of a batch
(batch_magnitude_frequency, batch_hazard, bootstrap) are those of qev-batch's
report.html, with its colours: branch i in colour Ci, the heaviest branch
solid and thick with the 16-84 % band of its bootstrap resamples, the others
dashed.
"""

from __future__ import annotations

import numpy as np

from . import _years
from . import hazard as _hazard

BAND = (16.0, 84.0)  # percentiles of the band: +- one SD of a normal law


def sample_estimates(result, samples: int = 1000, seed: int = 0):
    """Draws of (Beta, Lambda, Mmax) about the estimates of an AnalysisResult,
    as the bands use them (see the module's text). Returns three float64
    arrays."""
    rng = np.random.default_rng(seed)
    xmax = result.settings.xmax
    params = ((result.beta, result.sd_beta, 0.0), (result.lambda_, result.sd_lambda, 0.0),
              (result.mmax, result.sd_mmax, xmax))
    out = []
    for mean, sd, low in params:
        sd = sd if np.isfinite(sd) else 0.0
        values = rng.normal(mean, sd, samples)
        for _ in range(100):  # draw again what lies below the bound
            bad = values <= low if low == 0.0 else values < low
            if not bad.any():
                break
            values[bad] = rng.normal(mean, sd, int(bad.sum()))
        out.append(np.where(values <= low if low == 0.0 else values < low, mean, values))
    return tuple(out)


def _hazard_of_draws(result, magnitudes, spans, samples, seed):
    """Annual rates (draws x magnitudes) and probabilities (draws x magnitudes
    x spans) of the sampled laws."""
    beta, lam, mmax = sample_estimates(result, samples, seed)
    rates = np.empty((samples, magnitudes.size))
    probabilities = np.empty((samples, magnitudes.size, len(spans)))
    for k in range(samples):
        h = _hazard(beta[k], lam[k], result.settings.mmin, mmax[k], magnitudes, spans)
        rates[k] = h.annual_rate
        probabilities[k] = h.probabilities
    return rates, probabilities


def _positive(values):
    """Values for a log axis: 0 (no events) is not drawn."""
    values = np.asarray(values, dtype=float)
    return np.where(values > 0, values, np.nan)


def _log_band(ax, x, low, high, floor, **style):
    """A band on a log axis whose lower edge may reach 0 (draws whose Mmax lies
    below m): that edge is drawn at the axis floor, and the band ends where its
    upper edge reaches 0."""
    low = np.maximum(np.asarray(low, dtype=float), floor)
    high = _positive(high)
    ax.fill_between(x, np.where(np.isfinite(high), low, np.nan), high, **style)




def _mark(ax, value, style, text):
    """A vertical line at a magnitude, named along the line at the top."""
    ax.axvline(value, color="0.3", ls=style, lw=1)
    ax.text(value, 0.98, f" {text}", transform=ax.get_xaxis_transform(), rotation=90,
            ha="right", va="top", fontsize=8, color="0.2")


def _axes(ax, figsize):
    import matplotlib.pyplot as plt

    if ax is None:
        fig, ax = plt.subplots(figsize=figsize, layout="constrained")
        return fig, ax
    return ax.figure, ax


PART_COLORS = ("#000000", "#8c564b", "#555555", "#17becf", "#bcbd22")
BIN = 0.1  # magnitude bins of the incremental counts


def poisson_limits(n):
    """Lower and upper Poisson limits of one standard deviation for counts n
    (Gehrels 1986, eq. 12 and eq. 7 with S = 1)."""
    n = np.asarray(n, dtype=float)
    upper = n + np.sqrt(n + 0.75) + 1.0
    with np.errstate(divide="ignore", invalid="ignore"):
        lower = np.where(n > 0, n * (1 - 1 / (9 * n) - 1 / (3 * np.sqrt(n))) ** 3, 0.0)
    return lower, upper


def binned_counts(part):
    """Counts of a complete part in bins of 0.1 from its threshold (the rows
    the analysis uses, at most 0.02 below it): bin magnitudes and counts."""
    used = part.magnitude >= np.float32(part.threshold) - np.float32(0.02)
    k = np.maximum(0, np.round((part.magnitude[used] - part.threshold) / BIN)).astype(int)
    counts = np.bincount(k, weights=part.frequency[used], minlength=1 if k.size == 0 else 0)
    return part.threshold + BIN * np.arange(counts.size), counts


def _plot_observed(ax, catalog):
    """Incremental (filled squares) and cumulative (open circles) rates of
    each complete part with Poisson error bars, the extreme events as stars;
    returns the lowest rate drawn."""
    lowest = []
    for i, part in enumerate(catalog.complete):
        span = part.end - part.start
        if not span > 0:
            continue
        m, counts = binned_counts(part)
        color = PART_COLORS[i % len(PART_COLORS)]
        for n, marker, face, text in (
                (counts, "s", color, f"part {i + 1}: count in the 0.1 bin / span"),
                (np.cumsum(counts[::-1])[::-1], "o", "white",
                 f"part {i + 1} (M ≥ {part.threshold:.2f}, {span:.1f} yr): "
                 "count ≥ m / span")):
            keep = n > 0
            lo, hi = poisson_limits(n[keep])
            rate = n[keep] / span
            ax.errorbar(m[keep], rate, yerr=(rate - lo / span, hi / span - rate), fmt=marker,
                        ms=5, mfc=face, color=color, elinewidth=1, capsize=2.5, label=text)
            lowest.append(np.maximum(lo, 0.5).min() / span if keep.any() else np.inf)
    if catalog.extreme is not None and len(catalog.extreme):
        e = catalog.extreme
        order = np.sort(e.magnitude)[::-1]
        span = e.end - e.start
        ax.plot(order, np.arange(1, order.size + 1) / span, "*", ms=9, color="#d62728",
                label=f"extreme events: rank / {span:.0f} yr")
        lowest.append(1.0 / span)
    return min(lowest + [np.inf])


def observed_rates(part):
    """Distinct magnitudes of a complete part at and above its threshold (to
    within 0.02, the rows the analysis uses) and the annual rate of events at
    or above each over the part's own span."""
    used = part.magnitude >= np.float32(part.threshold) - np.float32(0.02)
    magnitude = part.magnitude[used]
    frequency = part.frequency[used]
    levels = np.unique(magnitude)[::-1]
    counts = np.array([frequency[magnitude >= m].sum() for m in levels], dtype=float)
    span = part.end - part.start
    return levels, counts / span if span > 0 else np.full(levels.size, np.nan)


def magnitude_frequency(catalog, result, ax=None, samples: int = 1000, seed: int = 0):
    """The magnitude-frequency figure: for each complete part the observed
    annual rates, incremental (events in bins of 0.1 over the part's span)
    and cumulative (events at or above m), with Poisson error bars; the
    extreme events at their magnitudes (rank over the extreme period); the
    fitted doubly truncated law with its band (Beta, Lambda and Mmax sampled
    together); Xmax and Mmax marked. The magnitude axis ends 0.3 above the
    larger of Xmax and Mmax."""
    catalog = getattr(catalog, "catalog", catalog)
    fig, ax = _axes(ax, (7.5, 5.6))
    s = result.settings
    top = max(result.mmax, s.xmax) + 0.3
    grid = np.linspace(s.mmin, top, 200)
    fitted = result.hazard(grid, spans=[1.0]).annual_rate
    rates, _ = _hazard_of_draws(result, grid.astype(np.float32), [1.0], samples, seed)
    low, high = np.nanpercentile(rates, BAND, axis=0)
    lowest = _plot_observed(ax, catalog)
    floor = 0.3 * min(lowest, fitted[0] * 1e-3)
    _log_band(ax, grid, low, high, floor, color="C0", alpha=0.22, lw=0,
              label="16-84 % of laws drawn from Beta, Lambda, Mmax ± SD")
    ax.plot(grid, _positive(fitted), color="C0", lw=2.6,
            label=f"fitted law: b = {result.b:.2f} ± {result.sd_b:.2f}, "
                  f"λ = {result.lambda_:.3g} ± {result.sd_lambda:.2g}/yr above Mmin")
    for value, style, name in ((s.xmax, (0, (2, 2)), "Xmax"), (result.mmax, "-", "Mmax")):
        _mark(ax, value, style, f"{name} {value:.2f}")
    ax.set_ylim(bottom=floor)
    ax.set_yscale("log")
    ax.set_xlim(min(s.mmin, *[p.threshold for p in catalog.complete]) - 0.1, top)
    ax.set_xlabel("magnitude m")
    ax.set_ylabel("annual rate (1/yr)")
    ax.set_title("Magnitude-frequency: observed rates and the fitted doubly truncated law")
    ax.grid(True, which="major", alpha=0.3)
    _legend_below(ax)
    return fig


def _legend_below(ax):
    """The legend under the axes, in two columns: it covers no curve."""
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.14), ncol=2, fontsize=7.5,
              frameon=False)


def hazard_curves(result, spans=(50, 100, 1000), magnitudes=None, samples: int = 1000,
                  seed: int = 0):
    """The hazard figure: above, the annual rate of exceedance (left axis) and
    the return period (right axis) against magnitude; below, the probability
    of exceedance within each span. Bands: Beta, Lambda and Mmax sampled
    together (see the module's text)."""
    import matplotlib.pyplot as plt

    s = result.settings
    if magnitudes is None:
        magnitudes = np.linspace(s.mmin, result.mmax + result.sd_mmax, 200)
    magnitudes = np.asarray(magnitudes, dtype=np.float32)
    spans = list(spans)
    h = result.hazard(magnitudes, spans)
    rates, probabilities = _hazard_of_draws(result, magnitudes, spans, samples, seed)
    fig = plt.figure(figsize=(max(7.5, 3.2 * len(spans)), 8.5), layout="constrained")
    grid = fig.add_gridspec(2, len(spans), height_ratios=[3, 2])
    top = fig.add_subplot(grid[0, :])
    floor = max(1e-5, 0.5 * np.nanmin(_positive(h.annual_rate)))
    low, high = np.nanpercentile(rates, BAND, axis=0)
    _log_band(top, magnitudes, low, high, floor, color="C0", alpha=0.22, lw=0,
              label="16-84 % of laws drawn from Beta, Lambda, Mmax \u00b1 SD")
    # The return periods of Lambda +- SD (1e35: no events) as rates.
    for period, label in ((h.return_period_upper, "band of Lambda \u00b1 SD alone"),
                          (h.return_period_lower, None)):
        rate = np.where(period < 1e35, 1.0 / period.astype(float), np.nan)
        top.plot(magnitudes, rate, color="0.25", lw=0.8, ls="--", label=label)
    top.plot(magnitudes, _positive(h.annual_rate), color="C0", lw=2.4,
             label="annual rate of exceedance")
    top.set_yscale("log")
    top.set_ylim(floor, 2.0 * result.lambda_)
    top.set_ylabel("annual rate of exceedance (1/yr)")
    period = top.secondary_yaxis("right", functions=(lambda r: 1.0 / np.maximum(r, 1e-300),
                                                     lambda t: 1.0 / np.maximum(t, 1e-300)))
    period.set_ylabel("return period (years)")
    _mark(top, result.mmax, "-", f"Mmax {result.mmax:.2f} \u00b1 {result.sd_mmax:.2f}")
    top.grid(True, which="major", alpha=0.3)
    top.legend(loc="lower left", fontsize=8)
    top.set_xlabel("magnitude m")
    top.set_title(f"Hazard: b = {result.b:.2f}, \u03bb = {result.lambda_:.3g}/yr "
                  f"above M {s.mmin:g}, Mmax = {result.mmax:.2f}")
    # One panel per span: the bands do not lie over each other.
    for j, span in enumerate(spans):
        ax = fig.add_subplot(grid[1, j], sharex=top)
        low, high = np.nanpercentile(probabilities[:, :, j], BAND, axis=0)
        ax.fill_between(magnitudes, low, high, color="C0", alpha=0.22, lw=0)
        ax.plot(magnitudes, h.probabilities[:, j], color="C0", lw=2.4)
        ax.set_ylim(0, 1.02)
        ax.set_title(f"within {span:g} years", fontsize=10)
        ax.set_xlabel("magnitude m")
        if j == 0:
            ax.set_ylabel("probability of exceedance")
        ax.grid(True, alpha=0.3)
    return fig


# ---------------------------------------------------------------- batches

def _branches(batch, zone):
    """The zone's branches in order with their weights, the heaviest (the
    first of the heaviest whose catalog estimate succeeded), and the rows."""
    rows = [r for r in batch.results if r["zone"] == zone]
    if not rows:
        raise ValueError(f"the batch has no zone {zone!r}")
    weights = {r["branch"]: r["weight"] for r in batch.summary if r["zone"] == zone}
    branches = list(dict.fromkeys(r["branch"] for r in rows))
    own = {r["branch"]: r for r in rows if r["replicate"] == 0}
    ok = [b for b in branches if own[b]["status"] == "ok"]
    heaviest = max(ok, key=lambda b: (weights.get(b, 0.0), -ok.index(b))) if ok else None
    return branches, weights, heaviest, own, rows


def _law_rates(row, m):
    """Annual rates above m of a row's doubly truncated law (0 at and above
    its Mmax)."""
    beta, lam, mmin, mmax = (float(row[k]) for k in ("beta", "lambda", "mmin", "mmax"))
    m = np.maximum(np.asarray(m, dtype=float), mmin)
    span = 1.0 - np.exp(-beta * (mmax - mmin))
    rate = lam * (np.exp(-beta * (m - mmin)) - np.exp(-beta * (mmax - mmin))) / span
    return np.where(m < mmax, rate, 0.0)


def batch_magnitude_frequency(batch, zone, catalog=None, ax=None):
    """The magnitude-frequency figure of one zone of a batch, as report.html
    draws it: the observed rates of `catalog` (the zone's catalog, when
    given), the law of each branch (the heaviest thick with the 16-84 % band
    of its resamples, the others dashed), Xmax and Mmax of the heaviest."""
    branches, weights, heaviest, own, rows = _branches(batch, zone)
    fig, ax = _axes(ax, (7.5, 5.6))
    if heaviest is None:
        raise ValueError(f"zone {zone!r} has no branch with an estimate")
    best = own[heaviest]
    top = max(best["xmax"], best["mmax"]) + 0.3
    low = best["mmin"] - 0.1
    lowest = np.inf
    if catalog is not None:
        catalog = getattr(catalog, "catalog", catalog)
        lowest = _plot_observed(ax, catalog)
        low = min([low] + [p.threshold - 0.1 for p in catalog.complete])
    grid = np.linspace(low, top, 80)
    drawn = np.array([_law_rates(r, grid) for r in rows
                      if r["branch"] == heaviest and r["replicate"] > 0 and r["status"] == "ok"])
    floor = 0.3 * min(lowest, best["lambda"] * 1e-4)
    i = branches.index(heaviest)
    if drawn.size:
        lo, hi = np.percentile(drawn, BAND, axis=0)
        _log_band(ax, grid, lo, hi, floor, color=f"C{i % 10}", alpha=0.22, lw=0,
                  label="16-84 % band of the heaviest branch's resamples")
    for k, branch in enumerate(branches):
        row = own[branch]
        if row["status"] != "ok":
            continue
        m = grid[grid >= row["mmin"] - 1e-9]
        thick = branch == heaviest
        ax.plot(m, _positive(_law_rates(row, m)), color=f"C{k % 10}", lw=2.6 if thick else 1.2,
                ls="-" if thick else (0, (5, 3)),
                label=f"{branch}: b {row['b']:.2f}, Mmax {row['mmax']:.2f}"
                if thick or len(branches) <= 6 else None)
    _mark(ax, best["xmax"], (0, (2, 2)), f"Xmax {best['xmax']:.2f}")
    _mark(ax, best["mmax"], "-", f"Mmax {best['mmax']:.2f}")
    ax.set_yscale("log")
    ax.set_ylim(bottom=floor)
    ax.set_xlim(low, top)
    ax.set_xlabel("magnitude m")
    ax.set_ylabel("annual rate (1/yr)")
    ax.set_title(f"Magnitude-frequency: {zone}")
    ax.grid(True, which="major", alpha=0.3)
    _legend_below(ax)
    return fig


def batch_hazard(batch, zone, spans=None):
    """The hazard curves of one zone of a batch, as report.html draws them: a
    panel per span with the probability of exceeding m within it for the
    heaviest branch (thick, with the 16-84 % band of its resamples) and the
    other branches (dashed); spans default to those of the batch's
    hazard.csv."""
    import matplotlib.pyplot as plt

    branches, weights, heaviest, own, rows = _branches(batch, zone)
    if heaviest is None:
        raise ValueError(f"zone {zone!r} has no branch with an estimate")
    if spans is None:
        spans = sorted({r["span"] for r in batch.hazard if r["zone"] == zone}) or [50.0]
    best = own[heaviest]
    grid = np.linspace(best["mmin"], max(best["xmax"], best["mmax"]) + 0.3, 80).astype(np.float32)

    def probabilities(row):
        return _hazard(row["beta"], row["lambda"], row["mmin"], row["mmax"], grid,
                       spans).probabilities

    drawn = np.array([probabilities(r) for r in rows
                      if r["branch"] == heaviest and r["replicate"] > 0 and r["status"] == "ok"])
    fig, axes = plt.subplots(1, len(spans), figsize=(3.4 * len(spans), 3.0), layout="constrained",
                             squeeze=False)
    i = branches.index(heaviest)
    for j, (ax, span) in enumerate(zip(axes[0], spans)):
        if drawn.size:
            lo, hi = np.percentile(drawn[:, :, j], BAND, axis=0)
            ax.fill_between(grid, lo, hi, color=f"C{i % 10}", alpha=0.22, lw=0)
        for k, branch in enumerate(branches):
            if branch != heaviest and own[branch]["status"] == "ok":
                ax.plot(grid, probabilities(own[branch])[:, j], color=f"C{k % 10}", lw=1.0,
                        ls=(0, (5, 3)))
        ax.plot(grid, probabilities(best)[:, j], color=f"C{i % 10}", lw=2.4)
        ax.set_ylim(0, 1)
        ax.set_title(f"within {span:g} years", fontsize=10)
        ax.set_xlabel("magnitude m")
        ax.grid(True, alpha=0.3)
    axes[0][0].set_ylabel("probability of exceedance")
    return fig


def bootstrap(batch, zone=None, branch=None, bins: int = 30):
    """Distributions of b, Lambda and Mmax over the bootstrap resamples of one
    zone and branch of a batch result (default the first zone and its heaviest
    branch, as report.html shows): histograms
    of the resamples that succeeded, the catalog's own estimate (replicate 0),
    the median and the 16th and 84th percentiles marked."""
    import matplotlib.pyplot as plt

    rows = batch.results
    zone = rows[0]["zone"] if zone is None else zone
    rows = [r for r in rows if r["zone"] == zone]
    if not rows:
        raise ValueError(f"the batch has no zone {zone!r}")
    if branch is None:
        branch = _branches(batch, zone)[2] or rows[0]["branch"]
    rows = [r for r in rows if r["branch"] == branch]
    if not rows:
        raise ValueError(f"zone {zone!r} has no branch {branch!r}")
    own = next((r for r in rows if r["replicate"] == 0), None)
    drawn = [r for r in rows if r["replicate"] > 0 and r["status"] == "ok"]
    failed = sum(1 for r in rows if r["replicate"] > 0 and r["status"] != "ok")
    mmin = rows[0]["mmin"]
    fig, axes = plt.subplots(1, 3, figsize=(10.5, 3.6), layout="constrained")
    panels = (("b", "b-value (decimal)"), ("lambda", f"\u03bb: annual rate at M \u2265 {mmin:g} (1/yr)"),
              ("mmax", "Mmax (magnitude)"))
    for ax, (key, label) in zip(axes, panels):
        values = np.array([r[key] for r in drawn], dtype=float)
        values = values[np.isfinite(values)]
        if values.size:
            ax.hist(values, bins=bins, color="#1f77b4", alpha=0.45, edgecolor="#1f77b4")
            low, median, high = np.percentile(values, (BAND[0], 50.0, BAND[1]))
            for v, style in ((low, (0, (2, 2))), (median, (0, (5, 3))), (high, (0, (2, 2)))):
                ax.axvline(v, color="0.2", ls=style, lw=1)
        if own is not None and own["status"] == "ok":
            ax.axvline(own[key], color="#d62728", lw=2)
        ax.set_xlabel(label)
        ax.set_ylabel("resamples")
    axes[0].plot([], [], color="#d62728", lw=2, label="catalog (replicate 0)")
    axes[0].plot([], [], color="0.2", ls="--", lw=1, label="median of resamples")
    axes[0].plot([], [], color="0.2", ls=":", lw=1, label="16th, 84th percentile")
    axes[0].legend(fontsize=7, loc="upper left")
    fig.suptitle(f"Bootstrap: zone {zone}, branch {branch}: {len(drawn)} resamples"
                 + (f", {failed} failed" if failed else ""))
    return fig
