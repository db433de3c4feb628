"""Differences between two snapshots of a prefix, apart from what Windows
(and Wine standing in for it) keeps or changes by itself."""

import fnmatch

# Each entry: a pattern and why a difference there is not the product's.
IGNORED_VALUES = [
    # The uninstaller runs from a copy in the temporary folder, which cannot
    # delete itself and is marked for deletion at the next restart.
    ("hklm\\system\\currentcontrolset\\control\\session manager", "pendingfilerenameoperations"),
]
# Keys without values that the system makes or drops on its own; a key that
# holds values is never ignored here.
IGNORED_EMPTY_KEYS = [
    # The certificate library lays out every system store's subkeys the
    # first time a program opens the stores.
    "hk??\\software\\microsoft\\systemcertificates",
    "hk??\\software\\microsoft\\systemcertificates\\*",
    # Present on every Windows; a fresh Wine prefix has only the 64-bit one.
    "hklm\\software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall",
    # Wine lists the machine's network cards at each start.
    "hklm\\software\\microsoft\\windows nt\\currentversion\\networkcards",
]
IGNORED_KEYS = [
    # Console defaults, present on every Windows; Wine's console host writes
    # them the first time a console program (the co-installer's file
    # deletions) runs with a display.
    "hkcu\\console",
    # Wine's display driver enumerates adapters and monitors at each start.
    "hklm\\system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}*",
    "hklm\\system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}*",
]
IGNORED_FILES = [
    # That copy of the uninstaller, until the restart.
    "users/*/Temp/~nsu*.tmp",
    "users/*/Temp/~nsu*.tmp/*",
]


def _ignored_value(key, value):
    return any(fnmatch.fnmatchcase(key, k) and fnmatch.fnmatchcase(value, v) for k, v in IGNORED_VALUES)


def _ignored_key(key, values_before, values_after):
    if any(fnmatch.fnmatchcase(key, k) for k in IGNORED_KEYS):
        return True
    return not values_before and not values_after and any(fnmatch.fnmatchcase(key, k) for k in IGNORED_EMPTY_KEYS)


def diff_registry(before, after):
    lines = []
    for key in sorted(set(before) | set(after)):
        if _ignored_key(key, before.get(key), after.get(key)):
            continue
        if key not in after:
            lines.append(f"key removed: {key}")
            continue
        if key not in before:
            lines.append(f"key added:   {key} {after[key]}")
            continue
        old, new = before[key], after[key]
        for value in sorted(set(old) | set(new)):
            if old.get(value) != new.get(value) and not _ignored_value(key, value):
                lines.append(f"value:       {key} [{value}] {old.get(value)!r} -> {new.get(value)!r}")
    return lines


def diff_files(before, after):
    lines = []
    for path in sorted(set(before) | set(after)):
        if any(fnmatch.fnmatchcase(path.rstrip("/"), p) for p in IGNORED_FILES):
            continue
        if path not in after:
            lines.append(f"removed: {path}")
        elif path not in before:
            lines.append(f"added:   {path}")
        elif before[path] != after[path]:
            lines.append(f"changed: {path} ({before[path]} -> {after[path]} bytes)")
    return lines
