#!/usr/bin/env python3
"""Builds the release package (scripts/package.sh) and checks what a Windows
user gets: one top folder, stripped 32-bit binaries that need only system
DLLs, the version of the VERSION file in every version block, and texts that
any Notepad reads. Prints each fault, naming the file and the fact."""
import os, re, struct, subprocess, sys, tempfile, zipfile

root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
version = open(os.path.join(root, "VERSION")).read().strip()
top = f"tzdebug-{version}/"
# What Windows itself ships; the C and C++ runtimes are linked in.
system_dlls = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
               "advapi32.dll", "shell32.dll", "ole32.dll", "version.dll", "msvcrt.dll",
               "ws2_32.dll", "psapi.dll", "shlwapi.dll"}
# Each binary's ProductName (programs tell the libraries apart by it) and a word of its
# FileDescription (a user tells them apart by that).
product = {"tzdebug.exe": ("tzdebug", "TZ810/TZ820"), "tzctl.exe": ("tzdebug", "TZ810/TZ820"),
           "simulator/TZ810DLL.DLL": ("tzsim", "Simulated"),
           "trace/TZ810DLL.DLL": ("tztrace", "Tracing")}
texts = ["readme.txt", "user-guide.md", "simulator/tzsim.ini", "trace/how-to.txt"]
faults = []


def fault(name, fact):
    faults.append(f"{name}: {fact}")


def objdump(path, flag):
    return subprocess.run(["i686-w64-mingw32-objdump", flag, path], capture_output=True,
                          text=True, check=True).stdout


def string_value(data, key):
    """The value of a StringFileInfo entry: UTF-16 key, padding to 4 bytes, UTF-16 value."""
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at += 2 * len(key) + 2
    at += (-at) % 4
    end = at
    while end < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def check_binary(name, data, path):
    headers = objdump(path, "-h")
    if "file format pei-i386" not in headers:
        fault(name, "not a PE32 (i386) file")
    debug = sorted(set(re.findall(r"\.debug_\w+", headers)))
    if debug:
        fault(name, "not stripped, holds " + " ".join(debug))
    for dll in re.findall(r"DLL Name: (\S+)", objdump(path, "-p")):
        if dll.lower() not in system_dlls:
            fault(name, f"imports {dll}, not a system DLL")
    # Only the resources: the programs' own code names these keys too, to read the library's.
    rsrc = re.search(r"\.rsrc\s+([0-9a-f]+)\s+[0-9a-f]+\s+[0-9a-f]+\s+([0-9a-f]+)", headers)
    if rsrc:
        size, offset = int(rsrc.group(1), 16), int(rsrc.group(2), 16)
        data = data[offset:offset + size]
    fixed = data.find(struct.pack("<I", 0xFEEF04BD)) if rsrc else -1
    if fixed < 0:
        fault(name, "no version block")
        return
    ms, ls, pms, pls = struct.unpack_from("<4I", data, fixed + 8)
    numbers = ".".join(str(n) for n in (ms >> 16, ms & 0xFFFF, ls >> 16))
    if numbers != version or (ms, ls) != (pms, pls):
        fault(name, f"FILEVERSION {numbers} (PRODUCTVERSION {pms >> 16}.{pms & 0xFFFF}.{pls >> 16}), not {version}")
    names, description = product.get(name, (None, None))
    for key, want in [("FileVersion", version), ("ProductVersion", version),
                      ("ProductName", names)]:
        got = string_value(data, key)
        if got != want:
            fault(name, f"{key} is {got!r}, not {want!r}")
    got = string_value(data, "FileDescription") or ""
    if description not in got:
        fault(name, f"FileDescription {got!r} does not say {description!r}")
    # The resource directory's top level: ids of the types it holds, 14 being an icon group.
    named, ids = struct.unpack_from("<2H", data, 12)
    types = [struct.unpack_from("<I", data, 16 + 8 * i)[0] for i in range(named + ids)]
    if name.endswith(".exe") and 14 not in types:
        fault(name, "no icon")


def check_text(name, data):
    # readme.txt always: it is the file a user opens first, in whatever Notepad.
    if (name == "readme.txt" or not data.isascii()) and not data.startswith(b"\xef\xbb\xbf"):
        fault(name, "does not start with the UTF-8 byte-order mark EF BB BF")
    for number, line in enumerate(data.split(b"\n")[:-1], 1):
        if not line.endswith(b"\r"):
            fault(name, f"line {number} does not end CRLF")
            break
    if not data.endswith(b"\r\n"):
        fault(name, "last line does not end CRLF")


run = subprocess.run([os.path.join(root, "scripts", "package.sh")], stdout=subprocess.PIPE, text=True)
if run.returncode != 0:
    sys.exit(f"{run.stdout}scripts/package.sh failed with exit code {run.returncode}")
package = run.stdout.split("\n")[-2]
if os.path.basename(package) != f"tzdebug-{version}-win32.zip":
    fault(package, f"not named tzdebug-{version}-win32.zip")
with zipfile.ZipFile(package) as archive, tempfile.TemporaryDirectory() as scratch:
    names = archive.namelist()
    for entry in names:
        if not entry.startswith(top):
            fault(entry, f"not under {top}")
    files = {n[len(top):]: n for n in names if n.startswith(top) and not n.endswith("/")}
    for name in list(product) + texts:
        if name not in files:
            fault(name, "missing from the package")
    for name, entry in sorted(files.items()):
        data = archive.read(entry)
        if name.lower().endswith((".exe", ".dll")):
            path = archive.extract(entry, scratch)
            check_binary(name, data, path)
        elif name in texts:
            check_text(name, data)
        else:
            fault(name, "a file the package should not hold")
print("\n".join(faults) or f"{package}: {len(names)} entries, every check passed")
sys.exit(1 if faults else 0)
