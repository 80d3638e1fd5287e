#!/usr/bin/env python3
"""Zip archives for the transfer and engine tests, made by Info-ZIP zip where
a real tool would make them, and by hand where they must be broken or hostile.

  zip_fixtures.py DIR    writes DIR/*.zip and DIR/expected.txt
"""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def windres_package(out):
    """A package linked the way a Windows tool chain links one."""
    work = os.path.join(out, "windres")
    content = b"linked by windres\n"
    filelist = ('<root><Installer version="1.0.0"/><Version internal="0000101" from="0000100"/><FileList>'
                '<add name="fromwindres.txt" path="fromwindres.txt" size="%d" checktype="md5" checksum="%s"/>'
                '</FileList></root>' % (len(content), hashlib.md5(content).hexdigest()))
    os.makedirs(work)
    with zipfile.ZipFile(os.path.join(work, "payload.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("filelist.xml", filelist)
        z.writestr("fromwindres.txt", content)
    write(os.path.join(work, "package.rc"), b'135 RT_RCDATA "payload.zip"\n')
    write(os.path.join(work, "main.c"), b"int main(void) { return 0; }\n")
    subprocess.run(["i686-w64-mingw32-windres", "package.rc", "-O", "coff", "-o", "package.o"], cwd=work, check=True)
    subprocess.run(["i686-w64-mingw32-gcc", "-mwindows", "main.c", "package.o", "-o",
                    os.path.join(out, "windres_package.exe")], cwd=work, check=True)


def raw_zip(path, entries):
    """A stored zip of (name bytes, general purpose flag, data), written byte by byte so
    that names and flags are exactly the given ones."""
    import struct
    import zlib
    local, central = b"", b""
    for name, flag, data in entries:
        crc = zlib.crc32(data)
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flag, 0, 0, 0x5821, crc, len(data), len(data), len(name), 0)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flag, 0, 0, 0x5821, crc, len(data), len(data),
                               len(name), 0, 0, 0, 0, 0, len(local)) + name
        local += header + name + data
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(local), 0)
    write(path, local + central + end)


def names_fixtures(out):
    """Names in every encoding a packer may use, right or wrong."""
    utf8 = lambda text: text.encode("utf-8")
    raw_zip(os.path.join(out, "utf8names.zip"), [
        (utf8("Données/café/résumé.txt"), 0x800, b"latin"), (utf8("数据/文件.txt"), 0x800, b"cjk"),
        (utf8("\U0001F600/emoji\U0001F600.txt"), 0x800, b"emoji"),
        (utf8("e\u0301.txt"), 0x800, b"nfd"), (utf8("\u00e9.txt"), 0x800, b"nfc")])  # only the normalisation differs
    # Bytes of another packer's code page, unflagged: read in the ANSI code page.
    raw_zip(os.path.join(out, "unflagged.zip"), [(b"caf\xe9.txt", 0, b"ansi")])
    raw_zip(os.path.join(out, "badutf8.zip"), [(b"ok.txt", 0x800, b"ok"), (b"bad\xff.txt", 0x800, b"x")])
    raw_zip(os.path.join(out, "caseclash.zip"), [(b"Data/a.txt", 0, b"1"), (b"DATA/A.TXT", 0, b"2")])
    raw_zip(os.path.join(out, "caseclash2.zip"), [(utf8("\u00c9t\u00e9.txt"), 0x800, b"1"), (utf8("\u00e9T\u00c9.txt"), 0x800, b"2")])
    raw_zip(os.path.join(out, "fileanddir.zip"), [(b"data", 0, b"1"), (b"Data/x.txt", 0, b"2")])


def main(out):
    os.environ["TZ"] = "UTC"
    time.tzset()
    shutil.rmtree(out, ignore_errors=True)
    src = os.path.join(out, "src")
    files = {"Data/Sub/File1.txt": b"first file\n" * 1000, "Data/Deep/A/B/c.bin": bytes(range(256)) * 64,
             "Readme.TXT": b"read me", "Empty.dat": b""}
    for rel, data in files.items():
        write(os.path.join(src, rel), data)
    os.makedirs(os.path.join(src, "Data", "EmptyDir"))
    stamp = time.mktime((2024, 3, 4, 5, 6, 8, 0, 0, -1))  # the zip tool's local time, UTC here
    for root, dirs, names in os.walk(src):
        for n in names + dirs:
            os.utime(os.path.join(root, n), (stamp, stamp))
    for name, level in (("deflated.zip", "-9"), ("stored.zip", "-0")):
        subprocess.run(["zip", "-q", "-r", level, os.path.join(out, name), "."], cwd=src, check=True)
    many = os.path.join(out, "many")  # enough files for two readers
    for i in range(40):
        write(os.path.join(many, "d%d" % (i % 5), "f%02d.txt" % i), (b"file %d " % i) * (100 * i + 1))
    subprocess.run(["zip", "-q", "-r", os.path.join(out, "many.zip"), "."], cwd=many, check=True)

    # A stored entry with one byte of its data changed: only the CRC tells.
    with zipfile.ZipFile(os.path.join(out, "crc.zip"), "w", zipfile.ZIP_STORED) as z:
        z.writestr("good.txt", b"fine")
        z.writestr("bad.txt", b"0123456789" * 100)
    data = bytearray(open(os.path.join(out, "crc.zip"), "rb").read())
    data[data.find(b"0123456789" * 10) + 500] ^= 0x01
    write(os.path.join(out, "crc.zip"), bytes(data))
    for name, entry in {"parent.zip": "../evil.txt", "inner.zip": "ok/../../evil.txt", "backslash.zip": "ok\\..\\..\\evil.txt",
                        "absolute.zip": "/evil.txt", "drive.zip": "C:/evil.txt", "stream.zip": "ok.txt:evil"}.items():
        with zipfile.ZipFile(os.path.join(out, name), "w") as z:
            z.writestr("good.txt", b"fine")
            z.writestr(entry, b"evil")
    write(os.path.join(out, "notazip.zip"), b"PK\x03\x04 but not really a zip archive")
    names_fixtures(out)
    windres_package(out)
    with open(os.path.join(out, "expected.txt"), "w") as f:
        f.writelines("%s %d\n" % (rel, len(files[rel])) for rel in sorted(files))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(os.path.abspath(sys.argv[1]))
