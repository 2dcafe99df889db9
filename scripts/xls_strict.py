"""A strict reader's rules for the Excel 97-2003 files brosk writes: the MUST rules of
[MS-CFB] for the container, of [MS-OLEPS]/[MS-OSHARED] for the two property sets and of
[MS-XLS] for the records brosk writes, as far as a reader can see them. Readers forgive
what this does not. check(raw) raises Bad with the first rule broken.

Where the spreadsheet application's own files break a rule and brosk follows the
application, the rule is listed in KNOWN_EXCEPTIONS, and nowhere else."""
import struct

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
SUMMARY = b"\xe0\x85\x9f\xf2\xf9\x4f\x68\x10\xab\x91\x08\x00\x2b\x27\xb3\xd9"
DOC_SUMMARY = b"\x02\xd5\xcd\xd5\x9c\x2e\x1b\x10\x93\x97\x08\x00\x2b\x2c\xf9\xae"

# [MS-OLEPS] 2.20 wants every property at a multiple of 4 bytes. The application writes
# DocumentSummaryInformation's HeadingPairs (0x0C) last and right after the parts' names,
# at whatever offset they end, and readers expect that layout (see property_sets.cpp).
KNOWN_EXCEPTIONS = {("DocumentSummaryInformation", "unaligned property", 0x0C)}


class Bad(Exception):
    pass


def need(condition, what, *args):
    if not condition:
        raise Bad(what % args if args else what)


# --- The compound file ---------------------------------------------------------------------

