"""Builds .orv instrument files for the tests, field by field, and damages them on request.

An .orv file is a Microsoft compound file (CFB) whose directory entry 1 is the stream
"Contents". Two layers:

* ``build_cfb`` / ``build_cfb_layout`` write the container: header, FAT (with a DIFAT chain
  when it needs more than 109 sectors), directory, MiniFAT, mini stream and stream chains.
  ``CfbLayout`` tells where every piece went, so the damage helpers (``set_fat_entry``,
  ``set_entry_name``, ``set_header_field``...) can patch exact bytes.
* ``build_contents`` writes the "Contents" stream from a ``Contents`` description; the
  ``contents_offsets`` / ``offset_of`` / ``cut_contents`` helpers locate fields in it, and
  ``expected_values`` states what a correct reader must make of the description.

``build_orv`` puts the two together. Standard library only, so that the tests run under every
interpreter the module is built for.
"""

import dataclasses
import math
import re
import struct
from dataclasses import dataclass, field
from typing import List, Optional

# ----------------------------------------------------------------------------------------------
# Compound file container
# ----------------------------------------------------------------------------------------------

SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
MAXREGSECT = 0xFFFFFFFA
RESERVEDSECT = 0xFFFFFFFB
DIFSECT = 0xFFFFFFFC
FATSECT = 0xFFFFFFFD
ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
NOSTREAM = 0xFFFFFFFF

TYPE_EMPTY = 0
TYPE_STORAGE = 1
TYPE_STREAM = 2
TYPE_ROOT = 5
RED = 0
BLACK = 1

HEADER_DIFAT_ENTRIES = 109
DIR_ENTRY_SIZE = 128
MINI_SECTOR_SIZE = 64

# Header fields: name -> (offset, struct format).
HEADER_FIELDS = {
    "signature": (0, "8s"),
    "clsid": (8, "16s"),
    "minor_version": (24, "<H"),
    "major_version": (26, "<H"),
    "byte_order": (28, "<H"),
    "sector_shift": (30, "<H"),
    "mini_sector_shift": (32, "<H"),
    "reserved": (34, "6s"),
    "num_dir_sectors": (40, "<I"),
    "num_fat_sectors": (44, "<I"),
    "first_dir_sector": (48, "<I"),
    "transaction_signature": (52, "<I"),
    "mini_stream_cutoff": (56, "<I"),
    "first_minifat_sector": (60, "<I"),
    "num_minifat_sectors": (64, "<I"),
    "first_difat_sector": (68, "<I"),
    "num_difat_sectors": (72, "<I"),
}
HEADER_DIFAT_OFFSET = 76

# Directory entry fields: name -> (offset within the 128-byte entry, struct format).
ENTRY_FIELDS = {
    "name": (0, "64s"),
    "name_length": (64, "<H"),
    "object_type": (66, "B"),
    "color": (67, "B"),
    "left": (68, "<I"),
    "right": (72, "<I"),
    "child": (76, "<I"),
    "clsid": (80, "16s"),
    "state_bits": (96, "<I"),
    "creation_time": (100, "<Q"),
    "modified_time": (108, "<Q"),
    "start": (116, "<I"),
    "size": (120, "<Q"),
}

# Where the pieces of the file go, in sector order; "streams" are the regular chains of the
# streams, in the order given.
DEFAULT_ORDER = ("fat", "difat", "directory", "minifat", "padding", "ministream", "streams")

PADDING_FILL = b"pad-sector:"

# With this many padding sectors in a 512-byte-sector file, everything placed after the padding
# has its FAT entries in FAT sectors 109 and up, listed only in the DIFAT chain (about 7 MB).
PAD_SECTORS_FOR_DIFAT = HEADER_DIFAT_ENTRIES * 512 // 4


@dataclass
class StreamLayout:
    """Where one stream went. ``chain`` lists mini sector numbers when ``in_mini``, else
    regular sector numbers; ``start`` is ENDOFCHAIN for an empty stream."""

    name: str
    entry_id: int
    size: int
    in_mini: bool
    start: int
    chain: List[int]


