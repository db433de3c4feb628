#!/usr/bin/env python3
"""Checks, in the machine code of 32-bit driver DLLs, that every slot of the
driver object's vtable pops exactly the argument bytes a host built with the
platform's own compiler pushes: thiscall for the ASIO methods (the object
travels in ECX, so only the arguments are popped), stdcall for the IUnknown
methods (the object is the first stack argument). A method that pops the
wrong amount corrupts the host's stack on 32-bit Windows, and only there.

The slots are read from the vtable itself, as a host reaches them; a slot
whose code ends in a jump to another function is followed there.

    check_x86_pops.py OBJDUMP NM DLL...   exit 0 all right, 1 a wrong pop, 2 unusable input,
                                          77 a DLL is absent (the 32-bit build was not made)
"""
import os
import bisect
import re
import subprocess
import sys

# Bytes each slot pops, in vtable order after the two header words (offset
# to top, type info). A double is two stack words.
SLOTS = [
    ("QueryInterface", 12), ("AddRef", 4), ("Release", 4),
    ("init", 4), ("getDriverName", 4), ("getDriverVersion", 0), ("getErrorMessage", 4),
    ("start", 0), ("stop", 0), ("getChannels", 8), ("getLatencies", 8), ("getBufferSize", 16),
    ("canSampleRate", 8), ("getSampleRate", 4), ("setSampleRate", 8), ("getClockSources", 8),
    ("setClockSource", 4), ("getSamplePosition", 8), ("getChannelInfo", 4),
    ("createBuffers", 16), ("disposeBuffers", 0), ("controlPanel", 0), ("future", 8),
    ("outputReady", 0),
]
VTABLE = "__ZTVN8veltrano4asio11CAsioSampleE"

INSN = re.compile(r"^\s*([0-9a-f]+):\t(\S+)\s*(.*)$")


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


class Image:
    def __init__(self, objdump, nm, dll):
        self.objdump, self.dll = objdump, dll
        self.code = None
        self.symbols = {}
        starts = set()
        for line in run(nm, dll).splitlines():
            parts = line.split()
            if len(parts) == 3:
                address = int(parts[0], 16)
                self.symbols[parts[2]] = address
                if parts[1] in "tT":
                    starts.add(address)
        self.starts = sorted(starts)

    def words(self, address, count):
        dump = run(self.objdump, "-s", f"--start-address={address:#x}",
                   f"--stop-address={address + 4 * count:#x}", self.dll)
        data = b""
        for line in dump.splitlines():
            m = re.match(r"^ ([0-9a-f]+) ((?:[0-9a-f]{2,8} ?){1,4})", line)
            if m:
                data += bytes.fromhex(m.group(2).replace(" ", ""))
        return [int.from_bytes(data[i:i + 4], "little") for i in range(0, 4 * count, 4)]

    def instructions(self, address):
        if self.code is None:
            # One pass over the whole image, indexed by address.
            self.code = []
            dump = run(self.objdump, "-d", "--no-show-raw-insn", self.dll)
            for line in dump.splitlines():
                m = INSN.match(line)
                if m:
                    self.code.append((int(m.group(1), 16), m.group(2), m.group(3)))
            self.addresses = [c[0] for c in self.code]
        i = bisect.bisect_right(self.starts, address)
        end = self.starts[i] if i < len(self.starts) else address + 4096
        first = bisect.bisect_left(self.addresses, address)
        for at, op, operands in self.code[first:]:
            if at >= end:
                break
            yield op, operands

    def pops(self, address, depth=0):
        """The byte counts the function at `address` pops on return, and
        whether it also leaves through a jump whose target is known only at
        run time (a forwarding call through another object's vtable)."""
        found, jumps, indirect = set(), [], False
        for op, operands in self.instructions(address):
            if op.startswith("ret"):
                found.add(int(operands[1:], 16) if operands.startswith("$") else 0)
            elif op == "jmp":
                target = re.match(r"^([0-9a-f]+) <", operands)
                if target:
                    jumps.append(int(target.group(1), 16))
                elif operands.startswith("*"):
                    indirect = True
        if depth < 3:
            for target in jumps:
                if target in self.starts and target != address:  # a tail call
                    more, more_indirect = self.pops(target, depth + 1)
                    found |= more
                    indirect = indirect or more_indirect
        return found, indirect


def check(objdump, nm, dll):
    try:
        image = Image(objdump, nm, dll)
        vtable = image.symbols.get(VTABLE)
        if vtable is None:
            print(f"{dll}: no {VTABLE} among the symbols")
            return 2
        slots = image.words(vtable + 8, len(SLOTS))
        status = 0
        forwarded = 0
        for (name, pop), address in zip(SLOTS, slots):
            seen, indirect = image.pops(address)
            if not seen and indirect:
                # Forwarded with the same stack to a method found at run
                # time; the run-time convention test covers these.
                print(f"{dll}: slot {name} forwards through an indirect jump")
                forwarded += 1
                continue
            if seen != {pop}:
                print(f"{dll}: slot {name} (code at {address:#x}) pops {sorted(seen)} bytes;"
                      f" a host pushes {pop}")
                status = 1
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"{dll}: cannot read: {e}")
        return 2
    if status == 0:
        print(f"{dll}: all {len(SLOTS) - forwarded} other vtable slots pop what a host pushes")
    return status


def main(argv):
    if len(argv) < 4:
        print(__doc__)
        return 2
    missing = [dll for dll in argv[3:] if not os.path.isfile(dll)]
    if missing:
        print("skipped: no 32-bit build here (missing " + ", ".join(missing) + ")")
        return 77
    return max(check(argv[1], argv[2], dll) for dll in argv[3:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
