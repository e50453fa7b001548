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
    annual rate of events at or above m over the part's own span; the extreme
    events at their magnitudes (rate: extreme events at or above m over the
    extreme period); the fitted doubly truncated law with its band (Beta,
    Lambda and Mmax sampled together); Mmin, Xmax and Mmax marked."""
    catalog = getattr(catalog, "catalog", catalog)
    fig, ax = _axes(ax, (7.5, 5.2))
    s = result.settings
    top = max(result.mmax + result.sd_mmax, s.xmax) + 0.1
    grid = np.linspace(s.mmin, top, 200)
    fitted = result.hazard(grid, spans=[1.0]).annual_rate
    rates, _ = _hazard_of_draws(result, grid.astype(np.float32), [1.0], samples, seed)
    low, high = np.nanpercentile(rates, BAND, axis=0)
    observed = []
    markers = "osD^vP"
    for i, part in enumerate(catalog.complete):
        levels, rate = observed_rates(part)
        observed.append(rate)
        ax.plot(levels, rate, markers[i % len(markers)], ms=4.5, mfc="none",
                color=f"C{(i + 1) % 10}",
                label=f"complete part {i + 1}, {_years(part.start, part.end)}: "
                      f"count \u2265 m / {part.end - part.start:.0f} yr (M \u2265 {part.threshold:g})")
    if catalog.extreme is not None and len(catalog.extreme):
        e = catalog.extreme
        order = np.sort(e.magnitude)[::-1]
        rate = np.arange(1, order.size + 1) / (e.end - e.start)
        observed.append(rate)
        ax.plot(order, rate, "*", ms=8, color="tab:red",
                label=f"extreme events, {_years(e.start, e.end)}: "
                      f"count \u2265 m / {e.end - e.start:.0f} yr ({order.size} events)")
    floor = 0.3 * min([np.nanmin(r) for r in observed if np.size(r)] + [fitted[0] * 1e-3])
    _log_band(ax, grid, low, high, floor, color="tab:blue", alpha=0.18, lw=0,
              label="band: 16th-84th percentile of laws drawn from Beta, Lambda, Mmax \u00b1 SD")
    ax.plot(grid, _positive(fitted), color="tab:blue", lw=2,
            label=f"fitted law: b = {result.b:.2f} \u00b1 {result.sd_b:.2f}, "
                  f"\u03bb = {result.lambda_:.3g} \u00b1 {result.sd_lambda:.2g}/yr above Mmin")
    ax.axvspan(result.mmax - result.sd_mmax, result.mmax + result.sd_mmax, color="0.5",
               alpha=0.12, lw=0, label="Mmax \u00b1 SD")
    for value, style, name in ((s.mmin, ":", "Mmin"), (s.xmax, "--", "Xmax"),
                               (result.mmax, "-", "Mmax")):
        _mark(ax, value, style, f"{name} {value:.2f}")
    ax.set_ylim(bottom=floor)
    ax.set_yscale("log")
    ax.set_xlim(s.mmin - 0.1, top)
    ax.set_xlabel("magnitude m")
    ax.set_ylabel("annual rate of events with magnitude \u2265 m (1/yr)")
    ax.set_title("Magnitude-frequency: observed rates and the fitted doubly truncated law")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(loc="lower left", fontsize=7.5, framealpha=0.9)
    return fig


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
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(7.5, 8), sharex=True, layout="constrained",
                                      gridspec_kw={"height_ratios": [3, 2]})
    floor = max(1e-5, 0.5 * np.nanmin(_positive(h.annual_rate)))
    low, high = np.nanpercentile(rates, BAND, axis=0)
    _log_band(top, magnitudes, low, high, floor, color="tab:blue", alpha=0.18, lw=0,
              label="band: laws drawn from Beta, Lambda, Mmax \u00b1 SD (16th-84th percentile)")
    # The return periods of Lambda +- SD (1e35: no events) as rates.
    for period, label in ((h.return_period_upper, "band of Lambda \u00b1 SD alone"),
                          (h.return_period_lower, None)):
        rate = np.where(period < 1e35, 1.0 / period.astype(float), np.nan)
        top.plot(magnitudes, rate, color="0.25", lw=0.8, ls="--", label=label)
    top.plot(magnitudes, _positive(h.annual_rate), color="tab:blue", lw=2,
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
    top.set_title(f"Hazard: b = {result.b:.2f}, \u03bb = {result.lambda_:.3g}/yr "
                  f"above M {s.mmin:g}, Mmax = {result.mmax:.2f}")
    for j, span in enumerate(spans):
        low, high = np.nanpercentile(probabilities[:, :, j], BAND, axis=0)
        color = f"C{j + 1}"
        bottom.fill_between(magnitudes, low, high, color=color, alpha=0.18, lw=0)
        bottom.plot(magnitudes, h.probabilities[:, j], color=color, lw=2,
                    label=f"within {span:g} years")
    bottom.set_ylim(0, 1.02)
    bottom.set_xlabel("magnitude m")
    bottom.set_ylabel("probability of exceeding m")
    bottom.grid(True, alpha=0.3)
    bottom.legend(loc="lower left", fontsize=8)
    return fig


def bootstrap(batch, zone=None, branch=None, bins: int = 30):
    """Distributions of b, Lambda and Mmax over the bootstrap resamples of one
    zone and branch of a batch result (default the first of each): histograms
    of the resamples that succeeded, the catalog's own estimate (replicate 0),
    the median and the 16th and 84th percentiles marked."""
    import matplotlib.pyplot as plt

    rows = batch.results
    zone = rows[0]["zone"] if zone is None else zone
    rows = [r for r in rows if r["zone"] == zone]
    if not rows:
        raise ValueError(f"the batch has no zone {zone!r}")
    branch = rows[0]["branch"] if branch is None else branch
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
            ax.hist(values, bins=bins, color="tab:blue", alpha=0.6)
            low, median, high = np.percentile(values, (BAND[0], 50.0, BAND[1]))
            for v, style in ((low, ":"), (median, "--"), (high, ":")):
                ax.axvline(v, color="0.2", ls=style, lw=1)
        if own is not None and own["status"] == "ok":
            ax.axvline(own[key], color="tab:red", lw=2)
        ax.set_xlabel(label)
        ax.set_ylabel("resamples")
    axes[0].plot([], [], color="tab:red", lw=2, label="catalog (replicate 0)")
    axes[0].plot([], [], color="0.2", ls="--", lw=1, label="median of resamples")
    axes[0].plot([], [], color="0.2", ls=":", lw=1, label="16th, 84th percentile")
    axes[0].legend(fontsize=7, loc="upper left")
    fig.suptitle(f"Bootstrap: zone {zone}, branch {branch}: {len(drawn)} resamples"
                 + (f", {failed} failed" if failed else ""))
    return fig
