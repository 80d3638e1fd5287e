#!/usr/bin/env bash
# Writes the seed corpora of fuzz/corpus/ from files the tools make: a
# package and its file list (patchtool pack), the update information and
# revision table (patchtool publish), the demo's configuration and text
# table; journal, wire and name seeds follow their formats. Run once after
# scripts/build; the seeds are committed.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
PT="$ROOT/build/host/tools/patchtool"
C="$ROOT/fuzz/corpus"
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
rm -rf "$C" && mkdir -p "$C"/{xml_load,file_list,revision_table,update_info,local_config,pe_resource,zip_reader,text_table,path_fence,framing,journal,minisig,delta,manifest}
mkdir -p "$W/old/Data" "$W/new/Data/Sub"
printf 'old' >"$W/old/Data/a.txt"; printf 'gone' >"$W/old/gone.txt"
printf 'new' >"$W/new/Data/a.txt"; printf 'added' >"$W/new/Data/Sub/b.txt"; printf 'MZ' >"$W/new/launcher.exe"
"$PT" pack --old "$W/old" --new "$W/new" --from 0000100 --to 0000200 -o "$W/up.exe" >/dev/null
cp "$W/up.exe" "$C/pe_resource/package.exe"
python3 - "$W/up.exe" "$C" <<'PY'
import io, sys, zipfile
data = open(sys.argv[1], "rb").read()
start = data.find(b"PK\x03\x04")
end = data.rfind(b"PK\x05\x06") + 22
archive = data[start:end]
open(sys.argv[2] + "/zip_reader/package.zip", "wb").write(archive)
listing = zipfile.ZipFile(io.BytesIO(archive)).read("filelist.xml")
open(sys.argv[2] + "/file_list/filelist.xml", "wb").write(listing)
open(sys.argv[2] + "/xml_load/filelist.xml", "wb").write(listing)
PY
printf 'latest 0000200\nserver url=http://127.0.0.1/ dir=patches/ version=0000200\nstep 0000100 0000200 upgrade=%s\ninfourl http://127.0.0.1/b.zip\nbasepack1 http://127.0.0.1/1.zip Base1.zip\nbasepack2 http://127.0.0.1/2.zip Base2.zip\nlink 127.0.0.1 7000;0x1b59\n' "$W/up.exe" >"$W/publish.txt"
"$PT" publish "$W/publish.txt" -o "$W/www" >/dev/null
cp "$W/www/NewUpdateInfo.xml" "$C/update_info/"
cp "$W/www/Revision.xml" "$C/revision_table/"
cp "$W/www/newupdateinfo.zip" "$C/zip_reader/"
cp "$W/www/Revision.xml" "$C/xml_load/"
printf '\x01<?xml version="1.0"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion><ClientVer/><DownloadedFileVersion>0</DownloadedFileVersion></Version><Download MaxUnsizedMiB="64" StallSeconds="30"/><ManualUpdateURL NormalURL="x"/><InternetUpdate><UpdateInfoURL>http://127.0.0.1/NewUpdateInfo.zip</UpdateInfoURL></InternetUpdate><RDTest><UpdateInfoURL>u</UpdateInfoURL></RDTest></Root>\n' >"$C/local_config/NewUpdateCfg.xml"
python3 - "$C" <<'PY'
import struct, sys
c = sys.argv[1]
text = 'DOWNLOADING_FIELS "Downloading %s"\r\nTAG text\r\n"QUOTED TAG" "two words"\r\n'
open(c + "/text_table/utf16.txt", "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
open(c + "/text_table/utf8.txt", "wb").write(b"\xef\xbb\xbf" + text.encode("utf-8"))
def msg(ident, body):
    return struct.pack("<IHB", 7 + len(body), ident, 0) + body
def scramble(data, key=0x6D):
    out = bytearray()
    for b in data:
        c = b ^ key
        out.append(c)
        key ^= c
    return bytes(out)
open(c + "/framing/two.bin", "wb").write(b"\x00" + scramble(msg(1, b"hello") + msg(2, b"")))
head = b"tidewell install journal 1\n"
open(c + "/journal/open.txt", "wb").write(head + b"D\tData\nB\tData\\a.txt\nN\tData\\b.txt\nK\tPatchCfg\\NewUpdateCfg.xml\n")
open(c + "/journal/committed.txt", "wb").write(head + b"B\tx.txt\nC\n")
for i, name in enumerate([b"Data\\Sub\\x.bin", b"launcher.exe", b"PatchCfg\\PatchTemp\\x", b"COM1.txt"]):
    open(c + "/path_fence/%d" % i, "wb").write(bytes([i % 3]) + name)
PY
# Signatures by patchtool and by minisign (prehashed and legacy), and a key line.
"$PT" keygen -o "$W/k" >/dev/null
"$PT" sign --key "$W/k.key" --timestamp 1700000000 "$W/www/newupdateinfo.zip" >/dev/null
cp "$W/www/newupdateinfo.zip.minisig" "$C/minisig/patchtool.minisig"
minisign -S -s "$W/k.key" -m "$W/up.exe" -x "$C/minisig/minisign.minisig" >/dev/null
minisign -S -l -s "$W/k.key" -m "$W/up.exe" -x "$C/minisig/legacy.minisig" >/dev/null
sed -n 2p "$W/k.pub" >"$C/minisig/key.pub"
# A delta against the fuzz target's old file (byte i is (7 i + 3) mod 256).
python3 - "$W" <<'PY'
import os, sys
w = sys.argv[1]
old = bytes((7 * i + 3) % 256 for i in range(64 << 10))
new = old[:1000] + b"inserted" * 50 + old[1000:40000] + old[50000:]
for tree, data in (("dold", old), ("dnew", new)):
    os.makedirs(os.path.join(w, tree), exist_ok=True)
    open(os.path.join(w, tree, "a.bin"), "wb").write(data)
PY
"$PT" pack --old "$W/dold" --new "$W/dnew" --from 0000100 --to 0000200 --delta -o "$W/delta.exe" >/dev/null
python3 - "$W/delta.exe" "$C/delta/a.delta" <<'PY'
import io, sys, zipfile
data = open(sys.argv[1], "rb").read()
archive = data[data.find(b"PK\x03\x04"):data.rfind(b"PK\x05\x06") + 22]
open(sys.argv[2], "wb").write(zipfile.ZipFile(io.BytesIO(archive)).read("a.bin"))
PY
# A stored difference delta (the same against the old file) and a solid
# bundle of two of them: made by hand, as patchtool keeps zstd for the above.
python3 - "$C/delta" <<'PY'
import lzma, struct, sys
def zz(v):
    u, out = (v << 1) ^ (v >> 63), bytearray()
    while u >= 0x80:
        out.append((u & 0x7F) | 0x80)
        u >>= 7
    return bytes(out + bytes([u]))
control, diff, extra = zz(100) + zz(4) + zz(0), bytes(100), b"new!"
stored = b"TWDIFF01" + struct.pack("<QQQQQII", 104, 64 << 10, len(control), len(diff), len(extra), 4096, 2) + control + diff + extra
open(sys.argv[1] + "/diff.delta", "wb").write(stored)
packed = lzma.compress(stored * 2, format=lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA2, "dict_size": 4096}])
open(sys.argv[1] + "/solid.bundle", "wb").write(b"TWSOLID1" + struct.pack("<QI", 2 * len(stored), 4096) + packed)
PY
# Manifests of a small store: two versions, names in several scripts, a file
# of several chunks beside empty and small ones.
python3 - "$W" <<'PY'
import os, random, sys
w = sys.argv[1]
rng = random.Random(5)
for v, extra in (("0000100", b""), ("0000200", b"changed")):
    for rel, data in (("Data/big.pak", rng.randbytes(200000) + extra), ("Data/empty.txt", b""),
                      ("Donn\u00e9es/\u6587\u4ef6.txt".encode().decode("unicode_escape"), v.encode())):
        path = os.path.join(w, "trees", v, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(data)
PY
printf "latest 0000200\nserver url=http://127.0.0.1/ version=0000200\ntree 0000100 trees/0000100\ntree 0000200 trees/0000200\n" \
  >"$W/store.txt"
"$PT" publish "$W/store.txt" -o "$W/storeout" --unchecked >/dev/null 2>&1
cp "$W"/storeout/store/manifests/*.manifest "$C/manifest/"
echo "seeds: $(find "$C" -type f | wc -l) files, $(du -sk "$C" | cut -f1) KiB"
