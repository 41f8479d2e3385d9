#!/usr/bin/python3
"""End-to-end tests of the puolukka program as a user drives it.

Each scenario starts the real program binary under its own Xvfb server, in a
start directory of its own (puolukka.ini, ports.ini, a virtual card's JSON),
and works it through the keyboard (menu accelerators, dialogs, typed PIN) and,
for two buttons without an accelerator, the mouse. The outcome is checked from
the outside only: the saved phonebook file byte for byte, the card's records
and counters in its JSON file (the virtual card writes its state back after
each change), the settings file and the communication log.

    /usr/bin/python3 tests/e2e/e2e_test.py --build-dir build [-k NAME]

Needs Xvfb, xdotool and ImageMagick's import (screenshots of failures).
"""

import argparse
import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEMO_DIR = os.path.join(SOURCE_DIR, "demo")

# The main window is 1010 x 720 at the screen's origin (there is no window
# manager). The command buttons of its " Controls " frame sit at the bottom:
# positions relative to the window's bottom-left corner.
OPEN_LOG_BUTTON = (686, 64)

SETTINGS_LINES_TEMPLATE = [
    "[ComSettings]",
    "Comport = {comport}",
    "IRQ = 4",
    "Word_Length = 8",
    "Parity = E",
    "StopBits = 1",
    "Baud_Rate = {baud}",
    "HandShake = 0",
    "Echo = 0",
]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls predicate until it returns a true value; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# --- The card's records, decoded independently of the program ------------------

def dial_nibble(ch):
    if ch.isdigit():
        return int(ch)
    return {"*": 0xA, "#": 0xB, "p": 0xC, "P": 0xC}[ch]


def adn_record(name, ton, number, length):
    """An ADN record as the card keeps it (GSM 11.11, 10.5.1)."""
    alpha = length - 14
    name_bytes = name.encode("latin-1")
    digits = number[1:] if number.startswith("+") else number
    if not name_bytes and not digits:
        return b"\xff" * length
    bcd = bytearray()
    for i in range(0, len(digits), 2):
        low = dial_nibble(digits[i])
        high = dial_nibble(digits[i + 1]) if i + 1 < len(digits) else 0xF
        bcd.append(high << 4 | low)
    record = name_bytes + b"\xff" * (alpha - len(name_bytes))
    record += bytes([len(bcd) + 1, ton]) + bytes(bcd) + b"\xff" * (10 - len(bcd)) + b"\xff\xff"
    assert len(record) == length
    return record


def load_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def read_json_when_complete(path, timeout=5):
    """The card file can be caught while it is being rewritten: read until it parses."""
    def attempt():
        try:
            return load_json(path)
        except (OSError, ValueError):
            return None
    return wait_until(attempt, timeout, "a readable card file " + path)


def adn_records(card):
    """Record number -> raw bytes of every record of EF ADN in a card description."""
    adn = card["adn"]
    length, count = adn["recordLength"], adn["recordCount"]
    records = {n: b"\xff" * length for n in range(1, count + 1)}
    for entry in adn.get("entries", []):
        if "raw" in entry:
            raw = bytes.fromhex(entry["raw"])
        else:
            number = entry.get("number", "")
            ton = int(entry["ton"], 16) if "ton" in entry else (0x91 if number.startswith("+") else 0x81)
            raw = adn_record(entry.get("name", ""), ton, number, length)
        records[entry["record"]] = raw
    return records


def entry_text(record):
    """One phonebook line as the program keeps it after a card read.

    The read leaves the card's status word 90 00 after the record; the name is
    the whole alpha field, TON its hex value, the number the BCD digits up to
    the first F nibble (with "+" for TON 91 and 90)."""
    text = record + b"\x90\x00"
    size = len(text)
    name = text[: size - 16]
    n = text[size - 16]
    ton = "%X" % text[size - 15]
    raw = text[size - 14: size - 14 + n]
    digits = "".join("%02X" % b for b in raw)
    digits = "".join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))
    if "F" in digits:
        digits = digits[: digits.index("F")]
    if ton in ("91", "90"):
        digits = "+" + digits
    return name + b"/" + ton.encode() + b"/" + digits.encode()


