"""What `cmake --install` and CPack lay out, used the way an embedder or an administrator would."""
import faulthandler
import os
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.path.abspath(os.environ.get("TINTCHECK_BUILD", "build/release"))
SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
CONSUMER = os.path.join(SOURCE, "tests", "consumer")
EXPECTED_OUTPUT = "232.121.218.196 0 0\n"


def run(*args, **kw):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, **kw)


class PackagingTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="tintcheck-packaging-")
        self.addCleanup(shutil.rmtree, self.tmp)
        self.prefix = os.path.join(self.tmp, "prefix")
        run("cmake", "--install", BUILD, "--prefix", self.prefix)

    def test_consumer_builds_with_find_package(self):
        build = os.path.join(self.tmp, "consumer")
        run("cmake", "-S", CONSUMER, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={self.prefix}")
        run("cmake", "--build", build)
        self.assertEqual(run(os.path.join(build, "consumer")).stdout, EXPECTED_OUTPUT)

    def test_consumer_builds_with_pkg_config(self):
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(self.prefix, "lib", "pkgconfig"))
        flags = run("pkg-config", "--cflags", "--libs", "tintcheck", env=env).stdout.split()
        program = os.path.join(self.tmp, "consumer")
        run("g++", os.path.join(CONSUMER, "main.cpp"), "-o", program, *flags)
        self.assertEqual(run(program).stdout, EXPECTED_OUTPUT)

    def test_systemd_unit_verifies_and_is_hardened(self):
        unit = os.path.join(self.prefix, "lib", "systemd", "system", "tintcheck-autodiscover.service")
        result = subprocess.run(["systemd-analyze", "verify", unit], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        text = open(unit).read()
        self.assertIn(f"ExecStart={self.prefix}/bin/tintCHECK_AutoDiscover\n", text)
        for setting in ("DynamicUser=yes", "NoNewPrivileges=yes", "ProtectSystem=strict",
                        "RestrictAddressFamilies=AF_INET\n", "Restart=always"):
            self.assertIn(setting, text)

    def test_debian_package_holds_everything_and_needs_nothing(self):
        output = os.path.join(self.tmp, "package")
        run("cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", output)
        package = next(os.path.join(output, f) for f in os.listdir(output) if f.endswith(".deb"))
        contents = run("dpkg-deb", "-c", package).stdout
        for path in ("./usr/bin/tintCHECK_AutoDiscover", "./usr/bin/tintcheck", "./usr/lib/libtintcheck.a",
                     "./usr/lib/cmake/tintcheck/tintcheckConfig.cmake", "./usr/lib/pkgconfig/tintcheck.pc",
                     "./usr/lib/systemd/system/tintcheck-autodiscover.service",
                     "./usr/include/tintcheck/membership/auto_discovery.h",
                     "./usr/share/tintcheck/wireshark/tintcheck.lua"):
            self.assertIn(path, contents)
        info = run("dpkg-deb", "-I", package).stdout
        self.assertIn("Package: tintcheck", info)
        self.assertNotIn("Depends:", info)
        unit = run("sh", "-c", f"dpkg-deb --fsys-tarfile {package} | "
                   "tar -xO ./usr/lib/systemd/system/tintcheck-autodiscover.service").stdout
        self.assertIn("ExecStart=/usr/bin/tintCHECK_AutoDiscover\n", unit)


if __name__ == "__main__":
    # A hang shows where it is stuck before the test runner's time limit ends it.
    faulthandler.dump_traceback_later(270)
    unittest.main(verbosity=2)
