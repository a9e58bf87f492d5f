#!/usr/bin/env python3
"""The packaging command's checks of the editions a configuration names and of the signing certificate, run on small
payloads without packing."""
import os
import subprocess
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
sys.path.insert(0, TOOLS)
import package_product  # noqa: E402

PAYLOAD = ["OrvMarlin.dpk", "OrvMarlinC.bpk", "OrvMarlin60.dpk", "OrvTools.bpl"]


class EditionChecksTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.payload = os.path.join(self.temp.name, "payload")
        os.makedirs(self.payload)
        for name in PAYLOAD:
            open(os.path.join(self.payload, name), "w").close()

    def tearDown(self):
        self.temp.cleanup()

    def check(self, text):
        data = text.encode("latin-1")
        return (package_product.check_configuration(data, self.payload),
                package_product.build_output_clash(package_product.read_lines(data)))

    def test_unknown_and_unused_codes_are_named(self):
        for text, expected in [
            ("[Application]\nDelphiVer= d5 ; X9;D6;d5;q1\nUnits.D6=lib\nUnits.C5=lib\nUnits.Z3=lib\n[Packages.X9]\n"
             "[Build_Packages.c5]\nOrvMarlin.dpk\n[Build_Packages.D6]\nMissing60.dpk=M\n",
             ["'X9' is not one", "'q1' is not one", "[Packages.X9]: 'X9'", "[Build_Packages.C5]: C5 (C++ Builder 5) is",
              "Units.C5: C5", "Units.Z3: 'Z3'", "[Build_Packages.D6] 'Missing60.dpk=M': no file"]),
            ("[Application]\nDelphiVer=D7\n[Packages.D5]\nOrvTools.bpl\n", ["'D7' is not one of D2, C1, D3, C3, D4, "
                                                                            "C4, D5, C5, D6, C6; Delphi 5 is used"]),
        ]:
            warnings = self.check(text)[0]
            self.assertEqual(len(warnings), len(expected), warnings)
            for fragment in expected:
                self.assertTrue(any(fragment in warning for warning in warnings), (fragment, warnings))

    def test_editions_building_their_own_files_pass(self):
        self.assertEqual(self.check(
            "[Application]\nDelphiVer=D2;D3;d4;C5;D6\nUnits.D2=lib\\d2\nUnits.c5=lib\\c5\n[Packages]\nOrvTools.bpl=T\n"
            "[Build_Packages]\nOrvMarlin.dpk=M\n[Build_Packages.C5]\nOrvMarlinC.bpk=M\n[build_packages.D6]\n"
            "OrvMarlin60.dpk=M\nOrvMarlin.dpk\n"), ([], None))

    def test_editions_building_the_same_file_are_refused(self):
        clash = self.check("[Application]\nDelphiVer=D2;C1\n[Build_Packages.C1]\nORVMARLIN.bpk=M\n[Build_Packages]\n"
                           "OrvMarlin.dpk=M\n")[1]
        self.assertRegex(clash, r"D2 \(Delphi 2\) and C1 \(C\+\+ Builder\) both build 'ORVMARLIN'")
        config, output = os.path.join(self.temp.name, "OrvSetup.ini"), os.path.join(self.temp.name, "out")
        with open(config, "w") as handle:
            handle.write("[Application]\nDelphiVer=D5;C6;D6\n[Build_Packages.C6]\nOrvMarlinC.bpk=M\n[Build_Packages]\n"
                         "OrvMarlin.dpk=Marlin\n")
        run = subprocess.run([sys.executable, os.path.join(TOOLS, "package_product.py"), self.payload, config, output,
                              "--programs", self.temp.name], capture_output=True, text=True)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("D5 (Delphi 5) and D6 (Delphi 6) both build 'OrvMarlin.bpl'", run.stderr)
        self.assertFalse(os.path.exists(output))


class SigningCredentialsTest(unittest.TestCase):
    def test_a_missing_or_wrong_certificate_or_password_writes_nothing(self):
        with tempfile.TemporaryDirectory() as temp:
            payload, config = os.path.join(temp, "payload"), os.path.join(temp, "OrvSetup.ini")
            os.makedirs(payload)
            with open(config, "w") as handle:
                handle.write("[Application]\nAppName=Signed\n")
            key, cert, pfx = (os.path.join(temp, name) for name in ("key.pem", "cert.pem", "cert.pfx"))
            env = dict(os.environ, ORV_SIGN_PASSWORD="right one")
            for command in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=Test",
                             "-keyout", key, "-out", cert],
                            ["pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout",
                             "env:ORV_SIGN_PASSWORD"]):
                subprocess.run(["openssl"] + command, env=env, check=True, capture_output=True)
            for certificate, password, expected in [
                (os.path.join(temp, "missing.pfx"), "right one", "does not exist"),
                (pfx, None, "ORV_SIGN_PASSWORD, which is not set"),
                (pfx, "wrong", "cannot be opened with the password in ORV_SIGN_PASSWORD"),
                (config, "right one", "cannot be opened with the password in ORV_SIGN_PASSWORD"),
            ]:
                run_env = dict(env)
                if password is None:
                    del run_env["ORV_SIGN_PASSWORD"]
                else:
                    run_env["ORV_SIGN_PASSWORD"] = password
                output = os.path.join(temp, "out")
                # An empty programs folder: the credentials are checked before anything else is looked at.
                run = subprocess.run([sys.executable, os.path.join(TOOLS, "package_product.py"), payload, config,
                                      output, "--programs", payload, "--single-file", "Setup.exe", "--sign",
                                      certificate], env=run_env, capture_output=True, text=True)
                self.assertNotEqual(run.returncode, 0, expected)
                self.assertIn(expected, run.stderr)
                self.assertFalse(os.path.exists(output), expected)


if __name__ == "__main__":
    unittest.main()
