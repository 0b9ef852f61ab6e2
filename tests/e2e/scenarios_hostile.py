#!/usr/bin/env python3
"""End-to-end scenarios of what a hostile manifest host cannot do, and of a suite installed where
the code page cannot name the folder: the real updater under Wine installs from a folder named in
Chinese with a blank, ignores manifests that declare a document type (an entity naming a local
file, entities that expand past one read), and shows the history notes and names as text."""
import locale
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import CALLER, entry, probe, upgrade_manifest, wait_until  # noqa: E402
from scenarios_install import InstallCase  # noqa: E402

# Wine names Unix files in the locale's character set: the Chinese folder needs UTF-8.
if "utf" not in (locale.getpreferredencoding(False) or "").lower().replace("-", ""):
    os.environ["LC_ALL"] = "C.UTF-8"

SECRET = "the text of a local file 4f1c9"


class WideFolder(InstallCase):
    """The suite in a folder that the ANSI code page (1252 under Wine) cannot name."""
    SUITE_FOLDER = "套件 目录"

    def test_clicked_update_is_installed_and_the_program_started_again(self):
        self.update_pinnace()
        self.assert_installed_and_started("pinnace", "running-pinnace-2.1.0.1", 2, "/fromtallix")
        self.assertTrue(probe("wait", "_Pinnace", 20000)["found"])

    def test_silent_caller_run_installs_its_product(self):
        caller = self.s.window(CALLER)
        self.update_pinnace("-silent", "-notice")
        self.assertTrue(self.installed_is("pinnace", "running-pinnace-2.1.0.1"))
        records = caller.records()
        self.assertEqual(records[-1]["status"], 2, records)
        self.assertIn("套件 目录", records[-1]["text"])


class HostileManifests(harness.Case):
    def offer(self, upgrade, history=None):
        """The main program 5.9.2.1 installed and the given manifests served, which offer it at
        5.9.3.0: a quiet check must end in time without ever showing the window, since a manifest
        with a document type is taken as one that does not parse and offers nothing."""
        self.s.add_program("keldra-5.9.2.1", "keldra.exe")
        self.s.serve("/keldra/tallix.xml", harness.SETTINGS)
        self.s.serve("/keldra/upgrade.xml", upgrade)
        if history:
            self.s.serve("/keldra/history.xml", history)
        self.s.start_servers()
        started = time.monotonic()
        self.assert_never_shown(self.s.run("-keldra", "-silent", timeout=60), 30)
        self.assertLess(time.monotonic() - started, 30)

    def test_external_entity_naming_a_local_file_is_not_read(self):
        secret = os.path.join(self.s.dir, "secret.txt")
        with open(secret, "w") as f:
            f.write(SECRET)
        doctype = '<!DOCTYPE UpdateList [<!ENTITY x SYSTEM "%s">]>\n' % harness.windows_path(secret)
        upgrade = upgrade_manifest(harness.own_entry(), entry("keldra", "5.9.3.0", name="&x;"))
        history = ('<?xml version="1.0" encoding="utf-8"?>\n' + doctype +
                   "<UpdateList><keldra><h>|&x;|</h></keldra></UpdateList>\n")
        self.offer(upgrade.replace("<UpdateList>", doctype + "<UpdateList>", 1), history)
        page = harness.wine_drive_c("users", "root", "Temp", "history.html")
        seen = [str(self.s.requests())]
        if os.path.exists(page):
            seen.append(harness.read(page).decode("utf-16-le", "replace"))
        self.assertFalse([text for text in seen if SECRET in text])

    def test_entity_expansion_ends_the_check_quietly(self):
        # About 2 MB of text from a manifest of under 3 KB, past the single read of 1 MiB.
        doctype = ('<!DOCTYPE UpdateList [<!ENTITY a "%s">' % ("x" * 250) +
                   '<!ENTITY b "%s">]>\n' % ("&a;" * 10))
        upgrade = upgrade_manifest(harness.own_entry(),
                                   entry("keldra", "5.9.3.0", name="&b;" * 800))
        self.offer(upgrade.replace("<UpdateList>", doctype + "<UpdateList>", 1))


class EscapedPage(harness.Case):
    def test_history_notes_and_names_reach_the_page_file_escaped(self):
        s = self.s
        page = harness.wine_drive_c("users", "root", "Temp", "history.html")
        if os.path.exists(page):
            os.remove(page)
        s.add_program("pinnace-2.1.0.0", "pinnace.exe")
        # Escaped in the XML, as a manifest must write them.
        s.serve("/keldra/history.xml", '<?xml version="1.0" encoding="utf-8"?>\n<UpdateList>'
                "<pinnace><h>|fast &lt;script&gt;alert(2)&lt;/script&gt; start|</h></pinnace>"
                "</UpdateList>\n")
        self.suite(entry("pinnace", "2.1.0.1", name="Grid&lt;img src=x onerror=alert(1)&gt;"))
        updater = s.run("-pinnace")
        self.addCleanup(updater.kill)
        self.shown_window()

        def built():
            data = harness.read(page) if os.path.exists(page) else b""
            return data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe") else ""
        self.assertTrue(wait_until(lambda: built(), 10), "no page")
        body = built().partition('<div class="content">')[2]
        self.assertIn("<strong>Grid&lt;img src=x onerror=alert(1)&gt; 2.1.0.1</strong>", body)
        self.assertIn("<span>●</span>fast &lt;script&gt;alert(2)&lt;/script&gt; start<br />",
                      body)
        self.assertNotIn("<script>alert", body)
        self.assertNotIn("<img", body)
        self.close_by_caller(updater)


if __name__ == "__main__":
    harness.main()
