#!/usr/bin/env python3
"""Downloads started in a real headless Chromium, with the shipped extension and the real programs.

1. Rushlet running: the download becomes an entry awaiting confirmation in queue.json, and the
   browser holds its own copy paused until Rushlet has bytes of the file, then erases it.
   Rushlet runs on a private X display there: its confirmation dialog is accepted with the keyboard,
   as a person would, and Rushlet fetches the file from nginx. A download whose dialog is still
   open when Rushlet quits stays awaiting confirmation. The files need the browser's session (a
   cookie, a Referer, a redirect's cookie); a login page (the sign-in ended) or a site refusing
   Rushlet ends in Error, never "Completed", and the browser finishes; a cancel cancels both.
2. Rushlet not running: the native host starts it with --browser-launch, and the same holds.
3. The host refuses the extension: the browser downloads the file itself, completely.
4. Sending switched off in the extension's popup: the browser keeps the download although Rushlet
   runs, and the popup tells that Rushlet answers.
5. The browser restarted: the downloads it held are asked about (without starting Rushlet), shown
   in the popup and settled once Rushlet runs; a new download gets an id of its own.

Everything lives under a temporary HOME (see browser_harness.py, which the Firefox test shares).
The browser is driven over its DevTools pipe, so only the standard library is needed. Exit status
77 means the browser, nginx, Xvfb or xdotool is not installed.

usage: chromium_end_to_end.py BIN_DIR [--browser PATH]
"""

import base64
import hashlib
import json
import os
import subprocess
import sys
import threading
import time

import browser_harness
from browser_harness import (AWAITING, HELD_FILE_SIZE, HOST_NAME, SKIPPED, BrowserRun, Failure, OBSERVER, check,
                             file_body, log, wait_for)

def extension_id(key):
    digest = hashlib.sha256(base64.b64decode(key, validate=True)).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


# ------------------------------------------------------------------ DevTools over a pipe

class DevTools:
    """The browser's DevTools protocol on descriptors 3 and 4: JSON messages ended by NUL."""

    def __init__(self, write_fd, read_fd):
        self.write_fd, self.read_fd = write_fd, read_fd
        self.next_id = 0
        self.results = {}
        self.events = []
        self.closed = False
        self.condition = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        buffer = b""
        while True:
            try:
                data = os.read(self.read_fd, 65536)
            except OSError:
                data = b""
            if not data:
                with self.condition:
                    self.closed = True
                    self.condition.notify_all()
                return
            buffer += data
            while b"\0" in buffer:
                raw, buffer = buffer.split(b"\0", 1)
                message = json.loads(raw)
                with self.condition:
                    if "id" in message:
                        self.results[message["id"]] = message
                    else:
                        self.events.append(message)
                    self.condition.notify_all()

    def call(self, method, params=None, session=None, timeout=20):
        self.next_id += 1
        call_id = self.next_id
        message = {"id": call_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.write_fd, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self.condition:
            while call_id not in self.results:
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise Failure("no answer from the browser to " + method)
                self.condition.wait(left)
            result = self.results.pop(call_id)
        if "error" in result:
            raise Failure("%s: %s" % (method, result["error"]))
        return result.get("result", {})

    def wait_event(self, predicate, timeout):
        deadline = time.monotonic() + timeout
        with self.condition:
            while True:
                for event in self.events:
                    if predicate(event):
                        return event
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.condition.wait(left)

    def evaluate(self, session, expression, timeout=20):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session=session, timeout=timeout)
        if "exceptionDetails" in result:
            raise Failure("script failed: " + json.dumps(result["exceptionDetails"])[:400])
        return result["result"].get("value")


# ------------------------------------------------------------------ the scenario run

