#!/usr/bin/env python3
"""Installs the product's installer silently into a fresh Wine prefix of its
own and checks the result from outside; installs it again (an upgrade) and
checks again; starts the control panel and uninstalls silently: the control
panel must end, and the registry and the file tree must be what they were.
Then installs once more and uninstalls twice: once with a driver DLL that
cannot be unregistered (the removal stops and says what it did), once while
a host holds that DLL loaded (the removal finishes, the DLL waits for the
restart, exit code 3010). Uninstalls run with "_?=", so that their own exit
codes are seen. Exit 0 when every check passed, 1 otherwise, 77 when
there is no installer to test (scripts/package makes it)."""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_prefix import Display, Prefix, reg_dword, reg_multi_string, reg_string  # noqa: E402
from tree_diff import diff_registry, diff_files  # noqa: E402

FOLDER = "C:\\Program Files\\Veltrano\\Veltrano-HD\\"
FOLDER_REL = "Program Files/Veltrano/Veltrano-HD"
PACKAGE_KEY = "HKLM\\software\\wow6432node\\veltrano\\veltrano-hd"
ASIO_KEY_64 = "HKLM\\software\\asio\\veltrano-hd"
ASIO_KEY_32 = "HKLM\\software\\wow6432node\\asio\\veltrano-hd"
RUN_KEY = "HKLM\\software\\microsoft\\windows\\currentversion\\run"
USER_KEY = "HKCU\\software\\asio\\veltrano-hd"
CPL_TITLE = "Veltrano-HD Audio Control Panel"
START_MENU_LINK_REL = "ProgramData/Microsoft/Windows/Start Menu/Programs/Veltrano-HD Control Panel.lnk"
SESSION_MANAGER = "hklm\\system\\currentcontrolset\\control\\session manager"
UNINSTALL_LOG = "Veltrano-HD-Uninstall.log"
RESTART_NEEDED = 3010
PRODUCTS = ["VeltranoHDASIO.dll", "VeltranoHDASIOW.dll", "VeltranoHDACPLUI.exe"]


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"  ok    {what}")
        else:
            self.failed += 1
            print(f"  FAIL  {what}" + (f": {detail}" if detail else ""))
        return ok

    @staticmethod
    def skip(what, reason):
        print(f"  SKIP  {what}: {reason}")


def is_32bit_program(path):
    """True for an i386 PE file (the x86 installer stub)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return head[pe:pe + 4] == b"PE\0\0" and int.from_bytes(head[pe + 4:pe + 6], "little") == 0x14C


def link_target(path):
    """The local target path a shell link (.lnk) names: its LinkInfo's local
    base path, the Unicode one when present."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 0x4C or data[:4] != b"\x4c\x00\x00\x00":
        return None
    flags = int.from_bytes(data[0x14:0x18], "little")
    at = 0x4C
    if flags & 0x01:  # HasLinkTargetIDList
        at += 2 + int.from_bytes(data[at:at + 2], "little")
    if not flags & 0x02:  # HasLinkInfo
        return None
    info = data[at:]
    header = int.from_bytes(info[4:8], "little")
    if header >= 0x24:
        start = int.from_bytes(info[0x1C:0x20], "little")
        end = start
        while info[end:end + 2] != b"\0\0":
            end += 2
        return info[start:end].decode("utf-16-le")
    start = int.from_bytes(info[0x10:0x14], "little")
    return info[start:info.index(b"\0", start)].decode("mbcs" if os.name == "nt" else "latin-1")


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


