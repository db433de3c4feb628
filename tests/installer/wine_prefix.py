"""A Wine prefix of the test's own: made fresh, driven with its own server,
read from outside through its registry files and its drive_c tree."""

import os
import shutil
import subprocess
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


class Prefix:
    def __init__(self, path):
        self.path = os.path.abspath(path)
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=self.path,
            WINEARCH="win64",
            WINEDEBUG="-all",
            # No debugger to wait in, no browser or .NET to install, and no
            # desktop entries in the user's home for the Start menu's links.
            WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d",
        )
        # Nothing here needs a display; keep the test off anyone else's.
        self.env.pop("DISPLAY", None)

    def create(self):
        if os.path.exists(self.path):
            shutil.rmtree(self.path)
        os.makedirs(self.path)
        self.run(["wineboot", "-i"], timeout=300)
        self.settle()

    def run(self, args, timeout=300, display=None):
        """Runs a program in the prefix; returns (exit code, output)."""
        env = dict(self.env, DISPLAY=display) if display else self.env
        done = subprocess.run([WINE] + args, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def run_line(self, line, timeout=300, display=None):
        """Runs one Windows command line exactly as written (a program that
        parses its own command line, such as an NSIS uninstaller's "_?=",
        needs it unquoted) through a batch file beside the prefix; returns
        the program's full exit code, or None. Wine hands a Unix parent only
        the low 8 bits of an exit code, so CMD writes it to a file. No pipe:
        the desktop process a GUI program starts can inherit it and keep it
        open for as long as the prefix runs."""
        batch, result = self.path + "-run.bat", self.path + "-run.txt"
        if os.path.exists(result):
            os.remove(result)
        with open(batch, "w", newline="\r\n") as f:
            f.write(f'@echo off\n{line}\necho exit code %ERRORLEVEL% > "{windows_path(result)}"\n')
        env = dict(self.env, DISPLAY=display) if display else self.env
        subprocess.run([WINE, "cmd", "/c", windows_path(batch)], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        try:
            with open(result) as f:
                return int(f.read().strip()[len("exit code "):])
        except (OSError, ValueError):
            return None

    def spawn(self, args, display):
        """Starts a program in the prefix without waiting for it."""
        env = dict(self.env, DISPLAY=display)
        return subprocess.Popen([WINE] + args, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def settle(self, timeout=300):
        """Waits until every process of the prefix has ended and its server
        is gone, which also writes the registry files."""
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=timeout)

    def stop(self):
        """Ends this prefix's server and its processes (ours alone)."""
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=60)

    def hold_library(self, peer, dll):
        """Starts test_peer holding `dll` loaded, as an audio program holds a
        driver; returns the process once it holds it, else None. Closing
        its standard input ends it."""
        proc = subprocess.Popen([WINE, peer, "hold-library", dll], env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if proc.stdout.readline().strip() == b"held":
            return proc
        proc.stdin.close()
        proc.wait(timeout=60)
        return None

    def from_windows(self, path):
        """The file under drive_c for a path on C:, as written in the
        registry ("\\??\\C:\\..." or "C:\\...")."""
        if path.startswith("\\??\\"):
            path = path[4:]
        assert path[:3].upper() == "C:\\", path
        return self.drive_c(*path[3:].split("\\"))

    def drive_c(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    def files(self):
        """Every file and folder under drive_c, relative, with file sizes."""
        tree = {}
        root = self.drive_c()
        for folder, dirs, names in os.walk(root):
            rel = os.path.relpath(folder, root)
            if rel != ".":
                tree[rel + "/"] = None
            for name in names:
                full = os.path.join(folder, name)
                if os.path.islink(full):
                    tree[os.path.join(rel, name)] = "link"
                else:
                    tree[os.path.join(rel, name)] = os.path.getsize(full)
        return tree

    def registry(self):
        """HKEY_LOCAL_MACHINE and the user's hive as {"HKLM\\key": {value: data}}."""
        hives = {}
        for name, root in (("system.reg", "HKLM"), ("user.reg", "HKCU")):
            with open(os.path.join(self.path, name), encoding="utf-8", errors="replace") as f:
                hives.update(parse_reg(f.read(), root))
        return hives


def windows_path(path):
    """A Linux path as programs in the prefix reach it (drive Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def parse_reg(text, root):
    """Wine's registry file: "[key] stamp" lines, "#" metadata, values with
    backslash-continued lines. Key names are case-insensitive."""
    keys = {}
    current = None
    pending = ""
    for raw in text.splitlines():
        line = pending + raw.strip() if pending else raw
        pending = ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("["):
            name = line[1:line.rindex("]")]
            current = keys.setdefault((root + "\\" + name.replace("\\\\", "\\")).lower(), {})
        elif current is not None and line and not line.startswith(("#", ";", "WINE REGISTRY")):
            if line.startswith("@="):
                current["@"] = line[2:]
            elif line.startswith('"'):
                end = _closing_quote(line)
                current[line[1:end].replace("\\\\", "\\").lower()] = line[end + 2:]
    return keys


def _closing_quote(line):
    i = 1
    while i < len(line):
        if line[i] == "\\":
            i += 2
            continue
        if line[i] == '"':
            return i
        i += 1
    return len(line)


def reg_string(data):
    """The text of a REG_SZ as the registry file stores it, or None."""
    if data is None or not data.startswith('"'):
        return None
    return data[1:-1].replace("\\\\", "\\").replace('\\"', '"')


def reg_multi_string(data):
    """The strings of a REG_MULTI_SZ (Wine stores it as str(7):"a\\0b\\0"),
    or None."""
    if data is None or not data.startswith('str(7):"'):
        return None
    text, i, out = data[len('str(7):"'):-1], 0, [""]
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt == "0":
                out.append("")
            else:
                out[-1] += {"n": "\n", "t": "\t"}.get(nxt, nxt)
            i += 2
        else:
            out[-1] += text[i]
            i += 1
    while out and out[-1] == "":
        out.pop()
    return out


def reg_dword(data):
    if data is None or not data.startswith("dword:"):
        return None
    return int(data[6:], 16)


class Display:
    """An Xvfb of the test's own, for the phase that needs a window."""

    def __init__(self):
        self.proc = None
        self.name = None

    def start(self):
        if not shutil.which("Xvfb"):
            return False
        for n in range(150, 200):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                break
        else:
            return False
        self.proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.name = f":{n}"
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return True
            if self.proc.poll() is not None:
                return False
            time.sleep(0.1)
        return False

    def stop(self):
        if self.proc is not None:
            self.proc.terminate()
            self.proc.wait(timeout=30)
            self.proc = None
