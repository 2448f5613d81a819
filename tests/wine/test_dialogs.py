"""End-to-end under Wine: the uninstaller's boxes, what each answer leaves
behind, and the program's own Win32 calls against the golden traces."""

import unittest

import winefixture
from expected import (ALL_FILES, ALL_KEYS, CONFIRM_BOX, FILE_TYPE_KEYS, INSTALL_DIR,
                      LEFT_IN_INSTALL_DIR, NOT_FOUND_BOX, OTHER_FILES, OTHER_KEYS, PRODUCT_FILES,
                      REMOVED_BOX, SETTINGS_BOX, SETTINGS_KEYS, SHORTCUTS, UNINSTALL_KEY,
                      box_summary, golden_trace)
from installation import Installation, RegValue
from wine_case import WineTestCase


class DeclineTest(WineTestCase):
    def test_any_answer_but_yes_ends_silently_and_changes_nothing(self):
        with winefixture.session().prefix("decline") as p:
            p.seed(Installation())
            # The seed itself, so that "nothing changed" is not vacuous.
            self.assertFiles(p, present=ALL_FILES)
            self.assertKeys(p, present=ALL_KEYS)
            listing = p.listing(INSTALL_DIR)

            # Nothing changes, so the same prefix serves every answer.
            # Esc and the title bar's X answer IDCANCEL, as Cancel does.
            for answer, trace in (("no", "declined_no"), ("cancel", "declined_cancel"),
                                  ("escape", "declined_cancel"), ("close", "declined_cancel")):
                with self.subTest(answer=answer):
                    # A second box would hold the program: ending in time means none came.
                    boxes, code = p.run(answer)
                    self.assertBoxes(boxes, [CONFIRM_BOX])
                    self.assertEqual(code, 0)
                    self.assertTrace(p, trace)
                    self.assertUnchanged(p, listing)


class FullRunTest(WineTestCase):
    def test_yes_to_both_removes_every_listed_item_and_a_second_run_finds_nothing(self):
        with winefixture.session().prefix("yes-yes") as p:
            p.seed(Installation())
            p.start_traced()

            confirm = p.answer("yes")
            self.assertEqual(box_summary(confirm), CONFIRM_BOX)

            # Leave the settings question open and look at the machine meanwhile.
            ask = p.answer("none")
            self.assertEqual(box_summary(ask), SETTINGS_BOX)
            with self.subTest("while the settings question is open"):
                self.assertFiles(p, absent=PRODUCT_FILES + SHORTCUTS)
                self.assertKeys(p, present=SETTINGS_KEYS + [UNINSTALL_KEY], absent=FILE_TYPE_KEYS)

            settings = p.answer("yes")
            self.assertEqual(settings["hwnd"], ask["hwnd"], "answered another box than was shown")

            removed = p.answer("ok")
            self.assertEqual(box_summary(removed), REMOVED_BOX)
            self.assertEqual({confirm["pid"], ask["pid"], removed["pid"]}, {confirm["pid"]},
                             "the boxes came from more than one process")
            self.assertEqual(p.wait_exit(), 0)
            self.assertTrace(p, "full_run_yes_yes")
            self.assertRemovedAsListed(p)
            self.assertEqual(p.listing(INSTALL_DIR), LEFT_IN_INSTALL_DIR)

            # The same machine again: the registration is gone, so is the installation.
            with self.subTest("second run"):
                boxes, code = p.run("yes", "ok")
                self.assertBoxes(boxes, [CONFIRM_BOX, NOT_FOUND_BOX])
                self.assertEqual(code, 0)
                self.assertTrace(p, "not_found_no_key")
                self.assertRemovedAsListed(p)
                self.assertEqual(p.listing(INSTALL_DIR), LEFT_IN_INSTALL_DIR)


class SettingsKeptTest(WineTestCase):
    def test_no_to_the_settings_question_keeps_them_and_still_unregisters(self):
        with winefixture.session().prefix("yes-no") as p:
            p.seed(Installation())
            self.assertYesNoRun(p)