class InstallerTest:
    def __init__(self, args):
        self.args = args
        self.prefix = Prefix(os.path.join(args.work, "prefix"))
        self.c = Checks()
        with open(args.publisher_cert, "rb") as f:
            self.cert_sha1 = hashlib.sha1(f.read()).hexdigest().lower()

    # -- actions ---------------------------------------------------------
    def install(self):
        code, out = self.prefix.run([self.args.installer, "/S"])
        self.prefix.settle()
        return self.c.check(code == 0, "silent install exits 0", f"exit {code} {out[-300:]}")

    def can_run_32bit(self):
        code, _ = self.prefix.run(["C:\\windows\\syswow64\\cmd.exe", "/c", "exit", "7"], timeout=60)
        self.prefix.settle()
        return code == 7

    # -- checks ----------------------------------------------------------
    def check_files(self):
        root = self.prefix.drive_c(*FOLDER_REL.split("/"))
        found = sorted(os.path.relpath(os.path.join(d, n), root).replace(os.sep, "/")
                       for d, _, names in os.walk(root) for n in names)
        expected = sorted(["PkgSetup.exe", "Uninstall.exe"] + PRODUCTS + ["x64/" + p for p in PRODUCTS])
        self.c.check(found == expected, "package folder holds exactly the package's files",
                     f"found {found}")
        stage = self.args.stage
        for name in PRODUCTS:
            for installed, staged in ((name, "x86/" + name), ("x64/" + name, "x64/" + name)):
                path = os.path.join(root, installed)
                self.c.check(os.path.exists(path) and same_bytes(path, os.path.join(stage, staged)),
                             f"{installed} is the {staged.split('/')[0]} build")
        path = os.path.join(root, "PkgSetup.exe")
        self.c.check(os.path.exists(path) and same_bytes(path, os.path.join(stage, "x64/PkgSetup.exe")),
                     "PkgSetup.exe is the 64-bit build on 64-bit Windows")

    def check_package_key(self, reg):
        key = reg.get(PACKAGE_KEY.lower(), {})
        expected_strings = {
            "installpath": FOLDER,
            "asiodllfilename": "VeltranoHDASIO.dll",
            "asiowdllfilename": "VeltranoHDASIOW.dll",
            "acplexecfilename": "VeltranoHDACPLUI.exe",
            "autorunregkeyname": "VeltranoHDACPL",
        }
        for name, want in expected_strings.items():
            got = reg_string(key.get(name))
            self.c.check(got == want, f"package key {name} = {want!r}", f"got {got!r}")
        expected_dwords = {"coinstallflags": 0x0D, "playrecpp": 1, "asiodrvpp": 1, "rmtctrlpp": 1,
                           "coinstallstatus": 80}
        for name, want in expected_dwords.items():
            got = reg_dword(key.get(name))
            self.c.check(got == want, f"package key {name} = {want}", f"got {got}")
        self.c.check("hklm\\software\\veltrano\\veltrano-hd" not in reg,
                     "package key only in the 32-bit setup program's view")

    def check_registration(self, reg):
        asio = reg.get(ASIO_KEY_64.lower(), {})
        driver = reg_string(asio.get("driver"))
        clsid = reg_string(asio.get("clsid"))
        self.c.check(driver == FOLDER + "x64\\VeltranoHDASIO.dll",
                     "64-bit ASIO registration names x64\\VeltranoHDASIO.dll", f"got {driver!r}")
        server = reg.get(f"hklm\\software\\classes\\clsid\\{(clsid or '').lower()}\\inprocserver32", {})
        self.c.check(clsid is not None and reg_string(server.get("@")) == driver,
                     "its class entry points at the same DLL")
        entries = [k for k, v in reg.items()
                   if k.startswith("hklm\\software\\classes\\clsid\\") and
                   reg_string(v.get("friendlyname")) == "Veltrano-HD"]
        self.c.check(len(entries) == 1, "exactly one Veltrano-HD class entry (64-bit view)", f"{entries}")

        code, out = self.prefix.run([self.args.probe, "--list"], timeout=120)
        self.prefix.settle()
        self.c.check(code == 0 and "Veltrano-HD" in out, "the 64-bit ASIO probe lists Veltrano-HD",
                     f"exit {code}: {out.strip()[-300:]}")

        if self.can_run_32bit():
            driver32 = reg_string(reg.get(ASIO_KEY_32.lower(), {}).get("driver"))
            self.c.check(driver32 == FOLDER + "VeltranoHDASIO.dll",
                         "32-bit ASIO registration names VeltranoHDASIO.dll", f"got {driver32!r}")
            if self.args.probe32 and os.path.exists(self.args.probe32):
                code, out = self.prefix.run([self.args.probe32, "--list"], timeout=120)
                self.prefix.settle()
                self.c.check(code == 0 and "Veltrano-HD" in out, "the 32-bit ASIO probe lists Veltrano-HD",
                             f"exit {code}: {out.strip()[-300:]}")
            else:
                Checks.skip("the 32-bit ASIO probe's list", "no 32-bit probe was built")
        else:
            why = ("this machine cannot run 32-bit Windows programs (syswow64\\cmd.exe does not "
                   "start), so the installer did not wait for it and nothing here can make it")
            if os.environ.get("VELTRANO_32BIT_RUNS") == "1":
                # scripts/test found 32-bit programs running here.
                self.c.check(False, "32-bit programs start in the installer's prefix", why)
            else:
                Checks.skip("32-bit ASIO registration", why)

    def check_installed(self, reg):
        self.check_files()
        self.check_package_key(reg)
        self.check_registration(reg)
        run = reg_string(reg.get(RUN_KEY.lower(), {}).get("veltranohdacpl"))
        self.c.check(run == "\"" + FOLDER + "VeltranoHDACPLUI.exe\"", "Run value starts the control panel", f"got {run!r}")
        cpl = reg_string(reg.get(USER_KEY.lower(), {}).get("asiocpl"))
        self.c.check(cpl == FOLDER, "the user's ASIOCPL names the control panel's folder", f"got {cpl!r}")
        for store in ("root", "trustedpublisher"):
            key = f"hklm\\software\\microsoft\\systemcertificates\\{store}\\certificates\\{self.cert_sha1}"
            self.c.check(key in reg, f"publisher certificate in the machine's {store} store")
        link = self.prefix.drive_c(*START_MENU_LINK_REL.split("/"))
        target = link_target(link) if os.path.exists(link) else None
        self.c.check(target == FOLDER + "VeltranoHDACPLUI.exe",
                     "the Start menu of all users starts the control panel", f"link target {target!r}")
        uninstall = reg.get("hklm\\software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall\\veltrano-hd", {})
        self.c.check(reg_string(uninstall.get("displayversion")) == self.args.version,
                     f"Programs and Features shows version {self.args.version}")

    def check_back_to(self, what, before_reg, before_files):
        reg_diff = diff_registry(before_reg, self.prefix.registry())
        file_diff = diff_files(before_files, self.prefix.files())
        self.c.check(not reg_diff, f"{what}: registry as before (certificate stores included)",
                     "\n        " + "\n        ".join(reg_diff[:40]))
        self.c.check(not file_diff, f"{what}: file tree as before",
                     "\n        " + "\n        ".join(file_diff[:40]))

    # -- the control panel ------------------------------------------------
    def start_control_panel(self, display):
        """Starts the installed 64-bit control panel; returns its process once
        its window is there, else None."""
        proc = self.prefix.spawn([FOLDER + "x64\\VeltranoHDACPLUI.exe"], display.name)
        env = dict(os.environ, DISPLAY=display.name)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and proc.poll() is None:
            found = subprocess.run(["xdotool", "search", "--name", CPL_TITLE], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            if found.returncode == 0 and found.stdout.strip():
                return proc
            time.sleep(0.5)
        self.c.check(False, "the installed control panel shows its window",
                     f"exited with {proc.poll()}" if proc.poll() is not None else "no window in 60 s")
        if proc.poll() is None:
            proc.terminate()
            proc.wait(timeout=30)
        return None

    def uninstall(self, display=None):
        """The silent uninstaller, waited for: with "_?=" it runs in place
        (without, it hands over to a copy of itself and exits 0 at once).
        Returns its exit code."""
        return self.prefix.run_line(f'"{FOLDER}Uninstall.exe" /S _?={FOLDER.rstrip(chr(92))}', display=display)

    def finish_in_place_uninstall(self):
        """What the caller of an in-place uninstaller does: Windows keeps a
        running program's file, so the caller deletes the uninstaller and the
        folders it leaves (Wine lets the 32-bit stub's uninstaller delete
        itself, so there may be nothing left)."""
        root = self.prefix.drive_c(*FOLDER_REL.split("/"))
        left = sorted(os.listdir(root)) if os.path.isdir(root) else []
        self.c.check(left in ([], ["Uninstall.exe"]), "at most the uninstaller itself is left in the package folder",
                     f"found {left}")
        if left == ["Uninstall.exe"]:
            os.remove(os.path.join(root, "Uninstall.exe"))
        for folder in (root, os.path.dirname(root)):
            if os.path.isdir(folder) and not os.listdir(folder):
                os.rmdir(folder)

    def uninstall_with_control_panel(self, display):
        proc = self.start_control_panel(display) if display.name else None
        code = self.uninstall(display.name)
        self.c.check(code == 0, "silent uninstall exits 0", f"exit {code}")
        if proc is not None:
            try:
                proc.wait(timeout=120)
                ended = True
            except subprocess.TimeoutExpired:
                ended = False
                proc.terminate()
                proc.wait(timeout=30)
            self.c.check(ended, "the uninstaller ended the running control panel")
        self.prefix.settle()
        self.c.check(not os.path.exists(self.prefix.drive_c(*START_MENU_LINK_REL.split("/"))),
                     "the uninstaller removed the Start menu entry")
        self.finish_in_place_uninstall()

    def uninstall_log(self):
        """The uninstaller's log in the user's temporary folder (read, then
        deleted: it is the administrator's, not the system's), or ""."""
        for folder, _, names in os.walk(self.prefix.drive_c("users")):
            if UNINSTALL_LOG in names:
                path = os.path.join(folder, UNINSTALL_LOG)
                with open(path, encoding="latin-1") as f:
                    text = f.read()
                os.remove(path)
                return text
        return ""

    def uninstall_that_cannot_unregister(self):
        """A driver DLL that RegSvr32 cannot load: the co-installer does its
        part, the registration stays, the uninstaller keeps the files and
        says so."""
        dll = self.prefix.drive_c(*FOLDER_REL.split("/"), "x64", "VeltranoHDASIO.dll")
        with open(dll, "wb") as f:
            f.write(b"MZ not a DLL")
        code = self.uninstall()
        self.prefix.settle()
        self.c.check(code == 6, "an unregistration that cannot finish stops the uninstaller with 6", f"exit {code}")
        log = self.uninstall_log()
        self.c.check("has removed its part" in log and "program files were kept" in log
                     and "othing was removed" not in log,
                     "its log says what was removed and what was kept", repr(log))
        reg = self.prefix.registry()
        stores = [f"hklm\\software\\microsoft\\systemcertificates\\{s}\\certificates\\{self.cert_sha1}"
                  for s in ("root", "trustedpublisher")]
        self.c.check(reg_string(reg.get(RUN_KEY.lower(), {}).get("veltranohdacpl")) is None
                     and not any(k in reg for k in stores),
                     "as it says: the co-installer removed the autorun entry and the certificate")
        root = self.prefix.drive_c(*FOLDER_REL.split("/"))
        kept = all(os.path.exists(os.path.join(root, n)) for n in ["Uninstall.exe", "PkgSetup.exe"] + PRODUCTS)
        self.c.check(kept, "as it says: the program files were kept for the next run")
        shutil.copyfile(os.path.join(self.args.stage, "x64", "VeltranoHDASIO.dll"), dll)

    def uninstall_with_held_dll(self, clean_reg, clean_files):
        """A host holds the 64-bit driver loaded: Windows refuses to delete
        it (so does Wine). The removal finishes, the DLL and the folders it
        keeps wait for the restart, in that order, and the exit code says a
        restart is needed. The restart itself is only looked at: Windows
        carries out the registry's pending operations then, and so does
        this test, by hand."""
        held = FOLDER + "x64\\VeltranoHDASIO.dll"
        holder = self.prefix.hold_library(self.args.peer, held)
        if not self.c.check(holder is not None, "a host holds x64\\VeltranoHDASIO.dll loaded"):
            return
        try:
            code = self.uninstall()
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
        self.prefix.settle()
        self.c.check(code == RESTART_NEEDED, f"uninstall with a held DLL exits {RESTART_NEEDED} (restart needed)",
                     f"exit {code}")
        log = self.uninstall_log()
        self.c.check(f"In use, deleted when Windows restarts: {held}" in log,
                     "its log names the held DLL as waiting for the restart", repr(log))
        reg = self.prefix.registry()
        ops = reg_multi_string(reg.get(SESSION_MANAGER, {}).get("pendingfilerenameoperations")) or []
        pending = [(src[4:] if src.startswith("\\??\\") else src) for src, dst in zip(ops[0::2], ops[1::2] + [""])
                   if not dst]
        parent = FOLDER.rstrip("\\").rsplit("\\", 1)[0] + "\\"
        expected = [held, FOLDER + "x64\\", FOLDER + "Uninstall.exe", FOLDER, parent]
        self.c.check(pending == expected, "the held DLL, then the uninstaller and the folders, go at the restart",
                     f"pending deletions {pending}")
        # The restart, as far as files go: what Windows's session manager
        # does with those entries. Then nothing of the product may be left.
        for path in pending:
            local = self.prefix.from_windows(path)
            if os.path.isdir(local):
                os.rmdir(local)
            elif os.path.exists(local):
                os.remove(local)
        self.check_back_to("after the restart", clean_reg, clean_files)

    # -- the run ---------------------------------------------------------
    def run(self):
        print(f"== fresh prefix {self.prefix.path}")
        self.prefix.create()
        if is_32bit_program(self.args.installer) and not self.can_run_32bit():
            why = "the installer is a 32-bit program and this machine runs none"
            if os.environ.get("VELTRANO_32BIT_RUNS") == "1":
                self.c.check(False, "32-bit programs start in a fresh prefix", why)
                self.prefix.stop()
                return 1
            print(f"SKIP: {why}")
            self.prefix.stop()
            return 77
        clean_reg, clean_files = self.prefix.registry(), self.prefix.files()
        display = Display()
        try:
            print("== install")
            if self.install():
                self.check_installed(self.prefix.registry())
            print("== install again (an upgrade: the installed version is removed first)")
            if self.install():
                self.check_installed(self.prefix.registry())
            print("== uninstall, with the control panel running")
            if not display.start():
                Checks.skip("ending a running control panel", "no Xvfb display could be started")
            self.uninstall_with_control_panel(display)
            self.check_back_to("after install, upgrade and uninstall", clean_reg, clean_files)
            code, out = self.prefix.run([self.args.probe, "--list"], timeout=120)
            self.prefix.settle()
            self.c.check("Veltrano-HD" not in out, "the 64-bit ASIO probe no longer lists Veltrano-HD",
                         out.strip()[-300:])
            print("== install, then uninstall with a driver DLL RegSvr32 cannot unregister")
            if self.install():
                self.uninstall_that_cannot_unregister()
                print("== uninstall again while a host holds the 64-bit driver DLL")
                self.uninstall_with_held_dll(clean_reg, clean_files)
        finally:
            display.stop()
            self.prefix.stop()
        print(f"installer test: {self.c.passed} passed, {self.c.failed} failed")
        return 1 if self.c.failed else 0


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--installer", required=True,
                   help="the installer: the x86 stub (32-bit and 64-bit Windows) or the amd64 one")
    p.add_argument("--stage", required=True, help="the staged files it was built from")
    p.add_argument("--version", required=True)
    p.add_argument("--probe", required=True, help="the 64-bit veltrano-asio-probe.exe")
    p.add_argument("--probe32", help="the 32-bit veltrano-asio-probe.exe, if built")
    p.add_argument("--publisher-cert", required=True)
    p.add_argument("--peer", required=True, help="the 64-bit test_peer.exe (holds a DLL loaded)")
    p.add_argument("--work", required=True, help="folder for the test's own prefix")
    args = p.parse_args()
    if not os.path.exists(args.installer):
        print(f"SKIP: no installer at {args.installer}; scripts/package builds it")
        return 1 if os.environ.get("VELTRANO_REQUIRE_INSTALLER") else 77
    os.makedirs(args.work, exist_ok=True)
    status = InstallerTest(args).run()
    if status == 0 and not os.environ.get("VELTRANO_KEEP_PREFIX"):
        shutil.rmtree(os.path.join(args.work, "prefix"), ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
