"""report.html as a browser shows it: qev-batch runs the example job, headless
Chromium lays the report out and takes a screenshot, and every figure (each
inline <svg>) must have drawn: its region of the screenshot is not blank and
holds the colours of its curves. The report must also be self-contained (no
scripts, nothing fetched).

Usage: report_in_browser.py QEV_BATCH JOB WORK. Exit status 77 (skipped)
with a message where no Chromium is installed.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77
WIDTH = 1280
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--force-device-scale-factor=1"]

# Appended to a copy of the report (never to the report itself): writes the
# boxes of the figures and the page's height into the document.
PROBE = """<script>
var boxes = [];
document.querySelectorAll('svg').forEach(function (s) {
  var r = s.getBoundingClientRect();
  boxes.push([r.left, r.top + window.scrollY, r.width, r.height]);
});
var p = document.createElement('pre');
p.id = 'qev-boxes';
p.textContent = JSON.stringify({height: document.documentElement.scrollHeight, boxes: boxes});
document.body.appendChild(p);
</script>"""


def browser():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


def chromium(exe, profile, *args):
    return subprocess.run([exe, *FLAGS, f"--user-data-dir={profile}", *args],
                          capture_output=True, text=True, timeout=180)


def main():
    batch, job, work = sys.argv[1:4]
    exe = browser()
    if exe is None:
        print("SKIPPED: no Chromium installed (apt-get install chromium) to look at report.html")
        return SKIPPED
    os.makedirs(work, exist_ok=True)
    out = os.path.join(work, "out")
    run = subprocess.run([batch, "-q", "-o", out, job], capture_output=True, text=True)
    if run.returncode not in (0, 2):
        print(run.stderr)
        return 1
    report = os.path.join(out, "report.html")
    html = open(report, encoding="utf-8").read()
    problems = []
    if "<script" in html.lower():
        problems.append("the report holds a script")
    fetched = [u for u in re.findall(r"(?:src|href)=\"([^\"#][^\"]*)\"|url\((?!#)([^)]*)\)", html)
               if any(u)]
    if fetched:
        problems.append(f"the report fetches {fetched[:3]}")

    with tempfile.TemporaryDirectory() as profile:
        probe = os.path.join(work, "probe.html")
        with open(probe, "w", encoding="utf-8") as f:
            f.write(html.replace("</body>", PROBE + "</body>"))
        dom = chromium(exe, profile, f"--window-size={WIDTH},1000", "--dump-dom",
                       "file://" + os.path.abspath(probe)).stdout
    found = re.search(r'<pre id="qev-boxes">(.*?)</pre>', dom, re.S)
    if not found:
        print("the browser gave no layout of the report:", dom[:300])
        return 1
    layout = json.loads(found.group(1).replace("&quot;", '"'))
    boxes = layout["boxes"]
    expected = html.count("<svg")
    if len(boxes) != expected or expected == 0:
        problems.append(f"{len(boxes)} figures laid out, {expected} in the report")

    shot = os.path.join(work, "report.png")
    height = int(layout["height"]) + 10
    with tempfile.TemporaryDirectory() as profile:
        chromium(exe, profile, f"--window-size={WIDTH},{height}", f"--screenshot={shot}",
                 "file://" + os.path.abspath(report))
    if not os.path.exists(shot):
        print("the browser wrote no screenshot")
        return 1

    import matplotlib.image as mpimg
    import numpy as np

    image = mpimg.imread(shot)[:, :, :3]
    for k, (left, top, width, h) in enumerate(boxes):
        x0, y0 = int(left), int(top)
        region = image[y0:y0 + int(h), x0:x0 + int(width)]
        if region.size == 0 or region.shape[0] < h - 2:
            problems.append(f"figure {k}: outside the screenshot ({left}, {top})")
            continue
        ink = (region.min(axis=2) < 0.85).mean()  # pixels that are not white
        hue = (region.max(axis=2) - region.min(axis=2) > 0.25).mean()  # coloured pixels
        if ink < 0.01 or hue < 0.0005:
            problems.append(f"figure {k} at ({left:.0f}, {top:.0f}) looks blank: "
                            f"{ink:.2%} drawn, {hue:.3%} coloured")
    for p in problems:
        print("FAILED:", p)
    print(f"{len(boxes)} figures checked in {shot} ({image.shape[1]} x {image.shape[0]})")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
