#!/usr/bin/env python3
"""Downloads started in a real headless Firefox ESR, with the shipped extension and the real programs.

The registration tool registers the host for Firefox in a fresh HOME; the extension is installed
unsigned into a fresh profile, as ESR allows. Then, in one start of the browser:
1. Rushlet running on a private X display: files from nginx that need the browser's session (a
   cookie, a Referer, a redirect's cookie) run on in the browser, are confirmed in Rushlet's dialog
   with the keyboard, fetched by Rushlet with the right bytes, and the browser's copy erased; a login
   page or a site refusing Rushlet ends in Error and the browser finishes its copy; a confirmation
   cancelled by the user cancels the browser's copy too; one finished first goes once Rushlet has it.
2. Rushlet not running: the native host, started by Firefox with its own arguments, starts Rushlet
   with --browser-launch, and the browser holds the download for it.
3. The extension's popup tells that Rushlet answers and lists the download held for it.

The browser is driven over Marionette, its own remote protocol, from a page of the extension that
the test adds to the package (observer.html); only the standard library is needed. The shared
pieces are in browser_harness.py.

usage: firefox_end_to_end.py BIN_DIR [--browser PATH] [--keep]
"""

import json
import os
import socket
import subprocess
import sys
import zipfile

import browser_harness
from browser_harness import HOST_NAME, BrowserRun, Failure, OBSERVER, check, log, wait_for

# The extension's pages get this origin instead of a random one, so that the test can open them.
EXTENSION_UUID = "5a1e7d2c-3b4f-4e8a-9c6d-0f1e2d3c4b5a"


