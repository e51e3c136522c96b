#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Opens an HTML report in headless Chromium and works its page like a reader.

A small DevTools-protocol client over --remote-debugging-pipe (file
descriptors 3 and 4, NUL-terminated JSON messages), so it needs nothing beyond
Python and Debian's chromium. The steps run in the order given:

  --eval EXPR        evaluate EXPR in the page; its value is printed
  --click SELECTOR   press and release the mouse on the element's centre
  --type SELECTOR=TEXT  focus the element and type TEXT
  --screenshot FILE  write a PNG of the whole page

The output is one JSON object: "load_ms" (navigation start to the end of
the load event, as the page's own timing says), "wall_ms" (from navigate to
the load event, as seen from here) and "results", one per --eval.

usage: html-report-browser.py [--chromium PROG] [--width W] [--height H] REPORT STEP...
"""

import argparse
import base64
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time


class Browser:
    def __init__(self, program, timeout):
        self.profile = tempfile.TemporaryDirectory(prefix="kestrone-chromium-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()
        # The browser reads commands on fd 3 and writes answers on fd 4; the
        # parent's own ends are not inheritable, so only these two pass.
        def child_fds():
            read_end, write_end = os.dup(to_browser_read), os.dup(from_browser_write)  # either may be 3 or 4
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)
        args = [
            program, "--headless", "--disable-gpu", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--hide-scrollbars", "--mute-audio",
            "--user-data-dir=" + self.profile.name, "--remote-debugging-pipe", "about:blank",
        ]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")  # Chromium's sandbox refuses to run as root
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, preexec_fn=child_fds, close_fds=False)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.timeout = timeout
        self.next_id = 0
        self.buffer = b""
        self.events = []
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        self.profile.cleanup()

    def read_message(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("Chromium did not answer in time")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed the pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + self.timeout
        while True:
            answer = self.read_message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(method + ": " + json.dumps(answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_event(self, method):
        deadline = time.monotonic() + self.timeout
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self.read_message(deadline))

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError("the page threw on " + expression + ": " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chromium", default="chromium")
    parser.add_argument("--width", type=int, default=1366)
    parser.add_argument("--height", type=int, default=768)
    parser.add_argument("--timeout", type=float, default=120.0)
    parser.add_argument("report")
    for step in ("eval", "click", "type", "screenshot"):
        parser.add_argument("--" + step, dest="steps", action="append", type=lambda v, s=step: (s, v))
    options = parser.parse_args()

    browser = Browser(options.chromium, options.timeout)
    output = {"results": []}
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        browser.session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        browser.send("Page.enable")
        browser.send("Performance.enable")
        browser.send("Emulation.setDeviceMetricsOverride", {"width": options.width, "height": options.height,
                                                            "deviceScaleFactor": 1, "mobile": False})
        start = time.monotonic()
        browser.send("Page.navigate", {"url": pathlib.Path(options.report).resolve().as_uri()})
        browser.wait_event("Page.loadEventFired")
        output["wall_ms"] = round((time.monotonic() - start) * 1000.0, 1)
        output["load_ms"] = browser.evaluate(
            "(() => { const n = performance.getEntriesByType('navigation')[0];"
            " return Math.round(n.loadEventEnd - n.startTime); })()")
        metrics = browser.send("Performance.getMetrics")["metrics"]
        output["metrics_ms"] = {m["name"]: round(m["value"] * 1000.0) for m in metrics
                                if m["name"] in ("LayoutDuration", "RecalcStyleDuration", "ScriptDuration",
                                                 "TaskDuration")}
        for kind, value in options.steps or []:
            if kind == "eval":
                output["results"].append(browser.evaluate(value))
            elif kind == "click" or kind == "type":
                selector, _, text = value.partition("=") if kind == "type" else (value, "", "")
                box = browser.evaluate(
                    "(() => { const e = document.querySelector(" + json.dumps(selector) + ");"
                    " if (!e) return null; e.scrollIntoView({block: 'center'});"
                    " const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()")
                if box is None:
                    raise RuntimeError("no element " + selector)
                for event in ("mousePressed", "mouseReleased"):
                    browser.send("Input.dispatchMouseEvent", {"type": event, "x": box[0], "y": box[1],
                                                              "button": "left", "clickCount": 1})
                if kind == "type":
                    browser.send("Input.insertText", {"text": text})
            elif kind == "screenshot":
                shot = browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": False})
                pathlib.Path(value).write_bytes(base64.b64decode(shot["data"]))
    finally:
        browser.close()
    json.dump(output, sys.stdout)
    sys.stdout.write("\n")


if __name__ == "__main__":
    sys.exit(main())
