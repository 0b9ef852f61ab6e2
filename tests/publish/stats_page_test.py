#!/usr/bin/env python3
"""The statistics page of a log with hostile values, opened in headless Chromium with a probe
script added (the page itself forbids every script): its charts and tables must equal the
summaries of `stats --json`, drawn to one scale, every text inside its chart, nothing fetched, no
control character of a report in the page. A screenshot is kept (OUT/stats.png) to look at.

    stats_page_test.py TALLIX_PUBLISH REPORT_LOG OUT
"""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

MOST_BARS = 30  # the page draws the largest 30 rows of a summary; its table holds them all

PROBE = """<script>
window.addEventListener('load', () => {
  const out = {resources: performance.getEntriesByType('resource').map(e => e.name),
               violations: window.__violations, height: document.documentElement.scrollHeight,
               charts: [], tables: {}};
  for (const svg of document.querySelectorAll('svg.chart')) {
    const box = svg.getBoundingClientRect();
    const chart = {id: svg.dataset.summary, rows: [], outside: []};
    for (const row of svg.querySelectorAll('g.row')) {
      const bars = [...row.querySelectorAll('rect.bar')].map(r => {
        const b = r.getBoundingClientRect();
        return {series: r.dataset.series, value: Number(r.dataset.value), width: b.width,
                height: b.height};
      });
      const values = row.querySelector('text.values');
      chart.rows.push({label: row.dataset.label, bars: bars,
                       values: values ? values.textContent : null});
    }
    for (const t of svg.querySelectorAll('text')) {
      const b = t.getBoundingClientRect();
      if (b.left < box.left - 0.5 || b.right > box.right + 0.5 || b.top < box.top - 0.5 ||
          b.bottom > box.bottom + 0.5) chart.outside.push(t.textContent);
    }
    out.charts.push(chart);
  }
  for (const section of document.querySelectorAll('section')) {
    out.tables[section.id] = [...section.querySelectorAll('table tr')].map(
        tr => [...tr.children].map(c => c.textContent));
  }
  const pre = document.createElement('pre');
  pre.id = 'probe';
  pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
});
</script>"""
WATCH = ("<script>window.__violations = []; document.addEventListener('securitypolicyviolation',"
         " e => window.__violations.push(e.violatedDirective + ' ' + e.blockedURI));</script>")


def chromium(profile, *args):
    command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--no-first-run", "--hide-scrollbars", "--user-data-dir=" + profile,
               # No name resolves: the page and its probe are files, nothing leaves the machine.
               "--host-resolver-rules=MAP * ~NOTFOUND", *args]
    return subprocess.run(command, capture_output=True, timeout=180, check=True).stdout


def terminal_text(text):
    """What the page shows of a report's text: control characters made visible, as on a
    terminal ("\\t", "\\n", "\\r", "\\xNN" for other C0 controls and DEL, "\\u00NN" for C1)."""
    short = {"\t": "\\t", "\n": "\\n", "\r": "\\r"}
    return re.sub("[\x00-\x1f\x7f-\x9f]", lambda m: short.get(m.group()) or (
        "\\x%02x" if ord(m.group()) <= 0x7f else "\\u%04x") % ord(m.group()), text)


class Failures(list):
    def check(self, condition, what):
        if not condition:
            self.append(what)


def check_static(page, failures):
    """The page stands alone and carries no control character of a report."""
    for pattern in ("<script", "src=", "href=", "@import", "url(", "<link", "@font-face"):
        failures.check(pattern not in page, "the page holds " + pattern)
    failures.check(re.search("[\x00-\x08\x0b-\x1f\x7f-\x9f]", page) is None,
                   "a control character reached the page")
    failures.check("&lt;script&gt;alert(1)&lt;/script&gt;" in page, "markup of a report unescaped")


