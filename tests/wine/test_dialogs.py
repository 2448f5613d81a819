"""End-to-end under Wine: the uninstaller's boxes, and what each answer leaves behind."""

import unittest

import winefixture
from expected import (ALL_FILES, ALL_KEYS, CONFIRM_BOX, FILE_TYPE_KEYS, INSTALL_DIR,
                      NOT_FOUND_BOX, OTHER_FILES, OTHER_KEYS, PRODUCT_FILES, REMOVED_BOX,
                      SETTINGS_BOX, SETTINGS_KEYS, SHORTCUTS, UNINSTALL_KEY, box_summary)
from installation import Installation
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
            for answer in ("no", "cancel", "escape", "close"):
                with self.subTest(answer=answer):
                    p.start_uninstaller()
                    box = p.answer(answer)
                    self.assertEqual(box_summary(box), CONFIRM_BOX)
                    # A second box would hold the program: ending in time means none came.
                    self.assertEqual(p.wait_exit(), 0)
                    self.assertFiles(p, present=ALL_FILES)
                    self.assertKeys(p, present=ALL_KEYS)
                    self.assertEqual(p.listing(INSTALL_DIR), listing)


class FullRunTest(WineTestCase):
    def test_yes_to_both_removes_every_listed_item_and_nothing_else(self):
        with winefixture.session().prefix("yes-yes") as p:
            p.seed(Installation())
            p.start_uninstaller()

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

            with self.subTest("files"):
                self.assertFiles(p, present=OTHER_FILES, absent=PRODUCT_FILES + SHORTCUTS)
                self.assertEqual(p.listing(INSTALL_DIR),
                                 ["Liesmich.txt", "Meine Daten.tam", "uninstall.exe"])
            with self.subTest("registry"):
                self.assertKeys(p, present=OTHER_KEYS,
                                absent=FILE_TYPE_KEYS + SETTINGS_KEYS + [UNINSTALL_KEY])


class SettingsKeptTest(WineTestCase):
    def test_no_to_the_settings_question_keeps_them_and_still_unregisters(self):
        with winefixture.session().prefix("yes-no") as p:
            p.seed(Installation())
            p.start_uninstaller()
            self.assertEqual(box_summary(p.answer("yes")), CONFIRM_BOX)
            self.assertEqual(box_summary(p.answer("no")), SETTINGS_BOX)
            self.assertEqual(box_summary(p.answer("ok")), REMOVED_BOX)
            self.assertEqual(p.wait_exit(), 0)
            self.assertFiles(p, present=OTHER_FILES, absent=PRODUCT_FILES + SHORTCUTS)
            self.assertKeys(p, present=SETTINGS_KEYS + OTHER_KEYS,
                            absent=FILE_TYPE_KEYS + [UNINSTALL_KEY])


class NotFoundTest(WineTestCase):
    def test_without_a_registration_only_the_warning_comes_and_nothing_changes(self):
        cases = {
            "no uninstall key": (Installation(uninstall_key=False), []),
            # The key without its value stays as it is.
            "no UninstallString": (Installation(uninstall_string=None), [UNINSTALL_KEY]),
        }
        for name, (installation, registration) in cases.items():
            with self.subTest(name), winefixture.session().prefix(name.replace(" ", "-")) as p:
                p.seed(installation)
                p.start_uninstaller()
                self.assertEqual(box_summary(p.answer("yes")), CONFIRM_BOX)
                self.assertEqual(box_summary(p.answer("ok")), NOT_FOUND_BOX)
                self.assertEqual(p.wait_exit(), 0)
                self.assertFiles(p, present=ALL_FILES)
                self.assertKeys(p, present=FILE_TYPE_KEYS + SETTINGS_KEYS + OTHER_KEYS
                                + registration)


if __name__ == "__main__":
    unittest.main()