class Container:
    """The compound file's parts, checked as they are read: the header, the FAT (with the
    DIFAT), the chains, the directory and its tree, the streams."""

    def __init__(self, raw):
        self.raw = raw
        self.owner = {}  # sector: what its chain belongs to
        self.header()
        self.read_fat()

    def header(self):
        raw = self.raw
        need(len(raw) >= 512 and len(raw) % 512 == 0, "file size %d is no whole number of sectors", len(raw))
        h = struct.unpack_from("<8s16sHHHHH6sIIIIIIIII", raw, 0)
        sig, clsid, minor, major, order, shift, mshift, reserved, ndir, self.nfat, self.dirstart, sig2, \
            self.cutoff, self.minifat, self.nminifat, self.difat, self.ndifat = h
        need(sig == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", "no compound file signature")
        need(clsid == bytes(16) and reserved == bytes(6) and sig2 == 0, "header fields that must be zero are not")
        need((minor, major, order, shift, mshift) == (0x3E, 3, 0xFFFE, 9, 6),
             "header version, byte order or sector sizes are not those of version 3")
        need(ndir == 0 and self.cutoff == 4096, "directory sector count or mini stream cutoff wrong")
        self.sectors = len(raw) // 512 - 1

    def sector(self, n):
        need(n < self.sectors, "sector %d beyond the end of the file", n)
        return self.raw[512 + 512 * n:1024 + 512 * n]

    def claim(self, s, what):
        need(s not in self.owner, "sector %d belongs to %s and to %s", s, self.owner.get(s), what)
        self.owner[s] = what

    def read_fat(self):
        """The FAT sectors: 109 in the header, then the DIFAT chain."""
        fat_sectors = list(struct.unpack_from("<109I", self.raw, 76))
        difat_sectors, n = [], self.difat
        for _ in range(self.ndifat):
            difat_sectors.append(n)
            entries = struct.unpack("<128I", self.sector(n))
            fat_sectors += entries[:127]
            n = entries[127]
        need(n == ENDOFCHAIN if self.ndifat else self.difat == ENDOFCHAIN, "DIFAT chain does not end")
        used = [s for s in fat_sectors if s != FREESECT]
        need(fat_sectors[:len(used)] == used and len(used) == self.nfat, "FAT sector list has gaps or a wrong count")
        self.fat = []
        for s in used:
            self.fat += struct.unpack("<128I", self.sector(s))
        need(len(self.fat) >= self.sectors, "FAT covers %d of %d sectors", len(self.fat), self.sectors)
        for s in used:
            self.claim(s, "the FAT")
            need(self.fat[s] == FATSECT, "FAT sector %d not marked FATSECT", s)
        for s in difat_sectors:
            self.claim(s, "the DIFAT")
            need(self.fat[s] == DIFSECT, "DIFAT sector %d not marked DIFSECT", s)

    def chain(self, start, what, table=None):
        """The sectors of a chain of the FAT (claimed for `what`) or of the mini FAT."""
        mini = table is not None
        table = table if mini else self.fat
        out, s = [], start
        while s != ENDOFCHAIN:
            need(s < len(table), "%s: chain leaves the table at %d", what, s)
            if not mini:
                self.claim(s, what)
            out.append(s)
            s = table[s]
            need(len(out) <= len(table), "%s: chain loops", what)
        return out

    def read_directory(self):
        """The directory's entries, parsed (None for an unused one)."""
        directory = b"".join(self.sector(s) for s in self.chain(self.dirstart, "the directory"))
        self.entries = [directory_entry(i, directory[i * 128:i * 128 + 128])
                        for i in range(len(directory) // 128)]
        need(self.entries[0] is not None, "no root entry")

    def read_mini(self):
        """The mini FAT and the mini stream the root entry holds."""
        minifat_chain = self.chain(self.minifat, "the mini FAT") if self.nminifat else []
        need(len(minifat_chain) == self.nminifat, "mini FAT sector count wrong")
        need(self.nminifat or self.minifat == ENDOFCHAIN, "no mini FAT, but a start sector")
        self.mini_table = []
        for s in minifat_chain:
            self.mini_table += struct.unpack("<128I", self.sector(s))
        root = self.entries[0]
        self.mini_stream = b"".join(self.sector(s) for s in self.chain(root["start"], "the mini stream")) \
            if root["size"] else b""
        need(len(self.mini_stream) >= root["size"] and len(self.mini_stream) - root["size"] < 512,
             "mini stream size does not match its chain")

    def check_tree(self):
        """The root's children: a red-black tree in name order holding every entry."""
        root, parsed = self.entries[0], self.entries
        need(root["left"] == root["right"] == NOSTREAM, "the root entry has siblings")
        seen = set()
        if root["child"] != NOSTREAM:
            need(parsed[root["child"]]["color"] == 1, "the tree's root entry is not black")
            black_height(parsed, root["child"], seen)
        need(seen == {i for i, e in enumerate(parsed) if e and i}, "directory entries outside the tree")

    def streams(self):
        streams = {}
        for e in self.entries[1:]:
            if not e or e["kind"] != 2:
                continue
            if e["size"] < self.cutoff:
                mchain = self.chain(e["start"], e["name"], self.mini_table) if e["size"] else []
                need(len(mchain) == (e["size"] + 63) // 64, "%s: mini chain length", e["name"])
                data = b"".join(self.mini_stream[64 * s:64 * s + 64] for s in mchain)
            else:
                fchain = self.chain(e["start"], e["name"])
                need(len(fchain) == (e["size"] + 511) // 512, "%s: chain length", e["name"])
                data = b"".join(self.sector(s) for s in fchain)
            streams[e["name"]] = data[:e["size"]]
        return streams

    def check_free(self):
        for s in range(len(self.fat)):
            if s not in self.owner:
                need(self.fat[s] == FREESECT, "sector %d is in no chain but not free", s)


def directory_entry(i, e):
    name_len, kind, color, left, right, child = struct.unpack_from("<HBBIII", e, 64)
    start, size = struct.unpack_from("<IQ", e, 116)
    if kind == 0:
        need(e == bytes(64) + struct.pack("<HBBIII", 0, 0, 0, NOSTREAM, NOSTREAM, NOSTREAM)
             + bytes(48), "unused directory entry %d is not cleared", i)
        return None
    need(kind in (1, 2, 5) and (kind == 5) == (i == 0), "directory entry %d has type %d", i, kind)
    need(name_len % 2 == 0 and 2 <= name_len <= 64, "directory entry %d name length %d", i, name_len)
    name = e[:name_len - 2].decode("utf-16-le")
    need(e[name_len - 2:name_len] == b"\0\0" and e[name_len:64] == bytes(64 - name_len),
         "directory entry %d name not ended and cleared", i)
    need(color in (0, 1), "directory entry %d colour %d", i, color)
    return {"name": name, "kind": kind, "color": color, "left": left, "right": right,
            "child": child, "start": start, "size": size}


def name_key(name):
    return (len(name), name.upper())


def black_height(parsed, node, seen):
    """The black height of a red-black subtree, checked on the way."""
    if node == NOSTREAM:
        return 1
    need(node < len(parsed) and parsed[node] and node not in seen, "directory tree reaches entry %d badly", node)
    seen.add(node)
    e = parsed[node]
    for side in ("left", "right"):
        kid = e[side]
        if kid != NOSTREAM:
            need(not (e["color"] == 0 and parsed[kid]["color"] == 0), "red entry %d has a red child", node)
            a, b = name_key(parsed[kid]["name"]), name_key(e["name"])
            need(a < b if side == "left" else a > b, "directory entries %d and %d out of order", kid, node)
    lh, rh = black_height(parsed, e["left"], seen), black_height(parsed, e["right"], seen)
    need(lh == rh, "entry %d: unequal black heights", node)
    return lh + (e["color"] == 1)


def container(raw):
    """Checks the container; returns {stream name: bytes}."""
    c = Container(raw)
    c.read_directory()
    c.read_mini()
    c.check_tree()
    streams = c.streams()
    c.check_free()
    return streams


# --- Property sets ---------------------------------------------------------------------------

def property_set(data, name, fmtid):
    need(len(data) >= 48, "%s: too short", name)
    order, version, _, clsid, count, fid, offset = struct.unpack_from("<HHI16sI16sI", data)
    need(order == 0xFFFE and version in (0, 1) and count == 1 and fid == fmtid and offset == 48,
         "%s: header wrong", name)
    size, n = struct.unpack_from("<II", data, 48)
    need(48 + size <= len(data) and size % 4 == 0, "%s: set size %d", name, size)
    seen = set()
    for k in range(n):
        pid, off = struct.unpack_from("<II", data, 56 + 8 * k)
        need(pid not in seen, "%s: property %d twice", name, pid)
        seen.add(pid)
        need(8 + 8 * n <= off < size, "%s: property %d outside the set", name, pid)
        if off % 4 and (name, "unaligned property", pid) not in KNOWN_EXCEPTIONS:
            raise Bad("%s: property 0x%X at unaligned offset %d" % (name, pid, off))
        end = typed_value(data, 48 + off, name, pid)
        need(end <= 48 + size, "%s: property 0x%X runs past the set", name, pid)
    need(1 in seen, "%s: no code page property", name)


def typed_value(data, pos, name, pid, padded=True):
    vt, pad = struct.unpack_from("<HH", data, pos)
    need(pad == 0, "%s: property 0x%X type padding", name, pid)
    pos += 4
    if vt in (0x0002, 0x000B):
        return pos + 4
    if vt == 0x0003:
        return pos + 4
    if vt == 0x001E:
        length = struct.unpack_from("<I", data, pos)[0]
        need(length >= 1 and data[pos + 4 + length - 1] == 0, "%s: string of 0x%X not ended", name, pid)
        pos += 4 + length
        return pos + (-pos % 4 if padded else 0)
    if vt & 0x1000:
        count = struct.unpack_from("<I", data, pos)[0]
        pos += 4
        for _ in range(count):
            if vt & 0xFFF == 0x000C:
                pos = typed_value(data, pos, name, pid, padded=False)
            elif vt & 0xFFF == 0x001E:
                length = struct.unpack_from("<I", data, pos)[0]
                need(length >= 1 and data[pos + 4 + length - 1] == 0, "%s: vector string not ended", name)
                pos += 4 + length
            else:
                raise Bad("%s: vector of type 0x%X" % (name, vt))
        return pos
    raise Bad("%s: property 0x%X of type 0x%X" % (name, pid, vt))


# --- The Workbook stream ---------------------------------------------------------------------

BUILT_IN_FORMATS = set(range(0, 23)) | set(range(37, 41)) | set(range(45, 50))
GLOBALS_ORDER = [0x0809, 0x00E1, 0x00C1, 0x00E2, 0x005C, 0x0042, 0x003D, 0x0031, 0x041E,
                 0x00E0, 0x0293, 0x0085, 0x008C, 0x00FC, 0x00FF, 0x000A]
SHEET_ORDER = [0x0809, 0x020B, 0x0055, 0x0200, 0x023E, 0x001D, 0x000A]


def substream(data, start):
    out, pos = [], start
    while True:
        need(pos + 4 <= len(data), "substream from %d has no EOF", start)
        rtype, size = struct.unpack_from("<HH", data, pos)
        need(size <= 8224 and pos + 4 + size <= len(data), "record at %d too long", pos)
        out.append((pos, rtype, data[pos + 4:pos + 4 + size]))
        pos += 4 + size
        if rtype == 0x000A:
            return out
        need(rtype != 0x0809 or len(out) == 1, "BOF inside a substream at %d", pos)


def in_order(recs, order, what):
    types = [t for _, t, _ in recs]
    at = []
    for t in order:
        need(t in types, "%s: no record 0x%04X", what, t)
        at.append(types.index(t))
    need(at == sorted(at), "%s: records out of order", what)


def workbook(data):
    glob = substream(data, 0)
    in_order(glob, GLOBALS_ORDER, "globals")
    of = lambda recs, t: [b for _, rt, b in recs if rt == t]
    fonts = len(of(glob, 0x0031))
    formats = {struct.unpack_from("<H", b)[0] for b in of(glob, 0x041E)}
    xfs = of(glob, 0x00E0)
    need(len(xfs) >= 21, "fewer than the 21 XF records of the built-in styles")
    style_xf = []
    for i, b in enumerate(xfs):
        font, fmt, kind = struct.unpack_from("<HHH", b)
        need(font < fonts + (font >= 4) and font != 4, "XF %d: font %d", i, font)
        need(fmt in BUILT_IN_FORMATS or fmt in formats, "XF %d: number format %d", i, fmt)
        is_style = bool(kind & 0x4)
        style_xf.append(is_style)
        need(not is_style or kind >> 4 == 0xFFF, "style XF %d has a parent", i)
        need(is_style or style_xf[kind >> 4], "cell XF %d: parent %d is no style XF", i, kind >> 4)
    need(all(style_xf[:15]) and not style_xf[15], "XFs 0-14 must be style XFs and 15 a cell XF")
    for b in of(glob, 0x0293):
        ixfe = struct.unpack_from("<H", b)[0] & 0xFFF
        need(ixfe < len(xfs) and style_xf[ixfe], "STYLE refers to XF %d, no style XF", ixfe)
    sst = of(glob, 0x00FC)[0]
    total, unique = struct.unpack_from("<II", sst)
    sheets = of(glob, 0x0085)
    need(len(sheets) == 1, "expected one BoundSheet8")
    sheet = substream(data, struct.unpack_from("<I", sheets[0])[0])
    need(struct.unpack_from("<HH", sheet[0][2]) == (0x0600, 0x0010), "BoundSheet8 misses the worksheet BOF")
    need(sheet[-1][0] + 4 == len(data) or data[sheet[-1][0] + 4:].strip(b"\0") == b"",
         "bytes after the worksheet's EOF")
    in_order(sheet, SHEET_ORDER, "worksheet")
    need(len(of(sheet, 0x023E)) == 1, "expected one Window2")
    references = 0
    for _, t, b in sheet:
        if t in (0x00FD, 0x0203, 0x027E, 0x00BD):
            xf_at = [4] if t != 0x00BD else range(4, len(b) - 2, 6)
            for at in xf_at:
                ixfe = struct.unpack_from("<H", b, at)[0]
                need(ixfe < len(xfs) and not style_xf[ixfe], "a cell uses XF %d", ixfe)
        if t == 0x00FD:
            references += 1
            need(struct.unpack_from("<I", b, 6)[0] < unique, "LabelSst beyond the SST")
        if t == 0x0208:
            need(struct.unpack_from("<H", b, 14)[0] < len(xfs), "Row XF out of range")
    need(total == references, "SST counts %d references, the sheet has %d", total, references)


def check(raw):
    streams = container(raw)
    need(set(streams) == {"Workbook", "\x05SummaryInformation", "\x05DocumentSummaryInformation"},
         "streams %s", sorted(streams))
    property_set(streams["\x05SummaryInformation"], "SummaryInformation", SUMMARY)
    property_set(streams["\x05DocumentSummaryInformation"], "DocumentSummaryInformation", DOC_SUMMARY)
    workbook(streams["Workbook"])
    return streams
