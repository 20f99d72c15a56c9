"""Makes docs/report.png, the README's picture of the bundled sample's test report: the report of
examples/lens_transmittances.orv, rendered by headless Chromium (Debian: chromium).

Run under an interpreter with matplotlib (the plots) and the module built for it, e.g.
PYTHONPATH=build/python3.11:python /usr/bin/python3 examples/report_screenshot.py
"""

import os
import tempfile

from orvpy import report

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "lens_transmittances.orv")
PICTURE = os.path.join(HERE, "..", "docs", "report.png")


def main():
    os.chdir(HERE)  # the file named as a lab would name it, without this checkout's folders
    made = report.build([os.path.basename(SAMPLE)], made="2026-12-01T09:00:00+01:00")
    with tempfile.TemporaryDirectory() as folder:
        page = os.path.join(folder, "report.html")
        report.write(made, page, plots=True)
        report.screenshot(page, PICTURE, width=1100, height=2250)
    print(f"wrote {os.path.normpath(PICTURE)}")


if __name__ == "__main__":
    main()