def phonebook_file(records):
    return b"".join(entry_text(records[n]) + b"\r\n" for n in sorted(records))


def settings_file(comport, baud):
    lines = [line.format(comport=comport, baud=baud) for line in SETTINGS_LINES_TEMPLATE]
    return ("\r\n".join(lines) + "\r\n").encode()


def done_line(count):
    return " Done :  %d Records " % count


# --- The X server, the program and the keyboard ---------------------------------

class XServer:
    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        text = b""
        deadline = time.monotonic() + 15
        while not text.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                self.stop()
                raise Failure("Xvfb did not report its display")
            chunk = os.read(read_end, 64)
            if not chunk:
                self.stop()
                raise Failure("Xvfb ended before reporting its display")
            text += chunk
        os.close(read_end)
        self.display = ":" + text.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Desktop:
    """The user's hands and eyes: xdotool on one X display."""

    def __init__(self, display, runtime_dir):
        self.env = dict(os.environ)
        self.env["DISPLAY"] = display
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env["XDG_RUNTIME_DIR"] = runtime_dir

    def xdotool(self, *args, timeout=10):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                                timeout=timeout)
        return result.stdout

    def windows(self, title_regex):
        out = self.xdotool("search", "--onlyvisible", "--name", title_regex)
        return [w for w in out.split() if w.isdigit()]

    def wait_window(self, title_regex, timeout=10, exclude=()):
        def found():
            ids = [w for w in self.windows(title_regex) if w not in exclude]
            return ids[0] if ids else None
        return wait_until(found, timeout, "a window titled /%s/" % title_regex)

    def wait_no_window(self, title_regex, timeout=10, exclude=()):
        wait_until(lambda: not [w for w in self.windows(title_regex) if w not in exclude], timeout,
                   "the window /%s/ to close" % title_regex)

    def title(self, window):
        return self.xdotool("getwindowname", window).rstrip("\n")

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", window, timeout=5)

    def keys(self, window, *keys):
        self.focus(window)
        for key in keys:
            self.xdotool("key", key)

    def type(self, window, text):
        self.focus(window)
        self.xdotool("type", "--delay", "15", text, timeout=30)

    def click(self, window, from_bottom_left):
        x, y_from_bottom = from_bottom_left
        height = int(re.search(r"Geometry: \d+x(\d+)", self.xdotool("getwindowgeometry", window)).group(1))
        self.xdotool("mousemove", "--window", window, str(x), str(height - y_from_bottom), "click", "1")

    def menu(self, window, *keys):
        """Opens a menu with its accelerator and picks an item (a pause lets the popup open)."""
        self.focus(window)
        self.xdotool("key", keys[0])
        time.sleep(0.25)
        for key in keys[1:]:
            self.xdotool("key", key)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, timeout=20,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Program:
    """The program binary started in a start directory of its own."""

    def __init__(self, desktop, binary, start_dir):
        self.desktop = desktop
        self.output = open(os.path.join(start_dir, "program-output.txt"), "w")
        self.process = subprocess.Popen([binary], cwd=start_dir, env=desktop.env, stdout=self.output,
                                        stderr=subprocess.STDOUT)
        self.main = desktop.wait_window("^Puolukka$", timeout=20)

    def quit(self):
        """"&Lopetus" of the "&Tiedosto" menu; the program must end by itself."""
        self.desktop.menu(self.main, "alt+t", "l")
        try:
            code = self.process.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after \"&Lopetus\"")
        check(code == 0, "the program ended with exit code %d" % code)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.output.close()