class Run(BrowserRun):
    def __init__(self, bin_dir, browser):
        super().__init__(bin_dir, browser)
        self.profile = os.path.join(self.config, "chromium")
        self.chromium = None
        self.devtools = None
        self.worker = None

    # -------------------------------------------------------------- the browser

    def register(self):
        # The registration serves the browsers that ran for this user: Chromium has, here.
        os.makedirs(self.profile, exist_ok=True)
        super().register()
        with open(os.path.join(self.bin_dir, "chrome-extension", "manifest.json")) as f:
            self.extension_id = extension_id(json.load(f)["key"])
        check(self.manifest["allowed_origins"] == ["chrome-extension://%s/" % self.extension_id],
              "the manifest admits %s" % self.manifest["allowed_origins"])
        # The profile below is Chromium's default folder under this XDG_CONFIG_HOME.
        with open(os.path.join(self.profile, "NativeMessagingHosts", HOST_NAME + ".json")) as f:
            check(json.load(f) == self.manifest, "Chromium's copy of the host manifest differs")
        log("registered; extension id", self.extension_id)

    def start_browser(self):
        os.makedirs(os.path.join(self.profile, "Default"), exist_ok=True)
        with open(os.path.join(self.profile, "Default", "Preferences"), "w") as f:
            json.dump({"download": {"default_directory": self.browser_downloads, "prompt_for_download": False}}, f)
        extension = os.path.join(self.bin_dir, "chrome-extension")
        commands_read, commands_write = os.pipe()
        replies_read, replies_write = os.pipe()

        def devtools_descriptors():
            os.dup2(commands_read, 3)
            os.dup2(replies_write, 4)

        flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + self.profile, "--remote-debugging-pipe",
                 "--disable-extensions-except=" + extension, "--load-extension=" + extension, "about:blank"]
        self.browser_log = open(self.browser_log_path, "w")
        self.chromium = subprocess.Popen([self.browser] + flags, env=self.environment, stdin=subprocess.DEVNULL,
                                         stdout=self.browser_log, stderr=self.browser_log,
                                         preexec_fn=devtools_descriptors, close_fds=False, start_new_session=True)
        os.close(commands_read)
        os.close(replies_write)
        self.devtools = DevTools(commands_write, replies_read)
        self.devtools.call("Browser.getVersion", timeout=30)
        self.devtools.call("Target.setDiscoverTargets", {"discover": True})
        event = self.devtools.wait_event(
            lambda e: e.get("method") in ("Target.targetCreated", "Target.targetInfoChanged")
            and e["params"]["targetInfo"]["type"] == "service_worker"
            and e["params"]["targetInfo"]["url"].startswith("chrome-extension://"), 30)
        check(event, "the extension's service worker never started")
        url = event["params"]["targetInfo"]["url"]
        check(url.startswith("chrome-extension://%s/" % self.extension_id),
              "the browser gave the extension another id: " + url)
        self.worker = self.devtools.call("Target.attachToTarget", {"targetId": event["params"]["targetInfo"]["targetId"],
                                                                   "flatten": True})["sessionId"]
        # The worker's target exists before its script has run; downloads before that pass it by.
        wait_for("the extension to listen for downloads", lambda: self.devtools.evaluate(
            self.worker, "typeof chrome === 'object' && Boolean(chrome.downloads) &&"
            " chrome.downloads.onDeterminingFilename.hasListeners()"), 20)
        self.evaluate(OBSERVER)
        log("browser", self.chromium.pid, "running with the extension")

    def evaluate(self, expression, timeout=20):
        return self.devtools.evaluate(self.worker, expression, timeout)

    def open_page(self, url):
        return self.devtools.call("Target.createTarget", {"url": url})["targetId"]

    def close_page(self, page):
        self.devtools.call("Target.closeTarget", {"targetId": page})

    # -------------------------------------------------------------- scenarios

    def rushlet_running(self):
        self.display.start()
        rushlet = self.start_rushlet()
        check(self.ping_through_browser() == {"ok": True}, "a ping through the browser was not answered")

        self.site_scenarios()

        name = "held-first.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_held(name, url, download_id)
        self.close_page(page)
        wait_for("its confirmation dialog", lambda: self.display.xdotool(
            "search", "--onlyvisible", "--name", "^Add download"), 30)
        self.stop_rushlet(rushlet.pid)
        rushlet.wait(5)
        # Quitting closed the dialog; the download waits for the next start.
        check(self.entry_for(url).get("status") == AWAITING, "quitting changed %s" % self.entry_for(url))
        log("1. taken over by the running Rushlet (browser download %d)" % download_id)

    def host_refuses(self):
        manifest = dict(self.manifest, allowed_origins=["chrome-extension://%s/" % ("a" * 32)])
        with open(os.path.join(self.data_folder, HOST_NAME + ".json"), "w") as f:
            json.dump(manifest, f, indent=4)

        refusal = self.ping_through_browser()
        # When the refusing host has exited before the browser wrote the message, the browser
        # reports the broken pipe instead of the host's answer.
        check(refusal in ({"ok": False, "error": "Extension origin is not registered."},
                          {"error": "Error when communicating with the native messaging host."}),
              "the host answered a foreign extension with %s" % refusal)

        name = "kept.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_kept_by_browser(name, download_id)
        check(self.entry_for(url) is None, "Rushlet's list has an entry for " + name)
        check(self.lock_holder() is None, "the refusing host started Rushlet")
        self.close_page(page)
        log("3. the refused download completed in the browser")

    def sending_switched_off(self):
        self.register()
        popup = self.devtools.call("Target.createTarget",
                                   {"url": "chrome-extension://%s/popup.html" % self.extension_id})["targetId"]
        session = self.devtools.call("Target.attachToTarget", {"targetId": popup, "flatten": True})["sessionId"]
        line = "(document.getElementById('connection') || {}).textContent || ''"
        answer = wait_for("the popup to learn whether Rushlet answers", lambda: (lambda text: (
            text if text and not text.startswith("Checking") else None))(self.devtools.evaluate(session, line)), 30)
        check(answer == "Rushlet answered.", "the popup says: " + answer)
        pid = wait_for("the popup's ping to start Rushlet", self.lock_holder, 10)
        self.rushlet_pids.append(pid)

        self.devtools.evaluate(session, "document.getElementById('sendDownloads').click(); true")
        wait_for("the switch to be stored", lambda: self.devtools.evaluate(
            self.worker, "chrome.storage.local.get('sendDownloads')") == {"sendDownloads": False}, 10)
        self.devtools.call("Target.closeTarget", {"targetId": popup})

        name = "kept-off.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_kept_by_browser(name, download_id)
        check(self.entry_for(url) is None, "Rushlet's list has an entry for " + name)
        self.close_page(page)
        self.stop_rushlet(pid)
        log("4. with sending off, the browser kept the download while Rushlet ran")

    def browser_restarted(self):
        held = {record["name"]: record["browserId"] for record in self.held_records().values()}
        check(sorted(held) == ["held-first.bin", "held-second.bin"], "the extension holds %s" % held)
        self.stop_browser()
        self.start_browser()
        # Asked about at the start, without starting Rushlet for that; the popup tells what Rushlet said.
        wait_for("the extension to ask about its held downloads", lambda: [r.get("state") for r in self.held_records(
        ).values()] == ["unreachable"] * 2, 30)
        check(self.lock_holder() is None, "asking about the held downloads started Rushlet")
        popup = self.devtools.call("Target.createTarget",
                                   {"url": "chrome-extension://%s/popup.html" % self.extension_id})["targetId"]
        session = self.devtools.call("Target.attachToTarget", {"targetId": popup, "flatten": True})["sessionId"]
        expected = ["%s\nRushlet did not answer: Rushlet is not running." % name for name in sorted(held)]
        wait_for("the popup to list them as %s" % expected, lambda: sorted(self.devtools.evaluate(
            session, "Array.from(document.querySelectorAll('#heldList li'), (row) => row.innerText)")) == expected, 10)
        self.devtools.call("Target.closeTarget", {"targetId": popup})
        # Its own ping started Rushlet, hidden; the user starts Rushlet, cancels one and confirms one.
        self.stop_rushlet(wait_for("the popup's ping to start Rushlet", self.lock_holder, 10))
        rushlet = self.start_rushlet()
        self.answer_dialog("Escape")
        self.check_erased("held-first.bin", held["held-first.bin"])
        self.answer_dialog("Return")
        self.check_fetched("held-second.bin", "http://127.0.0.1:%d/files/held-second.bin" % self.port,
                           file_body(HELD_FILE_SIZE))
        self.check_erased("held-second.bin", held["held-second.bin"])
        self.fetched_with_session("session", "after-restart.bin")
        self.stop_rushlet(rushlet.pid)
        log("5. after a restart the held downloads were settled, and a new one taken with an id of its own")

    # -------------------------------------------------------------- cleanup

    def stop_browser(self):
        if not self.chromium:
            return
        try:
            self.devtools.call("Browser.close", timeout=5)
        except Failure:
            pass
        browser_harness.end_browser(self.chromium, 10)
        self.browser_log.close()


if __name__ == "__main__":
    sys.exit(browser_harness.main(Run, "chromium", ["register", "serve", "start_browser", "rushlet_running",
                                                     "rushlet_started_by_host", "browser_restarted", "host_refuses",
                                                     "sending_switched_off"], SKIPPED))
