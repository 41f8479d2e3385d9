#!/usr/bin/python3
"""Checks of the Debian package as a user gets it.

The package is unpacked into a temporary root (as dpkg would install it), its
desktop entry and AppStream metadata are validated, and the installed program
is started the way the desktop starts it: by the Exec line of its desktop
entry, from the root folder, with a home of its own. The first start must make
~/.config/puolukka with the demo card on COM1, and the phonebook must read
from that card with the demo PIN.

    /usr/bin/python3 tests/package/package_test.py --deb build/package/puolukka_1.1.0_amd64.deb

Needs dpkg-deb, desktop-file-validate, appstreamcli, Xvfb, xdotool and ImageMagick's import.
"""

import argparse
import configparser
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import e2e_test as e2e  # noqa: E402  (the X server, keyboard and scenario helpers)
from e2e_test import check  # noqa: E402

APP_ID = "fi.puolukka.Puolukka"
INSTALLED = [
    "usr/bin/puolukka",
    "usr/bin/puolukka-rfc2217-server",
    "usr/share/applications/%s.desktop" % APP_ID,
    "usr/share/metainfo/%s.metainfo.xml" % APP_ID,
    "usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
    "usr/share/man/man1/puolukka.1.gz",
    "usr/share/man/man1/puolukka-rfc2217-server.1.gz",
    "usr/share/doc/puolukka/copyright",
    "usr/share/doc/puolukka/changelog.gz",
]


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=120, **kwargs)


def check_files(root, version):
    """What is installed where, the validators, --version and --help."""
    for path in INSTALLED:
        check(os.path.isfile(os.path.join(root, path)), "the package does not install /" + path)
    for args in (["desktop-file-validate", os.path.join(root, INSTALLED[2])],
                 ["appstreamcli", "validate", "--no-net", os.path.join(root, INSTALLED[3])]):
        result = run(*args)
        # desktop-file-validate prints nothing at all for a clean file; appstreamcli only its verdict.
        noise = [line for line in (result.stdout + result.stderr).splitlines()
                 if line.strip() and "Validation was successful" not in line]
        check(result.returncode == 0 and not noise, "%s: %s" % (args[0], result.stdout + result.stderr))
    program = os.path.join(root, INSTALLED[0])
    result = run(program, "--version", env={"PATH": "/usr/bin:/bin"})
    check(result.returncode == 0 and result.stdout == "puolukka %s\n" % version,
          "--version printed %r (exit %d)" % (result.stdout, result.returncode))
    result = run(program, "--help", env={"PATH": "/usr/bin:/bin"})
    check(result.returncode == 0 and "--desktop" in result.stdout and "1234" in result.stdout,
          "--help printed %r (exit %d)" % (result.stdout, result.returncode))


def desktop_command(root):
    """The Exec line of the installed desktop entry, with the program found in the root."""
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(os.path.join(root, INSTALLED[2]), encoding="utf-8")
    argv = shlex.split(entry["Desktop Entry"]["Exec"])
    check(argv[0] == "puolukka", "the desktop entry starts %r" % argv[0])
    check(not any(a.startswith("%") for a in argv), "the desktop entry passes file arguments: %r" % argv)
    return [os.path.join(root, "usr/bin/puolukka")] + argv[1:]


class InstalledProgram(e2e.Program):
    """The installed program started as the desktop would start it."""

    def __init__(self, desktop, argv, home, output_dir):
        self.desktop = desktop
        self.output = open(os.path.join(output_dir, "program-output.txt"), "w")
        env = dict(desktop.env)
        env["HOME"] = home
        env.pop("XDG_CONFIG_HOME", None)
        self.process = subprocess.Popen(argv, cwd="/", env=env, stdout=self.output, stderr=subprocess.STDOUT)
        self.main = desktop.wait_window("^Puolukka$", timeout=20)


def start_from_desktop_entry(s, root):
    """First start from the desktop entry: the user's folder is made, no error box, and the
    phonebook of the demo card reads with PIN1 1234."""
    home = s.path("home")
    os.makedirs(home)
    s.program = InstalledProgram(s.desktop, desktop_command(root), home, s.dir)
    check(not s.desktop.windows("^Error$"), "the first start showed an error box")
    folder = os.path.join(home, ".config", "puolukka")
    for name in ("puolukka.ini", "ports.ini", "card.json"):
        check(os.path.isfile(os.path.join(folder, name)), "the first start did not make ~/.config/puolukka/" + name)
    with open(os.path.join(folder, "ports.ini")) as f:
        check("COM1 = virtual:card.json" in f.read(), "COM1 is not the demo card in ports.ini")
    card = e2e.load_json(os.path.join(folder, "card.json"))
    s.open_log()
    s.read_phonebook("1234", card["adn"]["recordCount"])
    s.program.quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--deb", required=True)
    args = parser.parse_args()
    deb = os.path.abspath(args.deb)
    for tool in ("dpkg-deb", "desktop-file-validate", "appstreamcli", "Xvfb", "xdotool", "import"):
        if not shutil.which(tool):
            print("missing tool: %s (scripts/setup.sh --test installs it)" % tool)
            return 2
    version = run("dpkg-deb", "-f", deb, "Version").stdout.strip()
    work = tempfile.mkdtemp(prefix="puolukka-package-")
    root = os.path.join(work, "root")
    try:
        unpacked = run("dpkg-deb", "-x", deb, root)
        if unpacked.returncode != 0:
            print("dpkg-deb -x: " + unpacked.stderr)
            return 1
        runtime_dir = os.path.join(work, "runtime")
        os.mkdir(runtime_dir, 0o700)
        tests = [("installed_files", lambda s: check_files(root, version)),
                 ("start_from_desktop_entry", lambda s: start_from_desktop_entry(s, root))]
        return e2e.run_scenarios(tests, os.path.dirname(deb), runtime_dir, "package")
    finally:
        shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    sys.exit(main())
