"""scripts/release.sh --sign with a throwaway code-signing certificate: the
signed file verifies against that certificate and no longer does with one
byte changed, removing the signature gives back the unsigned build byte for
byte, SHA256SUMS checks, and the signed program runs under Wine making the
same calls as the build.

TAMBIROX_UNINSTALL_EXE names the tested build, which release.sh's unsigned
output must equal (same sources, another folder).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "wine"))
sys.path.insert(0, str(REPO / "tools" / "reproducible"))
import reproducible  # noqa: E402
import winefixture  # noqa: E402
from installation import Installation  # noqa: E402
from wine_case import WineTestCase  # noqa: E402

TESTED_EXE = Path(os.environ.get(winefixture.EXE_VAR, winefixture.DEFAULT_EXE))
PASSWORD = "throwaway password"


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


class SignedRelease(WineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="release-signed-"))
        cls.addClassCleanup(shutil.rmtree, cls.scratch, ignore_errors=True)
        cls.cert = cls.scratch / "cert.pem"
        key, p12 = cls.scratch / "key.pem", cls.scratch / "cert.p12"
        password_file = cls.scratch / "password"
        password_file.write_text(PASSWORD + "\n")
        for command in (
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                 "-subj", "/CN=TAMbirox 2000 test signer", "-keyout", key, "-out", cls.cert,
                 "-addext", "keyUsage=critical,digitalSignature",
                 "-addext", "extendedKeyUsage=codeSigning"],
                ["openssl", "pkcs12", "-export", "-inkey", key, "-in", cls.cert,
                 "-out", p12, "-passout", "file:%s" % password_file]):
            subprocess.run(command, check=True, capture_output=True, timeout=120)

        # The password through the environment, as a CI job passes a secret;
        # release.sh's scratch (build folder, password file) goes under TMPDIR.
        cls.dist, cls.tmp = cls.scratch / "dist", cls.scratch / "tmp"
        cls.tmp.mkdir()
        env = dict(os.environ, UNINSTALL_SIGN_PASSWORD=PASSWORD, TMPDIR=str(cls.tmp))
        done = subprocess.run(["bash", "scripts/release.sh", "--sign", str(p12),
                               "--dist", str(cls.dist)], cwd=REPO, env=env,
                              capture_output=True, text=True, timeout=reproducible.TIMEOUT)
        if done.returncode != 0:
            raise AssertionError("release.sh --sign failed:\n" + done.stdout + done.stderr)
        print("\n" + done.stdout.strip(), file=sys.stderr)
        cls.signed = cls.dist / "uninstall.exe"
        cls.unsigned = cls.dist / "uninstall-unsigned.exe"

    def verify(self, exe: Path):
        return run("osslsigncode", "verify", "-CAfile", str(self.cert), "-in", str(exe))

    def test_dist_holds_both_builds_and_their_checksums(self):
        self.assertEqual(sorted(os.listdir(self.dist)),
                         ["SHA256SUMS", "uninstall-unsigned.exe", "uninstall.exe"])
        self.assertEqual(run("sha256sum", "-c", "SHA256SUMS", cwd=self.dist).returncode, 0)
        self.assertEqual(os.listdir(self.tmp), [], "release.sh left scratch files behind")
        self.assertEqual(reproducible.sha256(self.unsigned), reproducible.sha256(TESTED_EXE),
                         "%s; is %s built from these sources?"
                         % (reproducible.differences(self.unsigned, TESTED_EXE), TESTED_EXE))

    def test_signature_verifies_against_the_certificate_and_names_the_product(self):
        checked = self.verify(self.signed)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertIn("Signature verification: ok", checked.stdout)
        self.assertIn("Message digest algorithm  : SHA256", checked.stdout)
        self.assertIn("Text description: TAMbirox 2000", checked.stdout)

    def test_one_changed_byte_of_code_fails_verification(self):
        data = bytearray(self.signed.read_bytes())
        start, end = [(s, e) for name, s, e in reproducible.sections(data) if name == ".text"][0]
        data[(start + end) // 2] ^= 0x01
        changed = self.scratch / "changed.exe"
        changed.write_bytes(data)
        checked = self.verify(changed)
        self.assertNotEqual(checked.returncode, 0, checked.stdout)
        self.assertIn("MISMATCH", checked.stdout + checked.stderr)

    def test_removing_the_signature_gives_back_the_unsigned_bytes(self):
        stripped = self.scratch / "stripped.exe"
        done = run("osslsigncode", "remove-signature", "-in", str(self.signed), "-out", str(stripped))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNotEqual(self.signed.read_bytes(), self.unsigned.read_bytes())
        self.assertEqual(stripped.read_bytes(), self.unsigned.read_bytes(),
                         reproducible.differences(stripped, self.unsigned))

    def test_signed_program_runs_under_wine_as_the_build_does(self):
        # The fixture's session takes the program under test from here.
        os.environ[winefixture.EXE_VAR] = str(self.signed)
        with winefixture.session().prefix("signed") as p:
            p.seed(Installation())
            self.assertYesYesRun(p)


if __name__ == "__main__":
    unittest.main()