class NotFoundTest(WineTestCase):
    def test_without_a_registration_only_the_warning_comes_and_nothing_changes(self):
        cases = {
            "no uninstall key": (Installation(uninstall_key=False), [], "not_found_no_key"),
            # The key without its value stays as it is.
            "no UninstallString": (Installation(uninstall_string=None), [UNINSTALL_KEY],
                                   "not_found_no_value"),
        }
        for name, (installation, registration, trace) in cases.items():
            with self.subTest(name), winefixture.session().prefix(name.replace(" ", "-")) as p:
                p.seed(installation)
                boxes, code = p.run("yes", "ok")
                self.assertBoxes(boxes, [CONFIRM_BOX, NOT_FOUND_BOX])
                self.assertEqual(code, 0)
                self.assertTrace(p, trace)
                self.assertFiles(p, present=ALL_FILES)
                self.assertKeys(p, present=FILE_TYPE_KEYS + SETTINGS_KEYS + OTHER_KEYS
                                + registration)


class FailedDeletionTest(WineTestCase):
    """Deletions that fail are tried once each. A file that stays keeps the
    registration and is reported; a file or key that is not there is no failure."""

    def test_with_nothing_left_but_the_registration_the_run_still_succeeds(self):
        with winefixture.session().prefix("no-files") as p:
            p.seed(Installation(product_files=(), shortcuts=False, file_type_keys=False,
                                settings_keys=False))
            self.assertFiles(p, absent=PRODUCT_FILES + SHORTCUTS)
            self.assertKeys(p, present=[UNINSTALL_KEY], absent=FILE_TYPE_KEYS + SETTINGS_KEYS)
            self.assertYesYesRun(p, "no_files_present")
            self.assertEqual(p.listing(INSTALL_DIR), LEFT_IN_INSTALL_DIR)

    def test_the_product_still_running_is_reported_and_a_second_run_finishes(self):
        with winefixture.session().prefix("in-use") as p:
            p.seed(Installation())
            program = p.start_product_program()
            self.assertFileLeftThenFinished(p, program, p.stop_product_program)

    def test_a_read_only_file_is_reported_and_a_second_run_finishes(self):
        read_only = INSTALL_DIR + r"\tambirox.exe"
        with winefixture.session().prefix("read-only") as p:
            p.seed(Installation())
            self.assertEqual(p.wine(["attrib", "+r", read_only])[0], 0)
            rc, shown = p.wine(["attrib", read_only])
            self.assertIn("R", shown.partition("C:")[0], "attrib +r did not take: %r" % shown)
            # Wine refuses to delete a read-only file (STATUS_CANNOT_DELETE,
            # ERROR_ACCESS_DENIED), as Windows does.
            self.assertFileLeftThenFinished(
                p, read_only, lambda: self.assertEqual(p.wine(["attrib", "-r", read_only])[0], 0))
            self.assertEqual(p.listing(INSTALL_DIR), LEFT_IN_INSTALL_DIR)

    def test_a_settings_key_with_a_foreign_subkey_stays_with_its_parent(self):
        recent = r"HKCU\Software\ZORV\TAMbirox\Recent File List"
        with winefixture.session().prefix("foreign-subkey") as p:
            p.seed(Installation(extra_keys={
                r"HKEY_CURRENT_USER\Software\ZORV\TAMbirox\Recent File List\Alt":
                    {"File1": RegValue.sz(r"C:\Daten\Alt.tam")}}))
            boxes, code = p.run("yes", "yes", "ok")
            self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, REMOVED_BOX])
            self.assertEqual(code, 0)

            # A key with subkeys is not deleted (ERROR_ACCESS_DENIED); every
            # other key is still tried, the registration still goes.
            refused = {
                r'RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox\\Recent File List") -> 0':
                r'RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox\\Recent File List") -> 5',
                r'RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox") -> 0':
                r'RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox") -> 5',
            }
            golden = golden_trace("full_run_yes_yes")
            self.assertLessEqual(set(refused), set(golden))
            self.assertTrace(p, "full_run_yes_yes", [refused.get(line, line) for line in golden])
            self.assertFiles(p, present=OTHER_FILES, absent=PRODUCT_FILES + SHORTCUTS)
            kept = [recent + r"\Alt", recent, r"HKCU\Software\ZORV\TAMbirox"]
            self.assertKeys(p, present=OTHER_KEYS + kept,
                            absent=FILE_TYPE_KEYS + [UNINSTALL_KEY]
                            + [k for k in SETTINGS_KEYS if k not in kept])


if __name__ == "__main__":
    unittest.main()