@dataclass
class CfbLayout:
    """Sector map of a file written by ``build_cfb_layout``."""

    major_version: int
    sector_size: int
    mini_cutoff: int
    fat_sectors: List[int]  # in FAT order: FAT sector k holds the entries of sectors k*n..
    difat_sectors: List[int]
    directory_sectors: List[int]
    minifat_sectors: List[int]
    ministream_sectors: List[int]
    padding_sectors: List[int]
    streams: List[StreamLayout]
    ministream_size: int
    entry_count: int  # root included
    sector_count: int
    file_size: int
    mini_sector_size: int = MINI_SECTOR_SIZE

    @property
    def entries_per_fat_sector(self):
        return self.sector_size // 4

    @property
    def directory_start(self):
        return _first(self.directory_sectors)

    @property
    def minifat_start(self):
        return _first(self.minifat_sectors)

    @property
    def difat_start(self):
        return _first(self.difat_sectors)

    @property
    def ministream_start(self):
        return _first(self.ministream_sectors)

    def sector_offset(self, sector):
        """File offset of regular sector ``sector`` (the header fills sector -1)."""
        return (sector + 1) * self.sector_size

    def fat_entry_offset(self, sector):
        """File offset of the FAT entry describing ``sector``."""
        per = self.entries_per_fat_sector
        return self.sector_offset(self.fat_sectors[sector // per]) + 4 * (sector % per)

    def difat_entry_offset(self, index):
        """File offset of DIFAT entry ``index`` (0..108 in the header, then the DIFAT
        sectors, whose last entry each is the next DIFAT sector, not counted here)."""
        if index < HEADER_DIFAT_ENTRIES:
            return HEADER_DIFAT_OFFSET + 4 * index
        per = self.entries_per_fat_sector - 1
        k, i = divmod(index - HEADER_DIFAT_ENTRIES, per)
        return self.sector_offset(self.difat_sectors[k]) + 4 * i

    def difat_next_offset(self, k):
        """File offset of the 'next DIFAT sector' field of DIFAT sector ``k``."""
        return self.sector_offset(self.difat_sectors[k]) + self.sector_size - 4

    def _chain_offset(self, chain, pos):
        return self.sector_offset(chain[pos // self.sector_size]) + pos % self.sector_size

    def minifat_entry_offset(self, mini_sector):
        """File offset of the MiniFAT entry describing mini sector ``mini_sector``."""
        return self._chain_offset(self.minifat_sectors, 4 * mini_sector)

    def mini_sector_offset(self, mini_sector):
        """File offset of mini sector ``mini_sector`` of the mini stream."""
        return self._chain_offset(self.ministream_sectors, mini_sector * self.mini_sector_size)

    def entry_offset(self, entry_id):
        """File offset of directory entry ``entry_id`` (0 is the root)."""
        return self._chain_offset(self.directory_sectors, entry_id * DIR_ENTRY_SIZE)

    def stream(self, key):
        """The StreamLayout of a stream given by entry id or name."""
        for s in self.streams:
            if s.entry_id == key or s.name == key:
                return s
        raise KeyError(key)

    def stream_offset(self, key, pos):
        """File offset of byte ``pos`` of a stream (entry id or name)."""
        s = self.stream(key)
        if s.in_mini:
            m = s.chain[pos // self.mini_sector_size]
            return self.mini_sector_offset(m) + pos % self.mini_sector_size
        return self._chain_offset(s.chain, pos)


def _first(sectors):
    return sectors[0] if sectors else ENDOFCHAIN


def _ceil_div(a, b):
    return -(-a // b)


def _encode_entry_name(name):
    if isinstance(name, (bytes, bytearray)):
        raw = bytes(name)
    else:
        raw = name.encode("utf-16-le") + b"\0\0"
    if len(raw) > 64:
        raise ValueError("directory entry name too long: %r" % (name,))
    return raw


def _name_key(name):
    """Directory order: shorter names first, then code units compared in upper case."""
    if isinstance(name, (bytes, bytearray)):
        return (len(name), bytes(name))
    upper = "".join(c.upper() if len(c.upper()) == 1 else c for c in name)
    return (len(name.encode("utf-16-le")), upper)


def _balanced_tree(ids, names):
    """Balanced red-black tree of the given entry ids: (root, {id: (left, right, color)})."""
    order = sorted(ids, key=lambda i: _name_key(names[i]))
    links = {}
    depth = {}

    def build(lo, hi, d):
        if lo >= hi:
            return NOSTREAM
        mid = (lo + hi) // 2
        node = order[mid]
        left = build(lo, mid, d + 1)
        right = build(mid + 1, hi, d + 1)
        links[node] = [left, right, BLACK]
        depth[node] = d
        return node

    root = build(0, len(order), 0)
    if order:
        deepest = max(depth.values())
        bottom = [n for n in order if depth[n] == deepest]
        if len(bottom) != 2 ** deepest:
            # Leaves hang at two depths; the lower ones red keeps every path's black count equal.
            for n in bottom:
                links[n][2] = RED
    return root, {k: tuple(v) for k, v in links.items()}


def _normalise_streams(streams):
    out = []
    for item in streams:
        if len(item) == 2:
            name, data = item
            opts = {}
        else:
            name, data, opts = item
        unknown = set(opts) - {"storage", "object_type"}
        if unknown:
            raise ValueError("unknown stream options: %s" % sorted(unknown))
        out.append((name, bytes(data), dict(opts)))
    return out


def build_cfb_layout(
    streams,
    *,
    major_version=3,
    mini_cutoff=4096,
    extra_fat_sectors=0,
    pad_sectors=0,
    order=DEFAULT_ORDER,
    root_name="Root Entry",
):
    """Writes a compound file; returns (bytes, CfbLayout).

    streams: sequence of (name, data) or (name, data, options); they become directory entries
    1, 2, ... in that order. Options: storage="mini"/"regular" forces where the data goes
    (default: the mini stream when shorter than mini_cutoff); object_type=N writes another
    type byte in the entry.
    major_version: 3 (512-byte sectors) or 4 (4096-byte sectors).
    mini_cutoff: the header's mini stream cutoff, also used to place the streams.
    extra_fat_sectors: FAT sectors added beyond the need (all their entries free).
    pad_sectors: free sectors filled with junk, placed (with the default order) before the
    mini stream and the stream data, so that with ~14000 of them at 512 bytes the streams are
    reached only through FAT sectors listed in the DIFAT chain.
    order: the sequence of the parts in the file, a permutation of DEFAULT_ORDER.
    """
    if major_version == 3:
        shift = 9
    elif major_version == 4:
        shift = 12
    else:
        raise ValueError("major_version must be 3 or 4")
    if sorted(order) != sorted(DEFAULT_ORDER):
        raise ValueError("order must be a permutation of %s" % (DEFAULT_ORDER,))
    ss = 1 << shift
    per = ss // 4
    streams = _normalise_streams(streams)

    # Mini stream allocation.
    in_mini = []
    mini_chains = []
    next_mini = 0
    for name, data, opts in streams:
        storage = opts.get("storage")
        mini = storage == "mini" or (storage is None and len(data) < mini_cutoff)
        in_mini.append(mini)
        if mini:
            n = _ceil_div(len(data), MINI_SECTOR_SIZE)
            mini_chains.append(list(range(next_mini, next_mini + n)))
            next_mini += n
        else:
            mini_chains.append(None)
    ministream_size = next_mini * MINI_SECTOR_SIZE
    n_ministream = _ceil_div(ministream_size, ss)
    n_minifat = _ceil_div(next_mini * 4, ss)
    entry_count = 1 + len(streams)
    n_dir = _ceil_div(entry_count * DIR_ENTRY_SIZE, ss)
    regular_sizes = [
        0 if mini else _ceil_div(len(data), ss)
        for (name, data, opts), mini in zip(streams, in_mini)
    ]
    counts = {
        "directory": n_dir,
        "minifat": n_minifat,
        "padding": pad_sectors,
        "ministream": n_ministream,
        "streams": sum(regular_sizes),
    }
    others = sum(counts.values())

    # FAT and DIFAT sizes: the FAT must describe every sector, its own included.
    n_fat = max(1, _ceil_div(others, per))
    while True:
        total_fat = n_fat + extra_fat_sectors
        n_difat = max(0, _ceil_div(total_fat - HEADER_DIFAT_ENTRIES, per - 1))
        if total_fat * per >= others + total_fat + n_difat:
            break
        n_fat += 1
    counts["fat"] = total_fat
    counts["difat"] = n_difat
    sector_count = sum(counts.values())

    # Sector numbers, part by part.
    parts = {}
    nxt = 0
    for part in order:
        parts[part] = list(range(nxt, nxt + counts[part]))
        nxt += counts[part]
    stream_chains = []
    pos = 0
    for n in regular_sizes:
        stream_chains.append(parts["streams"][pos:pos + n])
        pos += n

    # FAT.
    fat = [FREESECT] * (total_fat * per)
    for s in parts["fat"]:
        fat[s] = FATSECT
    for s in parts["difat"]:
        fat[s] = DIFSECT

    def link(chain, table):
        for a, b in zip(chain, chain[1:]):
            table[a] = b
        if chain:
            table[chain[-1]] = ENDOFCHAIN

    for part in ("directory", "minifat", "ministream"):
        link(parts[part], fat)
    for chain in stream_chains:
        link(chain, fat)

    # MiniFAT.
    minifat = [FREESECT] * (n_minifat * per)
    for chain in mini_chains:
        if chain:
            link(chain, minifat)

    # Directory.
    names = {0: root_name}
    for i, (name, data, opts) in enumerate(streams, 1):
        names[i] = name
    tree_root, links = _balanced_tree(list(range(1, entry_count)), names)
    directory = bytearray(n_dir * ss)
    for i in range(entry_count, n_dir * ss // DIR_ENTRY_SIZE):
        _pack_entry(directory, i * DIR_ENTRY_SIZE, b"", 0, TYPE_EMPTY, RED,
                    NOSTREAM, NOSTREAM, NOSTREAM, 0, 0)
    raw_root = _encode_entry_name(root_name)
    _pack_entry(directory, 0, raw_root, len(raw_root), TYPE_ROOT, BLACK, NOSTREAM, NOSTREAM,
                tree_root, _first(parts["ministream"]), ministream_size)
    layouts = []
    for i, (name, data, opts) in enumerate(streams, 1):
        raw = _encode_entry_name(name)
        mini = in_mini[i - 1]
        chain = mini_chains[i - 1] if mini else stream_chains[i - 1]
        start = _first(chain)
        left, right, color = links[i]
        _pack_entry(directory, i * DIR_ENTRY_SIZE, raw, len(raw),
                    opts.get("object_type", TYPE_STREAM), color, left, right, NOSTREAM,
                    start, len(data))
        layouts.append(StreamLayout(name, i, len(data), mini, start, list(chain)))

    # The file.
    buf = bytearray(ss * (sector_count + 1))
    header = bytearray(512)
    struct.pack_into(
        "<8s16sHHHHH6sIIIIIIIII", header, 0, SIGNATURE, bytes(16), 0x3E, major_version, 0xFFFE,
        shift, 6, bytes(6), n_dir if major_version == 4 else 0, total_fat,
        _first(parts["directory"]), 0, mini_cutoff, _first(parts["minifat"]), n_minifat,
        _first(parts["difat"]), n_difat)
    difat = list(parts["fat"]) + [FREESECT] * (
        HEADER_DIFAT_ENTRIES + n_difat * (per - 1) - total_fat)
    struct.pack_into("<109I", header, HEADER_DIFAT_OFFSET, *difat[:HEADER_DIFAT_ENTRIES])
    buf[0:512] = header

    def put(sectors, payload):
        payload = bytes(payload)
        for k, s in enumerate(sectors):
            chunk = payload[k * ss:(k + 1) * ss]
            off = (s + 1) * ss
            buf[off:off + len(chunk)] = chunk

    put(parts["fat"], struct.pack("<%dI" % len(fat), *fat))
    for k, s in enumerate(parts["difat"]):
        begin = HEADER_DIFAT_ENTRIES + k * (per - 1)
        entries = difat[begin:begin + per - 1]
        nxt_difat = parts["difat"][k + 1] if k + 1 < n_difat else ENDOFCHAIN
        put([s], struct.pack("<%dI" % per, *(entries + [nxt_difat])))
    put(parts["directory"], directory)
    put(parts["minifat"], struct.pack("<%dI" % len(minifat), *minifat))
    if pad_sectors:
        fill = (PADDING_FILL * _ceil_div(ss, len(PADDING_FILL)))[:ss]
        first = (parts["padding"][0] + 1) * ss
        buf[first:first + pad_sectors * ss] = fill * pad_sectors
    ministream = bytearray(n_ministream * ss)
    for (name, data, opts), mini, chain in zip(streams, in_mini, mini_chains):
        if mini and chain:
            off = chain[0] * MINI_SECTOR_SIZE
            ministream[off:off + len(data)] = data
    put(parts["ministream"], ministream)
    for (name, data, opts), mini, chain in zip(streams, in_mini, stream_chains):
        if not mini:
            put(chain, data)

    layout = CfbLayout(
        major_version=major_version,
        sector_size=ss,
        mini_cutoff=mini_cutoff,
        fat_sectors=parts["fat"],
        difat_sectors=parts["difat"],
        directory_sectors=parts["directory"],
        minifat_sectors=parts["minifat"],
        ministream_sectors=parts["ministream"],
        padding_sectors=parts["padding"],
        streams=layouts,
        ministream_size=ministream_size,
        entry_count=entry_count,
        sector_count=sector_count,
        file_size=len(buf),
    )
    return bytes(buf), layout


def build_cfb(streams, **options):
    """Writes a compound file holding ``streams``; returns its bytes (see build_cfb_layout)."""
    return build_cfb_layout(streams, **options)[0]


def _pack_entry(buf, off, raw_name, name_length, object_type, color, left, right, child,
                start, size):
    struct.pack_into("<64sHBBIII16sIQQIQ", buf, off, raw_name, name_length, object_type, color,
                     left, right, child, bytes(16), 0, 0, 0, start, size)


def build_orv_layout(contents, *, before=(), after=(), name="Contents", **cfb_options):
    """Container with ``contents`` as stream ``name``, after the streams ``before`` (so entry 1
    when there are none) and before the streams ``after``; returns (bytes, CfbLayout)."""
    streams = list(before) + [(name, contents)] + list(after)
    return build_cfb_layout(streams, **cfb_options)


def build_orv(contents, **options):
    """Bytes of an .orv file holding ``contents`` as its "Contents" stream (entry 1)."""
    return build_orv_layout(contents, **options)[0]


# ----------------------------------------------------------------------------------------------
# Damage helpers: each takes the file (or stream) bytes and returns patched bytes.
# ----------------------------------------------------------------------------------------------

def truncate(data, size):
    """The first ``size`` bytes (a negative size drops that many from the end)."""
    return bytes(data[:size])


def set_bytes(data, offset, raw):
    out = bytearray(data)
    if offset + len(raw) > len(out):
        raise ValueError("patch beyond the end of the data")
    out[offset:offset + len(raw)] = raw
    return bytes(out)


def set_u8(data, offset, value):
    return set_bytes(data, offset, struct.pack("<B", value))


def set_u16(data, offset, value):
    return set_bytes(data, offset, struct.pack("<H", value))


def set_u32(data, offset, value):
    return set_bytes(data, offset, struct.pack("<I", value))


def set_u64(data, offset, value):
    return set_bytes(data, offset, struct.pack("<Q", value))


def set_f64(data, offset, value):
    return set_bytes(data, offset, struct.pack("<d", value))


def _pack_field(fmt, value):
    if fmt.endswith("s"):
        n = int(fmt[:-1])
        value = bytes(value)
        if len(value) != n:
            raise ValueError("field needs %d bytes" % n)
        return value
    return struct.pack(fmt, value)


def set_header_field(data, name, value):
    """Patches a header field by name (see HEADER_FIELDS)."""
    off, fmt = HEADER_FIELDS[name]
    return set_bytes(data, off, _pack_field(fmt, value))


def get_header_field(data, name):
    off, fmt = HEADER_FIELDS[name]
    return struct.unpack_from(fmt, data, off)[0]


def set_major_version(data, version):
    """Only the major version field; the sector shift stays as it was."""
    return set_header_field(data, "major_version", version)


def set_sector_shift(data, shift):
    """Only the sector shift field; the major version stays as it was."""
    return set_header_field(data, "sector_shift", shift)


def set_mini_cutoff(data, cutoff):
    return set_header_field(data, "mini_stream_cutoff", cutoff)


def set_fat_entry(data, layout, sector, value):
    """Makes the FAT say that ``sector`` is followed by ``value`` (a sector number or one of
    MAXREGSECT..FREESECT)."""
    return set_u32(data, layout.fat_entry_offset(sector), value)


def set_minifat_entry(data, layout, mini_sector, value):
    return set_u32(data, layout.minifat_entry_offset(mini_sector), value)


def set_difat_entry(data, layout, index, value):
    return set_u32(data, layout.difat_entry_offset(index), value)


def set_entry_field(data, layout, entry_id, name, value):
    """Patches one field of a directory entry by name (see ENTRY_FIELDS)."""
    off, fmt = ENTRY_FIELDS[name]
    return set_bytes(data, layout.entry_offset(entry_id) + off, _pack_field(fmt, value))


def set_entry_name(data, layout, entry_id, name, name_length=None):
    """Writes a new name (str: UTF-16LE plus terminator; bytes: as they are, at most 64) and its
    length field (default: the encoded length, terminator included). The tree is left alone."""
    raw = name.encode("utf-16-le") + b"\0\0" if isinstance(name, str) else bytes(name)
    if len(raw) > 64:
        raise ValueError("a directory entry name holds at most 64 bytes")
    if name_length is None:
        name_length = len(raw)
    data = set_entry_field(data, layout, entry_id, "name", raw.ljust(64, b"\0"))
    return set_entry_field(data, layout, entry_id, "name_length", name_length)


def set_entry_size(data, layout, entry_id, size):
    return set_entry_field(data, layout, entry_id, "size", size)


def set_entry_start(data, layout, entry_id, sector):
    return set_entry_field(data, layout, entry_id, "start", sector)


def set_entry_type(data, layout, entry_id, object_type):
    return set_entry_field(data, layout, entry_id, "object_type", object_type)


def set_entry_links(data, layout, entry_id, left=None, right=None, child=None):
    for name, value in (("left", left), ("right", right), ("child", child)):
        if value is not None:
            data = set_entry_field(data, layout, entry_id, name, value)
    return data


def patch_stream(data, layout, key, pos, raw):
    """Overwrites bytes pos.. of a stream (entry id or name) inside the file, following its
    chain."""
    out = bytearray(data)
    for i, b in enumerate(bytes(raw)):
        out[layout.stream_offset(key, pos + i)] = b
    return bytes(out)


# ----------------------------------------------------------------------------------------------
# The "Contents" stream
# ----------------------------------------------------------------------------------------------

GUID = bytes.fromhex("4ED0DF7188CB024588EBD943A3091A1A")

QUIET_NAN = 0x7FF8000000000000
SIGNALLING_NAN = 0x7FF0000000000001
NEGATIVE_NAN = 0xFFF8000000000000

X_TYPE_TEXT = {
    0: "Wavelength / nm",
    1: "Time / s",
    2: "Time / ms",
    3: "Arbitrary units",
    4: "Wavelength / \u00b5m",
}

WHITESPACE = "\t\n\v\f\r "


class LongString:
    """A string field written in the long form (FF, u16 length) even when shorter than 255."""

    def __init__(self, value):
        self.value = value

    def __repr__(self):
        return "LongString(%r)" % (self.value,)


def encode_string(value, long_form=False):
    """Length-prefixed Latin-1 string: one length byte below 255, else FF and a u16 length."""
    if isinstance(value, LongString):
        return encode_string(value.value, True)
    raw = value.encode("latin-1") if isinstance(value, str) else bytes(value)
    if len(raw) > 0xFFFF:
        raise ValueError("string longer than 65535 bytes")
    if len(raw) < 255 and not long_form:
        return bytes([len(raw)]) + raw
    return b"\xff" + struct.pack("<H", len(raw)) + raw


def junk(n, tag=0):
    """n non-zero filler bytes; ``tag`` varies the pattern between fields."""
    return bytes(((i * 37 + tag * 101 + 11) % 255) + 1 for i in range(n))


def string_text(value):
    """The text a reader gets from a string field value."""
    if isinstance(value, LongString):
        value = value.value
    if isinstance(value, (bytes, bytearray)):
        return bytes(value).decode("latin-1")
    return value


@dataclass
class DataSet:
    name: object = "Lens A"
    points: list = field(default_factory=list)  # (x, y) pairs, written in this order
    no_of_points: Optional[int] = None  # header count; default len(points)
    timestamps: Optional[list] = None  # 16-byte records for T3; default filler


@dataclass
class ListEntry:
    marker: int = 1
    title: object = "Detector"
    groups: list = field(default_factory=list)  # list of lists of item strings


def _default_datasets():
    wl = [380.0, 400.0, 450.0, 500.0, 550.0, 600.0, 650.0, 700.0, 780.0]
    a = [0.2, 3.5, 41.0, 78.5, 88.25, 89.0, 89.5, 90.0, 90.25]
    b = [0.1, 1.0, 12.5, 35.0, 47.75, 50.5, 52.0, 53.5, 55.0]
    return [
        DataSet("Lens A", list(zip(wl, a))),
        DataSet("Lens B", list(zip(wl, b))),
    ]


def _default_list_entries():
    return [ListEntry(1, "Detector", [["Si photodiode"], ["Gain x10", "Gain x100"]])]


@dataclass
class Contents:
    """Everything written into a "Contents" stream. Defaults: a lens transmittance measurement.

    String fields take str (Latin-1), bytes, or LongString. Flags and codes are u32 values.
    """

    # Head
    prefix: bytes = b""
    guid: bytes = GUID
    stream_size: Optional[int] = None  # H2; default the real length
    file_version: int = 4  # H3
    timestamps: int = 0  # H5, written when file_version >= 3
    # Graph block
    gv_version: int = 4
    g1_value: float = 1.5  # the finite G1 of gv_version 1
    g1_nan: int = QUIET_NAN  # bit pattern of the G1 NaN otherwise
    g3_flag: int = 2  # gv_version >= 4 only
    g5: object = "skipped G5"
    g7: object = "skipped G7"
    g9: object = "skipped G9"
    g11: object = "skipped G11"
    x_axis_title: object = "Wavelength (nm)"
    y_axis_title: object = "Transmittance (%)"
    g17_records: int = 1
    g18: object = "skipped G18"
    # Data sets
    d1: object = "skipped D1"
    dataset_count: Optional[int] = None  # D2; default len(datasets)
    datasets: list = field(default_factory=_default_datasets)
    # List block (gv_version >= 2): ListEntry or (marker, groups[, title]) tuples
    list_entries: list = field(default_factory=_default_list_entries)
    # Extra tables (gv_version >= 3)
    t1_records: int = 1
    t2_records: int = 1
    # Information block
    date_and_time: object = "2026-03-14 10:22:05"
    scan_summary: object = "380-780 nm, 9 points, 2 lenses"
    apply_data_calibration: int = 0
    data_calibration_file: object = ""
    certificate_file: object = "lab-cert-2025.cer"
    system_file: object = "photometer-1.sys"
    pre_scan_addon_description: object = "Warm-up check"
    post_scan_addon_description: object = ""
    pre_scan_addon_filename: object = "warmup.dll"
    post_scan_addon_filename: object = ""
    type_and_units: object = "Transmittance / %"
    type_and_units_codes: object = "1 2"
    auxiliary_type_and_units: object = "Absorbance / AU"
    auxiliary_type_and_units_codes: object = ""
    apply_reference: int = 1
    reference_type: object = "Air"
    reference_file: object = "air-baseline.orv"
    reference_parameter: object = "100 %"
    x_type: int = 0
    trailing: bytes = b""


def _list_entry(entry):
    if isinstance(entry, ListEntry):
        return entry
    if len(entry) == 2:
        return ListEntry(entry[0], "List entry", entry[1])
    return ListEntry(entry[0], entry[2], entry[1])


class _Writer:
    def __init__(self):
        self.buf = bytearray()
        self.offsets = {}
        self._tag = 0

    def mark(self, name):
        self.offsets[name] = len(self.buf)

    def raw(self, name, data):
        self.mark(name)
        self.buf += bytes(data)

    def u32(self, name, value):
        self.raw(name, struct.pack("<I", value))

    def f64(self, name, value):
        self.raw(name, struct.pack("<d", value))

    def f64_bits(self, name, bits):
        self.raw(name, struct.pack("<Q", bits))

    def skip(self, name, n):
        self._tag += 1
        self.raw(name, junk(n, self._tag))

    def string(self, name, value):
        self.raw(name, encode_string(value))


def _desc(desc, overrides):
    if desc is None:
        return Contents(**overrides)
    return dataclasses.replace(desc, **overrides) if overrides else desc


def contents_offsets(desc=None, **overrides):
    """Writes the stream; returns (bytes, offsets), offsets mapping field names to the offset
    where each field starts (and "end" to the length).

    Names: prefix, guid, H2..H6; G (block), G1, G1.version, G1.skip, G2, G3, G3.flag,
    G3.skip44, G4..G16, G17, G17[i], G18, G18.string, G18.skip80; D (block), D1, D2, D3, D4,
    D4[i], D4[i].skip, D4[i].name, D5, D5[i], D5[i][j]; L (block), L1, L1[i] (marker),
    L1[i].skip8, L1[i].skip88, L1[i].title, L1[i].groups, L1[i].groups[g] (item count),
    L1[i].groups[g][k] (its skip 4), L1[i].groups[g][k].string; T (block), T1, T1[i], T2,
    T2[i], T3, T3[i], T3[i][j]; I (block), I1..I18, I11.codes, I12.codes; X; trailing; end.
    Fields absent from the layout are absent from the dict.
    """
    d = _desc(desc, overrides)
    w = _Writer()
    w.raw("prefix", d.prefix)
    w.raw("guid", d.guid)
    w.u32("H2", 0)
    w.u32("H3", d.file_version)
    w.skip("H4", 4)
    if d.file_version >= 3:
        w.u32("H5", d.timestamps)
    if d.file_version >= 4:
        w.skip("H6", 4)

    w.mark("G")
    if d.gv_version == 1:
        w.f64("G1", d.g1_value)
    else:
        w.f64_bits("G1", d.g1_nan)
        w.u32("G1.version", d.gv_version)
        w.skip("G1.skip", 8)
    w.skip("G2", 24)
    if d.gv_version >= 4:
        w.skip("G3", 8)
        w.u32("G3.flag", d.g3_flag)
        if d.g3_flag in (0, 1):
            w.skip("G3.skip44", 44)
    else:
        w.skip("G3", 4)
    w.skip("G4", 8)
    w.string("G5", d.g5)
    w.skip("G6", 60)
    w.string("G7", d.g7)
    w.skip("G8", 16)
    w.string("G9", d.g9)
    w.skip("G10", 8)
    w.string("G11", d.g11)
    w.skip("G12", 16)
    w.string("G13", d.x_axis_title)
    w.skip("G14", 4)
    w.string("G15", d.y_axis_title)
    w.skip("G16", 68)
    w.u32("G17", d.g17_records)
    for i in range(d.g17_records):
        w.skip("G17[%d]" % i, 40)
    if d.gv_version >= 3:
        w.skip("G18", 20)
        w.string("G18.string", d.g18)
        w.skip("G18.skip80", 80)

    w.mark("D")
    w.string("D1", d.d1)
    count = len(d.datasets) if d.dataset_count is None else d.dataset_count
    w.u32("D2", count)
    w.skip("D3", 60)
    w.mark("D4")
    for i, ds in enumerate(d.datasets):
        n = len(ds.points) if ds.no_of_points is None else ds.no_of_points
        w.u32("D4[%d]" % i, n)
        w.skip("D4[%d].skip" % i, 4)
        w.string("D4[%d].name" % i, ds.name)
    w.mark("D5")
    for i, ds in enumerate(d.datasets):
        w.mark("D5[%d]" % i)
        for j, (x, y) in enumerate(ds.points):
            w.raw("D5[%d][%d]" % (i, j), struct.pack("<dd", x, y))

    if d.gv_version >= 2:
        w.mark("L")
        entries = [_list_entry(e) for e in d.list_entries]
        w.u32("L1", len(entries))
        for i, e in enumerate(entries):
            p = "L1[%d]" % i
            w.u32(p, e.marker)
            if e.marker == 999:
                w.skip(p + ".skip8", 8)
            w.skip(p + ".skip88", 88)
            w.string(p + ".title", e.title)
            w.u32(p + ".groups", len(e.groups))
            for g, items in enumerate(e.groups):
                q = "%s.groups[%d]" % (p, g)
                w.u32(q, len(items))
                for k, item in enumerate(items):
                    w.skip("%s[%d]" % (q, k), 4)
                    w.string("%s[%d].string" % (q, k), item)

    if d.gv_version >= 3:
        w.mark("T")
        w.u32("T1", d.t1_records)
        for i in range(d.t1_records):
            w.skip("T1[%d]" % i, 60)
        w.u32("T2", d.t2_records)
        for i in range(d.t2_records):
            w.skip("T2[%d]" % i, 108)
        if d.file_version >= 3 and d.timestamps:
            w.mark("T3")
            for i, ds in enumerate(d.datasets):
                w.mark("T3[%d]" % i)
                for j in range(len(ds.points)):
                    name = "T3[%d][%d]" % (i, j)
                    if ds.timestamps is not None:
                        rec = bytes(ds.timestamps[j])
                        if len(rec) != 16:
                            raise ValueError("timestamp records are 16 bytes")
                        w.raw(name, rec)
                    else:
                        w.skip(name, 16)

    w.mark("I")
    w.string("I1", d.date_and_time)
    w.string("I2", d.scan_summary)
    w.u32("I3", d.apply_data_calibration)
    w.string("I4", d.data_calibration_file)
    w.string("I5", d.certificate_file)
    w.string("I6", d.system_file)
    w.string("I7", d.pre_scan_addon_description)
    w.string("I8", d.post_scan_addon_description)
    w.string("I9", d.pre_scan_addon_filename)
    w.string("I10", d.post_scan_addon_filename)
    w.string("I11", d.type_and_units)
    w.string("I11.codes", d.type_and_units_codes)
    w.string("I12", d.auxiliary_type_and_units)
    w.string("I12.codes", d.auxiliary_type_and_units_codes)
    w.u32("I13", d.apply_reference)
    w.string("I14", d.reference_type)
    w.string("I15", d.reference_file)
    w.string("I16", d.reference_parameter)
    w.skip("I17", 36)
    w.skip("I18", 4 * len(d.datasets))
    w.u32("X", d.x_type)
    w.raw("trailing", d.trailing)
    w.mark("end")

    size = len(w.buf) if d.stream_size is None else d.stream_size
    struct.pack_into("<I", w.buf, w.offsets["H2"], size)
    return bytes(w.buf), w.offsets


def build_contents(desc=None, **overrides):
    """The "Contents" stream bytes for ``desc`` (a Contents; keyword arguments replace its
    fields, or describe a new one)."""
    return contents_offsets(desc, **overrides)[0]


def offset_of(field_name, desc=None, **overrides):
    """Offset where ``field_name`` starts in the stream (see contents_offsets for names)."""
    offsets = contents_offsets(desc, **overrides)[1]
    if field_name not in offsets:
        raise KeyError("%s is not written for this description" % field_name)
    return offsets[field_name]


def cut_contents(field_name, into=1, desc=None, fix_size=True, **overrides):
    """The stream cut ``into`` bytes after the start of ``field_name`` (so it ends inside that
    field when into < its size). With fix_size, H2 states the cut length when H2 survives."""
    data, offsets = contents_offsets(desc, **overrides)
    if field_name not in offsets:
        raise KeyError("%s is not written for this description" % field_name)
    cut = offsets[field_name] + into
    if cut > len(data):
        raise ValueError("cut beyond the end of the stream")
    data = data[:cut]
    h2 = offsets["H2"]
    if fix_size and h2 + 4 <= len(data):
        data = set_u32(data, h2, len(data))
    return data


# ----------------------------------------------------------------------------------------------
# What a reader must make of a description
# ----------------------------------------------------------------------------------------------

def split_type_and_units(text):
    """(type, units): the text before the first " / " and the rest with trailing whitespace
    removed; without the separator, (the whole text, "")."""
    i = text.find(" / ")
    if i < 0:
        return text, ""
    return text[:i], text[i + 3:].rstrip(WHITESPACE)


_CODE = re.compile(r"[+-]?[0-9]+")
_INT_MIN, _INT_MAX = -(2**31), 2**31 - 1


def split_codes(text):
    """(type code, units code) as formatted integer input reads them from the codes text.

    Each read skips white space; when nothing is left it does not happen and the code stays -1.
    A read that finds no integer stores 0, one that overflows stores the limit, and either stops
    the reading. An empty text gives (-1, -1).
    """
    codes = [-1, -1]
    pos = 0
    for k in range(2):
        while pos < len(text) and text[pos] in WHITESPACE:
            pos += 1
        if pos == len(text):
            break
        m = _CODE.match(text, pos)
        if not m:
            codes[k] = 0
            break
        value = int(m.group())
        if not _INT_MIN <= value <= _INT_MAX:
            codes[k] = _INT_MAX if value > 0 else _INT_MIN
            break
        codes[k] = value
        pos = m.end()
    return tuple(codes)


def expected_values(desc=None, **overrides):
    """The plain facts a correct reader produces from the description, as a JSON-ready dict."""
    d = _desc(desc, overrides)
    t = string_text
    kind, units = split_type_and_units(t(d.type_and_units))
    kind_code, units_code = split_codes(t(d.type_and_units_codes))
    aux_kind, aux_units = split_type_and_units(t(d.auxiliary_type_and_units))
    aux_kind_code, aux_units_code = split_codes(t(d.auxiliary_type_and_units_codes))
    datasets = []
    for ds in d.datasets:
        datasets.append({
            "name": t(ds.name),
            "no_of_points": len(ds.points) if ds.no_of_points is None else ds.no_of_points,
            "points": [[float(x), float(y)] for x, y in ds.points],
        })
    return {
        "file_version": d.file_version,
        "has_timestamps": d.file_version >= 3 and d.timestamps != 0,
        "gv_version": d.gv_version,
        "x_axis_title": t(d.x_axis_title),
        "y_axis_title": t(d.y_axis_title),
        "datasets": datasets,
        "date_and_time": t(d.date_and_time),
        "scan_summary": t(d.scan_summary),
        "apply_data_calibration": d.apply_data_calibration != 0,
        "data_calibration_file": t(d.data_calibration_file),
        "certificate_file": t(d.certificate_file),
        "system_file": t(d.system_file),
        "pre_scan_addon_description": t(d.pre_scan_addon_description),
        "post_scan_addon_description": t(d.post_scan_addon_description),
        "pre_scan_addon_filename": t(d.pre_scan_addon_filename),
        "post_scan_addon_filename": t(d.post_scan_addon_filename),
        "type_and_units": t(d.type_and_units),
        "type": kind,
        "units": units,
        "type_code": kind_code,
        "units_code": units_code,
        "auxiliary_type_and_units": t(d.auxiliary_type_and_units),
        "auxiliary_type": aux_kind,
        "auxiliary_units": aux_units,
        "auxiliary_type_code": aux_kind_code,
        "auxiliary_units_code": aux_units_code,
        "apply_reference": d.apply_reference != 0,
        "reference_type": t(d.reference_type),
        "reference_file": t(d.reference_file),
        "reference_parameter": t(d.reference_parameter),
        "x_type": d.x_type,
        "x_type_text": X_TYPE_TEXT.get(d.x_type, ""),
    }


def is_finite_double(raw):
    """Whether 8 little-endian bytes hold a finite double."""
    return math.isfinite(struct.unpack("<d", raw)[0])
