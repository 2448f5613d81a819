"""End-to-end under Wine: the UninstallString values the program trusts, and
the damaged or suspicious ones it refuses (not-found box, nothing changed)."""

import unittest

import winefixture
from expected import CONFIRM_BOX, INSTALL_DIR, NOT_FOUND_BOX
from installation import Installation, RegValue
from wine_case import WineTestCase

EXE = r"C:\Program Files\TAMbirox 2000\uninstall.exe"

# (what, the value as stored, golden trace of the run)
# The program runs in C:\Program Files (winefixture.WORKING_DIR): the relative,
# rooted and drive-relative values, wrongly trusted, would lead to the seeded
# installation.
REFUSED = [
    ("empty", RegValue.sz(""), "not_found_value_refused"),
    ("no backslash", RegValue.sz("uninstall.exe"), "not_found_value_refused"),
    ("relative", RegValue.sz(r"TAMbirox 2000\uninstall.exe"), "not_found_value_refused"),
    ("rooted without a drive", RegValue.sz(r"\Program Files\TAMbirox 2000\uninstall.exe"),
     "not_found_value_refused"),
    ("drive-relative", RegValue.sz(r"C:TAMbirox 2000\uninstall.exe"),
     "not_found_value_refused"),
    ("device namespace", RegValue.sz("\\\\?\\" + EXE), "not_found_value_refused"),
    ("unmatched opening quote", RegValue.sz('"' + EXE + " /S"), "not_found_value_refused"),
    # Its four bytes read as text would be "C:\", a path that passes every
    # other check: only the type stops it.
    ("REG_DWORD", RegValue(4, b"C:\\\0"), "not_found_value_refused"),
    ("REG_BINARY holding the path", RegValue(3, (EXE + "\0").encode("ascii")),
     "not_found_value_refused"),
    # 260 characters and the NUL do not fit the 260-byte buffer.
    ("260 characters", RegValue.sz("C:\\" + "x" * 243 + r"\uninstall.exe"),
     "not_found_value_too_long"),
    ("1000 characters", RegValue.sz("C:\\" + "x" * 983 + r"\uninstall.exe"),
     "not_found_value_too_long"),
    # Fits exactly, but no NUL comes with it: nothing says where it ends.
    ("260 characters without NUL",
     RegValue.sz_without_nul("C:\\" + "x" * 243 + r"\uninstall.exe"), "not_found_value_refused"),
    # 258 characters read fine; expanded they are 260 and do not fit.
    ("REG_EXPAND_SZ too long when expanded",
     RegValue.expand_sz("%ProgramFiles%\\" + "x" * 229 + r"\uninstall.exe"),
     "not_found_expanded_too_long"),
    # An unset variable stays as written, which is no full path.
    ("REG_EXPAND_SZ with an unset variable",
     RegValue.expand_sz(r"%TAMBIROX_UNBEKANNT%\uninstall.exe"), "not_found_expanded_relative"),
]

# (what, the value as stored, golden trace of a Yes+Yes run)
ACCEPTED = [
    ("quoted with an option", RegValue.sz('"%s" /S' % EXE), "full_run_yes_yes"),
    ("REG_EXPAND_SZ", RegValue.expand_sz(r"%ProgramFiles%\TAMbirox 2000\uninstall.exe"),
     "full_run_expand_sz"),
    ("REG_SZ without its NUL", RegValue.sz_without_nul(EXE), "full_run_yes_yes"),
]


class UninstallStringTest(WineTestCase):
    def test_refused_values_show_the_not_found_box_and_change_nothing(self):
        # A refusal changes nothing, so one prefix serves every value; each
        # case seeds the whole installation afresh all the same, so that one
        # wrong run cannot spoil the next.
        with winefixture.session().prefix("refused") as p:
            for what, value, trace in REFUSED:
                with self.subTest(what):
                    p.seed(Installation(uninstall_string=value))
                    listing = p.listing(INSTALL_DIR)
                    boxes, code = p.run("yes", "ok")
                    self.assertBoxes(boxes, [CONFIRM_BOX, NOT_FOUND_BOX])
                    self.assertEqual(code, 0)
                    self.assertTrace(p, trace)
                    self.assertUnchanged(p, listing)

    def test_accepted_forms_lead_to_the_installation_folder(self):
        # Seeding puts back everything a run removed, so one prefix serves all.
        with winefixture.session().prefix("accepted") as p:
            for what, value, trace in ACCEPTED:
                with self.subTest(what):
                    p.seed(Installation(uninstall_string=value))
                    self.assertYesYesRun(p, trace)


if __name__ == "__main__":
    unittest.main()