class Scenario:
    """What one scenario needs: a start directory, the desktop, the program, a log."""

    def __init__(self, name, build_dir, desktop):
        self.name = name
        self.build_dir = build_dir
        self.desktop = desktop
        self.dir = tempfile.mkdtemp(prefix="puolukka-e2e-%s-" % name)
        self.program = None
        self.helpers = []
        self.log_path = os.path.join(self.dir, "e2e.log")
        # Phonebook writes keep backups under XDG_DATA_HOME: here, never in the user's home.
        self.data_home = os.path.join(self.dir, "data")
        self.desktop.env["XDG_DATA_HOME"] = self.data_home

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def copy_demo(self, *names):
        for name in names:
            shutil.copy(os.path.join(DEMO_DIR, name), self.path(name))

    def start(self):
        self.program = Program(self.desktop, os.path.join(self.build_dir, "puolukka"), self.dir)
        return self.program.main

    def log_text(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("latin-1")
        except OSError:
            return ""

    def open_log(self):
        """"Open Log": a new log file typed into the file dialog; the title names it."""
        d, main = self.desktop, self.program.main
        d.click(main, OPEN_LOG_BUTTON)
        dialog = d.wait_window("^Open Communication LOG File$")
        d.type(dialog, self.log_path)
        d.keys(dialog, "Return")
        d.wait_no_window("^Open Communication LOG File$")
        wait_until(lambda: d.title(main) == "Terminal MSComm - e2e.log", 5,
                   "the main window's title to name the log")

    def read_phonebook(self, pin, records):
        """"Lu&e luettelo SIM:ltä" with PIN1; waits for the read's last log line."""
        d, main = self.desktop, self.program.main
        before = self.log_text().count(done_line(records))
        d.menu(main, "alt+t", "e")
        pin_box = d.wait_window("^PIN1$", timeout=15)
        d.type(pin_box, pin)
        d.keys(pin_box, "Return")
        wait_until(lambda: self.log_text().count(done_line(records)) > before, 60,
                   "the log line '%s' of the read" % done_line(records))
        d.wait_no_window("^Luetaan muistia$")

    def save_phonebook(self, name):
        """"T&allenna luettelo" (its letter is shared with "&Avaa luettelo": a and Enter)."""
        d, main = self.desktop, self.program.main
        target = self.path(name)
        d.menu(main, "alt+t", "a", "Return")
        dialog = d.wait_window("^Tallenna luettelo$")
        d.type(dialog, target)
        d.keys(dialog, "Return")
        d.wait_no_window("^Tallenna luettelo$")
        wait_until(lambda: os.path.exists(target), 5, "the saved file " + target)
        with open(target, "rb") as f:
            return f.read()

    def close(self, keep):
        if self.program:
            self.program.stop()
        for helper in self.helpers:
            if helper.poll() is None:
                helper.terminate()
                try:
                    helper.wait(5)
                except subprocess.TimeoutExpired:
                    helper.kill()
                    helper.wait()
        if not keep:
            shutil.rmtree(self.dir, ignore_errors=True)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def check_bytes(actual, expected, what):
    if actual != expected:
        i = first_difference(actual, expected)
        raise Failure("%s differs at byte %d (%d bytes, expected %d): got %r, expected %r"
                      % (what, i, len(actual), len(expected), actual[max(0, i - 20): i + 40],
                         expected[max(0, i - 20): i + 40]))


def chv1_attempts(card):
    return card["codes"]["CHV1"]["attemptsLeft"]


def free_tcp_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- Scenarios ------------------------------------------------------------------

def scenario_read_save_edit_write(s):
    """Read the phonebook with PIN1, save it, edit entry 2 in the list window and
    write the phonebook back to the card."""
    d = s.desktop
    s.copy_demo("card.json", "puolukka.ini", "ports.ini")
    card = load_json(s.path("card.json"))
    records = adn_records(card)
    count = card["adn"]["recordCount"]
    length = card["adn"]["recordLength"]
    main = s.start()
    s.open_log()

    s.read_phonebook("1234", count)
    saved = s.save_phonebook("luettelo.phb")
    check_bytes(saved, phonebook_file(records), "the saved phonebook")

    # Entry 2: a new name and number in the "Luettelo" window's edit dialog.
    d.menu(main, "alt+t", "u")
    listing = d.wait_window("^Luettelo$")
    d.keys(listing, "Down", "alt+m")
    dialog = d.wait_window("^Muistipaikka: 2$")
    d.keys(dialog, "ctrl+a")
    d.type(dialog, "Testi Henkilo")
    d.keys(dialog, "Tab", "ctrl+a")
    d.type(dialog, "0409998877")
    d.keys(dialog, "alt+o")
    d.wait_no_window("^Muistipaikka: ")

    # "&Kirjoita luettelo SIM:lle" backs the card up and asks once (No is the default button:
    # Shift+Tab and Space choose Yes); only the edited record is written, then read back.
    d.menu(main, "alt+t", "k")
    question = d.wait_window("^Puolukka$", timeout=15, exclude=(main,))
    d.keys(question, "shift+Tab", "space")
    d.wait_no_window("^Puolukka$", exclude=(main,))
    wait_until(lambda: s.log_text().count(done_line(count)) >= 2, 60,
               "the log line '%s' of the write" % done_line(count))
    d.wait_no_window("^Kirjoitetaan muistia$")

    # The backup: the card as it was before the write, in a private folder.
    folder = os.path.join(s.data_home, "puolukka", "backups")
    backups = os.listdir(folder) if os.path.isdir(folder) else []
    check(len(backups) == 1, "expected one backup in %s, found %s" % (folder, backups))
    backup = os.path.join(folder, backups[0])
    with open(backup, "rb") as f:
        check_bytes(f.read(), phonebook_file(records), "the backup " + backup)
    check(os.stat(folder).st_mode & 0o777 == 0o700, "the backup folder is not private")
    check(os.stat(backup).st_mode & 0o777 == 0o600, "the backup file is not private")

    after = adn_records(read_json_when_complete(s.path("card.json")))
    # A number beginning with one zero is stored with TON 80.
    expected = dict(records)
    expected[2] = adn_record("Testi Henkilo", 0x80, "0409998877", length)
    check(after[2] == expected[2], "record 2 on the card is %s, expected %s"
          % (after[2].hex(" "), expected[2].hex(" ")))
    changed = [n for n in expected if after[n] != expected[n]]
    check(not changed, "records changed that were not edited: %s" % changed)

    # The log holds a "." per record of the read, and one "." for the one record written.
    marks = "." * count + done_line(count)
    check(s.log_text().count(marks) == 1, "the log lacks %d clean record marks of the read" % count)
    check(s.log_text().endswith("." + done_line(count) + "\r\n") and "X" not in s.log_text().split(marks)[1],
          "the log lacks the one clean mark of the write")
    s.program.quit()


def scenario_inverse_card_over_rfc2217(s):
    """An inverse-convention card served over RFC 2217 with the settings' even parity:
    the first read's reset meets the inverse TS, switches the program to odd parity
    and inverse convention and resets again; that very read works (PIN typed once)
    and saves the card's records."""
    s.copy_demo("puolukka.ini")
    card = load_json(os.path.join(DEMO_DIR, "card.json"))
    card["convention"] = "inverse"
    card["atr"] = "3F" + card["atr"][2:]  # TS of an inverse-convention card, as the card means it
    s.write("card.json", json.dumps(card, indent=2))
    records = adn_records(card)
    count = card["adn"]["recordCount"]

    port = free_tcp_port()
    server = subprocess.Popen([os.path.join(s.build_dir, "rfc2217_server"), "--port", str(port),
                               "--card", s.path("card.json")],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    s.helpers.append(server)
    ready, _, _ = select.select([server.stdout], [], [], 10)
    line = server.stdout.readline().decode(errors="replace") if ready else ""
    check("listening on 127.0.0.1:%d" % port in line, "the RFC 2217 server did not start: %r" % line)
    s.write("ports.ini", "COM1 = rfc2217://127.0.0.1:%d\r\n" % port)
    check(b"Parity = E" in open(s.path("puolukka.ini"), "rb").read(), "the settings do not start with even parity")

    s.start()
    s.open_log()
    s.read_phonebook("1234", count)
    atr = "3F1611800147534D31"
    check(atr in s.log_text(), "the answer-to-reset %s read in the inverse convention is not in the log" % atr)
    saved = s.save_phonebook("kaannetty.phb")
    check_bytes(saved, phonebook_file(records), "the phonebook saved from the inverse card")

    after = read_json_when_complete(s.path("card.json"))
    check(after["convention"] == "inverse", "the card file lost its convention")
    check(chv1_attempts(after) == 3, "CHV1 attempts left %d after the right PIN" % chv1_attempts(after))
    s.program.quit()


def scenario_wrong_pin(s):
    """A wrong PIN1 shows "Virhe!", costs the card one attempt and reads nothing."""
    d = s.desktop
    s.copy_demo("card.json", "puolukka.ini", "ports.ini")
    before = load_json(s.path("card.json"))
    main = s.start()

    d.menu(main, "alt+t", "e")
    pin_box = d.wait_window("^PIN1$", timeout=15)
    d.type(pin_box, "9999")
    d.keys(pin_box, "Return")
    error = d.wait_window("^Virhe!$", timeout=10)
    d.keys(error, "Return")
    d.wait_no_window("^Virhe!$")

    after = wait_until(lambda: (lambda c: c if chv1_attempts(c) != chv1_attempts(before) else None)(
        read_json_when_complete(s.path("card.json"))), 5, "the card's CHV1 attempts to change")
    check(chv1_attempts(after) == chv1_attempts(before) - 1,
          "CHV1 attempts left %d, expected %d" % (chv1_attempts(after), chv1_attempts(before) - 1))
    check(adn_records(after) == adn_records(before), "the phonebook on the card changed")

    # The read stopped: no progress window, and nothing to save.
    time.sleep(0.3)
    check(not d.windows("^Luetaan muistia$"), "the read went on after the wrong PIN")
    d.menu(main, "alt+t", "a", "Return")
    box = d.wait_window("^Puolukka$", exclude=(main,))
    check(not d.windows("^Tallenna luettelo$"), "the save dialog opened without a phonebook")
    d.keys(box, "Return")
    d.wait_no_window("^Puolukka$", exclude=(main,))
    check(not [f for f in os.listdir(s.dir) if f.endswith(".phb")], "a phonebook file was written")
    s.program.quit()


def scenario_settings_dialog(s):
    """"A&setukset": Com2 and 4800 bps confirmed with "&OK" rewrite puolukka.ini and
    move the program to the card on COM2."""
    d = s.desktop
    s.copy_demo("card.json", "puolukka.ini")
    shutil.copy(s.path("card.json"), s.path("card2.json"))
    s.write("ports.ini", "COM1 = virtual:card.json\r\nCOM2 = virtual:card2.json\r\n")
    com1_before = open(s.path("card.json"), "rb").read()
    main = s.start()

    d.menu(main, "alt+s")
    dialog = d.wait_window("^Asetukset$")
    # "&Com-portti": Com1 is marked, the next one down is Com2; "&Nopeus bps": 9600 up to 4800.
    d.keys(dialog, "alt+c", "Down", "alt+n", "Up", "alt+o")
    d.wait_no_window("^Asetukset$")
    check(d.windows("^Puolukka$") == [main], "a message box appeared after \"&OK\"")

    ini = open(s.path("puolukka.ini"), "rb").read()
    check_bytes(ini, settings_file(" 2", "4800"), "puolukka.ini")

    # The program now talks to the card on COM2: a wrong PIN costs that card an attempt.
    d.menu(main, "alt+t", "e")
    pin_box = d.wait_window("^PIN1$", timeout=15)
    d.type(pin_box, "0000")
    d.keys(pin_box, "Return")
    error = d.wait_window("^Virhe!$", timeout=10)
    d.keys(error, "Return")
    d.wait_no_window("^Virhe!$")
    card2 = wait_until(lambda: (lambda c: c if chv1_attempts(c) == 2 else None)(
        read_json_when_complete(s.path("card2.json"))), 5, "the COM2 card's CHV1 attempts to drop to 2")
    check(chv1_attempts(card2) == 2, "unexpected attempts on the COM2 card")
    check_bytes(open(s.path("card.json"), "rb").read(), com1_before, "the COM1 card file")
    s.program.quit()
    check_bytes(open(s.path("puolukka.ini"), "rb").read(), settings_file(" 2", "4800"),
                "puolukka.ini after quitting")


def scenario_names_and_contacts(s):
    """Names as phones store them: a card with a GSM and a UCS2 name is read, a
    name typed as "Mäkelä" is stored in the GSM alphabet, the phonebook goes out
    as a vCard that an independent vCard reader opens, and a phone's vCard comes
    back into the free positions."""
    try:
        import vobject  # python3-vobject: the vCard reader of address-book servers
    except ImportError:
        raise Failure("python3-vobject is needed to check the exported vCard (scripts/setup.sh installs it)")
    d = s.desktop
    s.copy_demo("card.json", "puolukka.ini", "ports.ini")
    card = load_json(s.path("card.json"))
    count = card["adn"]["recordCount"]
    # Record 3: "Äiti" in the GSM alphabet; record 7: "Мама" in UCS2 form 81.
    aiti = bytes.fromhex("5B697469") + b"\xff" * 10 + bytes.fromhex("0681" "0421436587" + "FF" * 7)
    mama = bytes.fromhex("8104089CB0BCB0") + b"\xff" * 7 + bytes.fromhex("0791" "5304214365F7" + "FF" * 6)
    card["adn"]["entries"] += [{"record": 3, "raw": aiti.hex()}, {"record": 7, "raw": mama.hex()}]
    with open(s.path("card.json"), "w", encoding="utf-8") as f:
        json.dump(card, f, ensure_ascii=False, indent=2)
    used = len(card["adn"]["entries"])
    main = s.start()
    s.open_log()
    s.read_phonebook("1234", count)

    # "Äiti" becomes "Mäkelä" in the list window's edit dialog.
    d.menu(main, "alt+t", "u")
    listing = d.wait_window("^Luettelo$")
    d.keys(listing, "Down", "Down", "alt+m")
    dialog = d.wait_window("^Muistipaikka: 3$")
    d.keys(dialog, "ctrl+a")
    # With "ä" on the keyboard map, xdotool types it as a plain key; otherwise it
    # maps a spare key for a moment, and a busy program can miss the letter.
    subprocess.run(["setxkbmap", "-layout", "fi"], env=d.env, timeout=10, check=True)
    try:
        d.type(dialog, "Mäkelä")
    finally:
        subprocess.run(["setxkbmap", "-layout", "us"], env=d.env, timeout=10)
    d.keys(dialog, "alt+o")
    d.wait_no_window("^Muistipaikka: ")
    d.keys(listing, "alt+s")
    d.wait_no_window("^Luettelo$")
    lines = s.save_phonebook("nimet.phb").split(b"\r\n")
    check_bytes(lines[2], bytes.fromhex("4D7B6B656C7B") + b"\xff" * 8 + b"/81/4012345678", "entry 3 (Mäkelä)")
    check_bytes(lines[6], mama[:14] + b"/91/+35401234567", "entry 7 (Мама, unchanged)")

    # "Vie yhteystiedot..." (the fourth item of "&Tiedosto").
    exported = s.path("yhteystiedot.vcf")
    d.menu(main, "alt+t", "Down", "Down", "Down", "Return")
    chooser = d.wait_window("^Vie yhteystiedot$")
    d.type(chooser, exported)
    d.keys(chooser, "Return")
    wait_until(lambda: os.path.exists(exported), 5, "the exported file " + exported)
    done = d.wait_window("^Vie yhteystiedot$", exclude=(chooser,))
    d.keys(done, "Return")
    d.wait_no_window("^Vie yhteystiedot$")
    with open(exported, encoding="utf-8") as f:
        cards = list(vobject.readComponents(f.read()))
    names = {c.fn.value: c.tel.value if hasattr(c, "tel") else "" for c in cards}
    check(len(cards) == used, "the vCard holds %d cards, expected %d" % (len(cards), used))
    check(names.get("Mäkelä") == "4012345678" and names.get("Мама") == "+35401234567",
          "the vCard lacks Mäkelä or Мама with their numbers: %r" % names)

    # "Tuo yhteystiedot..." of a phone's vCard 2.1 into the free positions.
    s.write("puhelin.vcf", open(os.path.join(SOURCE_DIR, "fuzz/corpus/vcard/phone_21_qp_latin1.vcf"), "rb").read())
    d.menu(main, "alt+t", "Down", "Down", "Return")
    chooser = d.wait_window("^Tuo yhteystiedot$")
    d.type(chooser, s.path("puhelin.vcf"))
    d.keys(chooser, "Return")
    window = d.wait_window("^Tuo yhteystiedot$", exclude=(chooser,))
    d.keys(window, "Return")  # "Tuo"
    summary = d.wait_window("^Tuo yhteystiedot$", exclude=(chooser, window))
    d.keys(summary, "Return")
    d.wait_no_window("^Tuo yhteystiedot$")
    lines = s.save_phonebook("tuotu.phb").split(b"\r\n")
    # The first free position is 8; the two numbers of "Matti Mäkelä" do not fit without consent.
    check_bytes(lines[7], b"[iti" + b"\xff" * 10 + b"/81/0407654321", "entry 8 (Äiti from the vCard)")
    s.program.quit()


SCENARIOS = [
    ("read_save_edit_write", scenario_read_save_edit_write),
    ("inverse_card_over_rfc2217", scenario_inverse_card_over_rfc2217),
    ("wrong_pin", scenario_wrong_pin),
    ("settings_dialog", scenario_settings_dialog),
    ("names_and_contacts", scenario_names_and_contacts),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("-k", dest="only", help="run only the scenarios whose name contains this text")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    for tool in ("Xvfb", "xdotool", "import"):
        if not shutil.which(tool):
            print("missing tool: %s (scripts/setup.sh installs it)" % tool)
            return 2
    for binary in ("puolukka", "rfc2217_server"):
        if not os.access(os.path.join(build_dir, binary), os.X_OK):
            print("missing program: %s" % os.path.join(build_dir, binary))
            return 2

    runtime_dir = tempfile.mkdtemp(prefix="puolukka-e2e-runtime-")
    os.chmod(runtime_dir, 0o700)
    chosen = [(name, run) for name, run in SCENARIOS if not args.only or args.only in name]
    result = run_scenarios(chosen, build_dir, runtime_dir, "e2e")
    shutil.rmtree(runtime_dir, ignore_errors=True)
    return result


def run_scenarios(scenarios, build_dir, runtime_dir, prefix):
    """Runs each (name, function) on a fresh X server; a failure leaves a screenshot
    prefix-name.png in build_dir and the scenario's folder. Prints a line per scenario
    and the count; returns the exit code."""
    passed, failed = 0, 0
    started = time.monotonic()
    for name, run in scenarios:
        # A fresh X server per scenario: no window or focus is left over from the last one.
        server = XServer()
        desktop = Desktop(server.display, runtime_dir)
        scenario = Scenario(name, build_dir, desktop)
        t0 = time.monotonic()
        ok = False
        try:
            run(scenario)
            ok = True
        except Exception as e:  # a failure of any kind fails this scenario only
            shot = os.path.join(build_dir, "%s-%s.png" % (prefix, name))
            desktop.screenshot(shot)
            detail = str(e) if isinstance(e, Failure) else traceback.format_exc()
            print("FAIL %s (%.1f s): %s" % (name, time.monotonic() - t0, detail))
            print("     screenshot: %s" % shot)
            print("     start directory kept: %s" % scenario.dir)
        finally:
            scenario.close(keep=not ok)
            server.stop()
        if ok:
            passed += 1
            print("ok   %s (%.1f s)" % (name, time.monotonic() - t0))
        else:
            failed += 1
        sys.stdout.flush()
    print("%d passed, %d failed (%.1f s)" % (passed, failed, time.monotonic() - started))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