def check_charts(probe, summaries, failures):
    failures.check(probe["resources"] == [], "the page fetched %s" % probe["resources"])
    failures.check(probe["violations"] == [], "the page was refused %s" % probe["violations"])
    ids = [c["id"] for c in probe["charts"]]
    failures.check(ids == [s["id"] for s in summaries], "charts %s, summaries %s" %
                   (ids, [s["id"] for s in summaries]))
    for chart, summary in zip(probe["charts"], summaries):
        heading, rows = summary["rows"][0], summary["rows"][1:]
        series = heading[len(heading) - len(chart["rows"][0]["bars"]):] if chart["rows"] else []
        groups = len(heading) - len(series)
        drawn = rows if chart["id"] == "days" else rows[:MOST_BARS]
        failures.check(len(chart["rows"]) == len(drawn),
                       "%s: %d rows drawn of %d" % (chart["id"], len(chart["rows"]), len(rows)))
        failures.check(chart["outside"] == [], "%s: text outside the chart: %s" %
                       (chart["id"], chart["outside"]))
        drawn_bars = []
        for row, expected in zip(chart["rows"], drawn):
            label = " \u00b7 ".join(terminal_text(cell) or "(empty)" for cell in expected[:groups])
            values = [int(v) for v in expected[groups:]]
            failures.check(row["label"] == label, "%s: label %r, summary %r" %
                           (chart["id"], row["label"], label))
            failures.check([b["series"] for b in row["bars"]] == series,
                           "%s: series %s" % (chart["id"], row["bars"]))
            failures.check([b["value"] for b in row["bars"]] == values, "%s %s: bars %s, summary %s"
                           % (chart["id"], label, [b["value"] for b in row["bars"]], values))
            if row["values"] is not None:
                failures.check(row["values"] == " + ".join(map(str, values)),
                               "%s %s: written %r" % (chart["id"], label, row["values"]))
            length = "height" if chart["id"] == "days" else "width"
            drawn_bars += [(b["value"], b[length]) for b in row["bars"]]
        # One scale from zero: each bar's length is its value times the largest bar's pixels per
        # report, within the tenth of a pixel the page writes.
        largest = max(drawn_bars, default=(1, 0))
        off = [(v, l) for v, l in drawn_bars if abs(l - v * largest[1] / largest[0]) > 0.25]
        failures.check(largest[1] > 100 and not off,
                       "%s: bars off the scale %s" % (chart["id"], off[:5]))
        table = probe["tables"][chart["id"]]
        failures.check(table == [heading] + [[terminal_text(c) for c in r] for r in rows],
                       "%s: the table differs from the summary" % chart["id"])


def main():
    publish, report_log, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="stats-page-")
    try:
        log = os.path.join(work, "requests.jsonl")
        with open(log, "wb") as f:
            subprocess.run([report_log, "3000", "--hostile"], stdout=f, check=True)
        db = os.path.join(work, "reports.db")
        page_path = os.path.join(out, "stats.html")
        loaded = subprocess.run([publish, "stats", log, "--db", db, "--html", page_path, "--json"],
                                capture_output=True, timeout=600)
        assert loaded.returncode == 1, loaded.stderr  # the log holds malformed lines
        summaries = json.loads(loaded.stdout)["summaries"]
        again = subprocess.run([publish, "stats", db, "--json"], capture_output=True, check=True)
        assert json.loads(again.stdout)["summaries"] == summaries

        with open(page_path, encoding="utf-8") as f:
            page = f.read()
        failures = Failures()
        check_static(page, failures)
        probed = page.replace("default-src 'none';", "default-src 'none'; script-src 'unsafe-inline';")
        probed = probed.replace("<head>", "<head>" + WATCH, 1).replace("</body>", PROBE + "</body>")
        probe_path = os.path.join(work, "probe.html")
        with open(probe_path, "w", encoding="utf-8") as f:
            f.write(probed)
        dom = chromium(os.path.join(work, "profile-dom"), "--window-size=1000,1000",
                       "--virtual-time-budget=3000", "--dump-dom", "file://" + probe_path)
        found = re.search(rb'<pre id="probe">(.*?)</pre>', dom, re.S)
        assert found, "the probe wrote nothing: " + dom[:500].decode("utf-8", "replace")
        probe = json.loads(html.unescape(found.group(1).decode("utf-8")))
        check_charts(probe, summaries, failures)

        shot = os.path.join(out, "stats.png")
        chromium(os.path.join(work, "profile-shot"), "--window-size=1000,%d" % probe["height"],
                 "--screenshot=" + shot, "file://" + page_path)
        failures.check(os.path.getsize(shot) > 10000, "no screenshot")
        for item in failures:
            print("FAILED:", item)
        print("charts checked: %s; screenshot: %s" % (", ".join(c["id"] for c in probe["charts"]),
                                                    shot))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
