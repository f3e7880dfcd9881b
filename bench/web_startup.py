#!/usr/bin/python3
"""Start-up of the web page (./scripts/web) in Debian's Chromium and, when
it is installed, Debian's Firefox ESR, headless, beside the bare Qt window
(bench/floor.cpp) built the same way and drawn at the scale the game is
drawn at in the same 1024x768 view: the time from the start of the
page's navigation to its first window on screen (the game's name prompt;
the bare window), read in the page itself at the first animation frame
that shows it. Each run has a fresh browser profile, so nothing is cached;
the runs alternate after a warm-up of each. Also the size of each file the
page downloads, raw and as a server sends it with gzip or brotli (the
copies the build writes beside it).

Usage: web_startup.py PAGE-FOLDER FLOOR-FOLDER [RUNS [BEFORE-PAGE BEFORE-FLOOR]]
(the page and bare window of an earlier build, measured in the same runs)
"""

import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from browser import FIREFOX, Browser, Firefox, Folder  # noqa: E402
from texts import PROMPT_TITLE  # noqa: E402

# Runs in the page before its own scripts: notes the time of the first
# frame in which a window with the given title (any, when empty) shows.
WATCH = """(() => {
    const wanted = %s;
    const look = () => {
        const host = document.querySelector('#qt-shadow-container');
        const windows = host && host.shadowRoot
            ? [...host.shadowRoot.querySelectorAll('.qt-window')] : [];
        if (windows.some(w => w.style.display === 'block'
                && (!wanted || w.querySelector('.window-name').innerText === wanted))) {
            window.segniShownAt = performance.now();
            return;
        }
        requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
})()"""


def start_up_ms(kind, url, title, work):
    profile = tempfile.mkdtemp(dir=work)
    with open(os.path.join(work, "browsers.log"), "a") as log:
        browser = kind(profile, log)
        try:
            browser.resize(1024, 768)
            browser.add_script(WATCH % ('"%s"' % title if title else "''"))
            browser.navigate(url)
            for _ in range(600):
                shown = browser.evaluate("window.segniShownAt")
                if shown is not None:
                    return shown, browser.scale()
                browser.evaluate("new Promise(r => setTimeout(r, 100))")
            raise RuntimeError("%s showed no window within a minute" % url)
        finally:
            browser.close()
            shutil.rmtree(profile, ignore_errors=True)


def scaled_floor(floor, work):
    """The bare window's page, drawn at the scale its address gives
    (?scale=1.27), as the game is in the same view: Qt takes the scale from
    its environment, which the page passes in."""
    folder = os.path.join(work, "floor")
    os.makedirs(folder)
    for name in os.listdir(floor):
        if name.startswith(("bench_floor.", "qtloader.", "qtlogo.")) and name != "bench_floor.html":
            os.symlink(os.path.join(os.path.abspath(floor), name), os.path.join(folder, name))
    with open(os.path.join(floor, "bench_floor.html")) as f:
        html = f.read()
    loading = "qtLoad({\n                    qt: {"
    if loading not in html:
        raise RuntimeError("Qt's page for the bare window no longer reads as expected")
    html = html.replace(loading, loading + " environment: { QT_SCALE_FACTOR: "
                        "new URLSearchParams(location.search).get('scale') || '1' },")
    with open(os.path.join(folder, "bench_floor.html"), "w") as f:
        f.write(html)
    return folder


def served_sizes(folder):
    """Each file a browser downloads from the folder (its licences aside),
    with its size raw, and as a server sends it where the build wrote a
    gzip or brotli copy beside it (else as it is)."""
    rows = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or name.endswith((".gz", ".br")):
            continue
        raw = os.path.getsize(path)
        sent = [os.path.getsize(path + ext) if os.path.exists(path + ext) else raw
                for ext in (".gz", ".br")]
        rows.append((name, raw, *sent))
    return rows


def size_text(size):
    return "%.2f MiB" % (size / 2**20) if size >= 2**18 else "%.0f KiB" % (size / 2**10)


def main():
    page, floor = sys.argv[1:3]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    before = sys.argv[4:6] if len(sys.argv) > 5 else None
    work = tempfile.mkdtemp(prefix="web_startup.")
    builds = [("", page, floor)] + ([("before: ", *before)] if before else [])
    served = {}
    browsers = [Browser] + ([Firefox] if os.access(FIREFOX, os.X_OK) else [])
    times = {}
    scale = None
    try:
        for label, game, bare in builds:
            served[label] = (Folder(game), Folder(scaled_floor(
                bare, os.path.join(work, label.strip(": ") or "this"))))
        for kind in browsers:
            # The warm-up gives the scale the game is drawn at.
            scale = start_up_ms(kind, served[""][0].url + "index.html", PROMPT_TITLE, work)[1]
            pages = []
            for label, (game, bare) in served.items():
                pages += [(label + "game", game.url + "index.html", PROMPT_TITLE),
                          (label + "floor", bare.url + "bench_floor.html?scale=%.2f" % scale, "")]
            for _, url, title in pages[1:]:
                start_up_ms(kind, url, title, work)
            for _ in range(runs):
                for name, url, title in pages:
                    times.setdefault((kind.name, name), []).append(
                        start_up_ms(kind, url, title, work)[0])
    finally:
        for folders in served.values():
            for folder in folders:
                folder.close()
        shutil.rmtree(work, ignore_errors=True)
    print("Both drawn at %.2f, as the game is in a 1024x768 view." % scale)
    print()
    print("| measure | build | game | floor | ratio |%s" % (" game / before |" if before else ""))
    print("|---|---|---|---|---|%s" % ("---|" if before else ""))
    for kind in browsers:
        medians = {label: [statistics.median(times[kind.name, label + what])
                           for what in ("game", "floor")] for label, _, _ in builds}
        for label, _, _ in builds:
            game, bare = medians[label]
            print("| %s: page load to the name prompt (median of %d) | %s | %.0f ms | %.0f ms "
                  "| %.2f |%s" % (kind.name, runs, label.rstrip(": ") or "this one", game, bare,
                                  game / bare, (" %.2f |" % (game / medians["before: "][0])
                                                if before and not label else
                                                " |" if before else "")))
    for label, folder, _ in builds:
        print()
        print("| file (%s%s) | raw | gzip | brotli |" % (label, folder))
        print("|---|---|---|---|")
        rows = served_sizes(folder)
        rows.append(("total", *(sum(row[i] for row in rows) for i in (1, 2, 3))))
        for name, *sizes in rows:
            print("| %s | %s |" % (name, " | ".join(size_text(size) for size in sizes)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
