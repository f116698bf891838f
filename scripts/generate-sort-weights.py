#!/usr/bin/env python3
"""Writes engines/jet/format/sort_weights.inc: the character weights of the
two "General" sort orders the Access engine computes index keys in.

Input: the weight tables the Access format libraries publish (Jackcess,
src/main/resources/.../index_codes_*.txt), one line per character:
  X            weighs nothing
  S<hex>       primary weight only
  G<hex>       primary weight; holds a place among the accent marks (Jet 3)
  I<hex>,<hex> primary weight and secondary bytes
  U<hex>       no primary weight: listed after the text with its position
  P<hex>       no primary weight: added to the secondary byte before it
  Z<hex>,<hex>,<1|> primary weight, a secondary byte or none, a two-bit flag
A hex field of odd length lost its leading zero. The Jet 4 tables are one
file for U+0000-U+00FF and one for U+0100-U+FFFF without the surrogates,
whose weights follow a rule (SurrogateRuns below). The General order of
Access 2010 and later (version 1) has tables of the same form, the
surrogates under the same rule.

Usage:
  scripts/generate-sort-weights.py GEN97 LEGACY LEGACY_EXT GEN2010 GEN2010_EXT \
      > engines/jet/format/sort_weights.inc
"""

import sys

SURROGATE_SECONDARY = 0x3F


def hex_bytes(field):
    if field == "":
        return b""
    if len(field) % 2:
        field = "0" + field
    return bytes.fromhex(field)


def parse_line(line):
    """(kind, primary bytes, secondary bytes, flag) of one table line."""
    letter, fields = line[0], line[1:].split(",") if len(line) > 1 else []
    if letter == "X":
        return ("kIgnored", b"", b"", 0)
    if letter == "S":
        return ("kPrimary", hex_bytes(fields[0]), b"", 0)
    if letter == "G":
        return ("kSignificant", hex_bytes(fields[0]), b"", 0)
    if letter == "I":
        return ("kSecondary", hex_bytes(fields[0]), hex_bytes(fields[1]), 0)
    if letter == "U":
        return ("kPositional", b"", hex_bytes(fields[0]), 0)
    if letter == "P":
        return ("kModifier", b"", hex_bytes(fields[0]), 0)
    if letter == "Z":
        return ("kFlagged", hex_bytes(fields[0]), hex_bytes(fields[1]), 2 if fields[2] == "1" else 3)
    raise ValueError("unknown line " + line)


def read_lines(path, count):
    with open(path, encoding="ascii") as f:
        lines = [line.rstrip("\r\n") for line in f]
    lines = [line for line in lines if line]
    if len(lines) != count:
        raise ValueError(f"{path}: {len(lines)} lines, expected {count}")
    return lines


def general97(path):
    rows = []
    for byte, line in enumerate(read_lines(path, 256)):
        kind, primary, secondary, _ = parse_line(line)
        if kind not in ("kIgnored", "kPrimary", "kSignificant", "kSecondary") or len(primary) > 2:
            raise ValueError(f"Jet 3 byte {byte:#x}: unexpected {line}")
        if kind == "kSecondary" and (len(secondary) != 1 or secondary[0] > 0xF):
            raise ValueError(f"Jet 3 byte {byte:#x}: accent is not one nibble: {line}")
        rows.append((kind, primary, secondary[0] if secondary else 0))
    return rows


def surrogate_entries():
    """High surrogates weigh unit - 10238; a low surrogate's offset depends on
    where it stands in its block of 1,024: 9992 for the first 8, then 9990,
    9988, 9986 for each next 254, 9984 for the rest. Each has secondary 3F."""
    entries = {}
    for unit in range(0xD800, 0xDC00):
        entries[unit] = ("kSecondary", (unit - 10238).to_bytes(2, "big"), bytes([SURROGATE_SECONDARY]), 0)
    for unit in range(0xDC00, 0xE000):
        place = (unit - 0xDC00) % 1024
        offset = 9992 if place < 8 else 9990 - 2 * min((place - 8) // 254, 3)
        entries[unit] = ("kSecondary", (unit - offset).to_bytes(2, "big"), bytes([SURROGATE_SECONDARY]), 0)
    return entries


def general_legacy(basic_path, ext_path, unknown_allowed=False):
    entries = {}
    for unit, line in enumerate(read_lines(basic_path, 256)):
        entries[unit] = parse_line(line)
    ext_units = [u for u in range(0x100, 0x10000) if not 0xD800 <= u <= 0xDFFF]
    for unit, line in zip(ext_units, read_lines(ext_path, len(ext_units))):
        entries[unit] = parse_line(line)
    entries.update(surrogate_entries())
    for unit, (kind, primary, secondary, _) in entries.items():
        if len(primary) > 4 or len(secondary) > 2 or kind == "kSignificant":
            # The 2010 order gives a few characters (ligatures, CJK squares)
            # longer weights; the engine refuses their keys instead.
            if not unknown_allowed:
                raise ValueError(f"U+{unit:04X}: does not fit the run layout")
            entries[unit] = ("kUnknown", b"", b"", 0)
    return entries


def runs(entries):
    """Runs of consecutive units whose primary weight grows by one from unit
    to unit (same length) and whose kind, secondary bytes and flag agree."""
    out = []
    for unit in range(0x10000):
        kind, primary, secondary, flag = entries[unit]
        value = int.from_bytes(primary, "big") if primary else 0
        if out:
            last = out[-1]
            same = (last["kind"], last["length"], last["secondary"], last["flag"]) == (kind, len(primary), secondary, flag)
            grows = value == last["primary"] + (unit - last["first"]) if primary else True
            if same and grows and last["last"] == unit - 1:
                last["last"] = unit
                continue
        out.append({"first": unit, "last": unit, "kind": kind, "length": len(primary), "primary": value,
                    "secondary": secondary, "flag": flag})
    return out


def emit_runs(name, title, runs_of):
    w = sys.stdout.write
    w(f"// {title}: every UTF-16 unit, in runs.\n")
    w(f"inline constexpr std::array<LegacyRun, {len(runs_of)}> {name} = {{{{\n")
    for r in runs_of:
        sec = int.from_bytes(r["secondary"], "big") if r["secondary"] else 0
        w(f"    {{0x{r['first']:04X}, 0x{r['last']:04X}, {r['kind']}, {r['length']}, "
          f"0x{r['primary']:X}, {len(r['secondary'])}, 0x{sec:X}, {r['flag']}}},\n")
    w("}};\n")


def emit(g97, legacy_runs, general2010_runs):
    w = sys.stdout.write
    w("// Generated by scripts/generate-sort-weights.py from the published weight\n"
      "// tables of the General sort orders; do not edit by hand.\n\n")
    w("// Jet 3, General (0x0409) over code page 1252: one entry per byte.\n")
    w("inline constexpr std::array<General97Weight, 256> kGeneral97Weights = {{\n")
    for byte, (kind, primary, accent) in enumerate(g97):
        padded = primary + b"\0" * (2 - len(primary))
        w(f"    {{{kind}, {len(primary)}, {{0x{padded[0]:02X}, 0x{padded[1]:02X}}}, {accent}}},  // {byte:#04x}\n")
    w("}};\n\n")
    emit_runs("kGeneralLegacyRuns", "Jet 4, General legacy (0x0409, version 0)", legacy_runs)
    w("\n")
    emit_runs("kGeneral2010Runs", "ACE, General (0x0409, version 1)", general2010_runs)


def main(argv):
    if len(argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    emit(general97(argv[1]), runs(general_legacy(argv[2], argv[3])), runs(general_legacy(argv[4], argv[5], True)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