class Marionette:
    """Firefox's remote protocol: JSON messages, each preceded by its length and a colon."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=60)
        self.buffer = b""
        self.next_id = 0
        hello = self._read()
        check(hello.get("marionetteProtocol") == 3, "Marionette greeted with %s" % hello)

    def _read(self):
        while b":" not in self.buffer:
            self._receive()
        length, self.buffer = self.buffer.split(b":", 1)
        while len(self.buffer) < int(length):
            self._receive()
        message, self.buffer = self.buffer[:int(length)], self.buffer[int(length):]
        return json.loads(message)

    def _receive(self):
        try:
            data = self.socket.recv(65536)
        except OSError as error:
            raise Failure("Marionette: %s" % error)
        if not data:
            raise Failure("the browser closed its Marionette connection")
        self.buffer += data

    def call(self, command, params=None):
        self.next_id += 1
        data = json.dumps([0, self.next_id, command, params or {}]).encode()
        self.socket.sendall(str(len(data)).encode() + b":" + data)
        while True:
            kind, message_id, error, result = self._read()
            if kind == 1 and message_id == self.next_id:
                break
        if error:
            raise Failure("%s: %s" % (command, error.get("message", error)))
        return result

    def close(self):
        self.socket.close()


class Run(BrowserRun):
    names_final_url = True
    pauses_held_downloads = False

    def __init__(self, bin_dir, browser):
        super().__init__(bin_dir, browser)
        self.mozilla = os.path.join(self.home, ".mozilla")
        self.profile = os.path.join(self.mozilla, "firefox", "rushlet-test")
        self.extension = os.path.join(self.bin_dir, "firefox-extension")
        with open(os.path.join(self.extension, "manifest.json")) as f:
            self.addon_id = json.load(f)["browser_specific_settings"]["gecko"]["id"]
        self.firefox = None
        self.marionette = None

    # -------------------------------------------------------------- the browser

    def register(self):
        # The registration serves the browsers that ran for this user: Firefox has, here.
        os.makedirs(self.profile)
        printed = super().register()
        with open(os.path.join(self.mozilla, "native-messaging-hosts", HOST_NAME + ".json")) as f:
            manifest = json.load(f)
        check(manifest == {"name": HOST_NAME, "description": "Rushlet desktop downloader", "type": "stdio",
                           "path": os.path.join(self.bin_dir, "RushletNativeHost"),
                           "allowed_extensions": [self.addon_id]}, "Firefox's host manifest is %s" % manifest)
        check(self.manifest["allowed_extensions"] == [self.addon_id],
              "the host admits the add-ons %s" % self.manifest["allowed_extensions"])
        check("    extension folder to load: %s\n" % self.extension in printed,
              "the registration names another extension folder:\n" + printed)
        log("registered for add-on", self.addon_id)

    def install_extension(self):
        """The shipped extension as Firefox installs it from the profile, plus the test's own page."""
        folder = os.path.join(self.profile, "extensions")
        os.makedirs(folder, exist_ok=True)
        with zipfile.ZipFile(os.path.join(folder, self.addon_id + ".xpi"), "w") as package:
            for parent, _, files in os.walk(self.extension):
                for name in files:
                    path = os.path.join(parent, name)
                    package.write(path, os.path.relpath(path, self.extension))
            package.writestr("observer.html", "<!doctype html><meta charset='utf-8'><title>observer</title>"
                                              "<script src='observer.js'></script>")
            package.writestr("observer.js", OBSERVER + ";\n")
        preferences = {
            "xpinstall.signatures.required": False,
            "extensions.autoDisableScopes": 0,
            "extensions.enabledScopes": 15,
            "extensions.webextensions.uuids": json.dumps({self.addon_id: EXTENSION_UUID}),
            "browser.download.dir": self.browser_downloads,
            "browser.download.folderList": 2,
            "browser.download.useDownloadDir": True,
            "browser.download.always_ask_before_handling_new_types": False,
            "browser.download.alwaysOpenPanel": False,
            "browser.safebrowsing.downloads.enabled": False,
            "browser.shell.checkDefaultBrowser": False,
            "datareporting.policy.dataSubmissionEnabled": False,
            "browser.aboutwelcome.enabled": False,
            "marionette.port": 0,  # a free one, written to MarionetteActivePort in the profile
        }
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in preferences.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))

    def start_browser(self):
        self.install_extension()
        port_file = os.path.join(self.profile, "MarionetteActivePort")
        self.browser_log = open(self.browser_log_path, "w")
        self.firefox = subprocess.Popen(
            [self.browser, "--headless", "--no-remote", "--marionette", "-remote-allow-system-access", "--profile",
             self.profile, "about:blank"], env=self.environment, stdin=subprocess.DEVNULL, stdout=self.browser_log,
            stderr=self.browser_log, start_new_session=True)

        def port():
            check(self.firefox.poll() is None, "the browser ended at start")
            try:
                with open(port_file) as f:
                    return int(f.read())
            except (OSError, ValueError):
                return None
        self.marionette = Marionette(wait_for("the browser's Marionette port", port, 60, 0.1))
        self.marionette.call("WebDriver:NewSession", {"capabilities": {"alwaysMatch": {"timeouts": {"script": 60000}}}})
        # A page of the extension opens only from the browser's own side; every check runs there.
        self.marionette.call("Marionette:SetContext", {"value": "chrome"})
        self.marionette.call("WebDriver:ExecuteScript", {"script": """
            const window = Services.wm.getMostRecentWindow("navigator:browser");
            window.gBrowser.selectedTab = window.gBrowser.addTab(arguments[0], {
                triggeringPrincipal: Services.scriptSecurityManager.getSystemPrincipal() });""",
            "args": ["moz-extension://%s/observer.html" % EXTENSION_UUID]})
        self.marionette.call("Marionette:SetContext", {"value": "content"})
        handle = self.marionette.call("WebDriver:GetWindowHandles")[-1]
        self.marionette.call("WebDriver:SwitchToWindow", {"handle": handle})
        wait_for("the observer page", lambda: self.marionette.call("WebDriver:ExecuteScript", {
            "script": "return typeof observedDownloads === 'object'"})["value"], 30, 0.2)
        # The background page's scripts have run, listeners and all, once its document is complete.
        wait_for("the extension to listen for downloads", lambda: self.evaluate(
            "api.runtime.getBackgroundPage().then((page) => page.document.readyState)") == "complete", 30)
        log("browser", self.firefox.pid, "running with the extension")

    def evaluate(self, expression, timeout=20):
        return self.marionette.call("WebDriver:ExecuteScript", {"script": "return (%s);" % expression})["value"]

    def open_page(self, url):
        return self.evaluate("api.tabs.create({url: %s, active: false}).then((tab) => tab.id)" % json.dumps(url))

    def close_page(self, page):
        self.evaluate("api.tabs.remove(%d).then(() => true)" % page)

    # -------------------------------------------------------------- scenarios

    def rushlet_running(self):
        self.display.start()
        rushlet = self.start_rushlet()
        check(self.ping_through_browser() == {"ok": True}, "a ping through the browser was not answered")
        self.site_scenarios()
        # A copy the browser finished before the user confirmed goes, file and all, once Rushlet has it.
        page, url, download_id, body = self.site_download("plain", "early.bin")
        self.check_kept_by_browser("early.bin", download_id, body)
        self.answer_dialog("Return")
        self.check_fetched("early.bin", url, body)
        self.check_erased("early.bin", download_id)
        self.close_page(page)
        self.stop_rushlet(rushlet.pid)
        log("1. taken over by the running Rushlet")

    def popup_lists_held(self):
        """The toolbar popup, here in a tab: its ping starts Rushlet, and it lists what is held."""
        tab = self.open_page("moz-extension://%s/popup.html" % EXTENSION_UUID)
        shown = """(() => {
            const popup = api.extension.getViews({ type: "tab" }).find((view) => view.location.pathname === "/popup.html");
            const connection = popup && popup.document.getElementById("connection").textContent;
            return connection && !connection.startsWith("Checking") &&
                [connection, Array.from(popup.document.querySelectorAll("#heldList .name"), (name) => name.textContent)];
        })()"""
        connection, held = wait_for("the popup to learn whether Rushlet answers", lambda: self.evaluate(shown), 30)
        check(connection == "Rushlet answered." and held == ["held-second.bin"],
              "the popup says %r and lists %s" % (connection, held))
        self.rushlet_pids.append(wait_for("the popup's ping to start Rushlet", self.lock_holder, 10))
        self.stop_rushlet(self.rushlet_pids[-1])
        self.close_page(tab)
        log("3. the popup lists the download held for Rushlet")

    # -------------------------------------------------------------- cleanup

    def stop_browser(self):
        if not self.firefox:
            return
        try:
            self.marionette.call("Marionette:Quit", {"flags": ["eForceQuit"]})
            self.marionette.close()
        except Failure:
            pass
        browser_harness.end_browser(self.firefox, 20)
        self.browser_log.close()
        self.firefox = None


if __name__ == "__main__":
    # Not a skip when Firefox is missing: the project's own scripts/install-deps.sh installs it.
    sys.exit(browser_harness.main(Run, "firefox-esr", ["register", "serve", "start_browser", "rushlet_running",
                                                        "rushlet_started_by_host", "popup_lists_held"], 1))
