#!/usr/bin/env python3
"""Writes the shipped market list files (data/*.TXT) from the tables in tools/market-lists/.

Each record line is 63 bytes counted with its carriage return: company name (40), a blank,
symbol (7), volume (5), a blank, listed (8), CR, then LF. The volume and listed columns are
filled deterministically from the symbol so that the files come out the same on every run.
"""
import csv
import hashlib
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = ROOT / "tools" / "market-lists"
TARGET = ROOT / "data"

MARKETS = [
    # code, heading, kind of the listed column, minimum count
    ("NYSE", "NEW YORK STOCK EXCHANGE", "date", 300),
    ("AMEX", "AMERICAN STOCK EXCHANGE", "date", 100),
    ("NASDAQ", "NASDAQ STOCK MARKET", "date", 300),
    ("MUTUAL", "MUTUAL FUNDS", "fund", 100),
    ("CVE", "CANADIAN VENTURE EXCHANGE", "tier", 100),
    ("TSX", "TORONTO STOCK EXCHANGE", "date", 100),
    ("LSE", "LONDON STOCK EXCHANGE", "board", 100),
]

RECORD_BYTES = 63


def digest(*parts):
    return int.from_bytes(hashlib.sha1(":".join(parts).encode()).digest()[:8], "big")


def volume_for(code, symbol):
    # average daily volume in hundreds of shares, spread over four orders of magnitude
    h = digest("vol", code, symbol)
    magnitude = 1 + h % 5
    value = (h >> 8) % (10 ** magnitude)
    return str(max(1, value))[:5]


def listed_for(code, symbol, kind):
    h = digest("listed", code, symbol)
    if kind == "tier":
        return ("TIER 1", "TIER 2", "TIER 2", "NEX")[h % 4]
    if kind == "board":
        return ("MAIN MKT", "MAIN MKT", "MAIN MKT", "AIM")[h % 4]
    year = 1960 + h % 64 if kind == "date" else 1975 + h % 48
    month = 1 + (h >> 8) % 12
    day = 1 + (h >> 16) % 28
    return f"{month:02d}/{day:02d}/{year % 100:02d}"


def record(name, symbol, volume, listed):
    name_bytes = name.encode("cp1252")[:40]
    line = (name_bytes.ljust(40) + b" " + symbol.encode("cp1252").ljust(7) + volume.encode().rjust(5)
            + b" " + listed.encode().ljust(8)[:8] + b"\r")
    assert len(line) == RECORD_BYTES, (name, symbol, len(line))
    return line + b"\n"


def heading(title, count):
    lines = [
        b"",
        f"{title} - LISTED SECURITIES".encode(),
        f"{count} issues. Volume in hundreds of shares, average of the last 30 sessions.".encode(),
        b"",
        b"COMPANY NAME                             SYMBOL  VOLUME  LISTED",
        b"-" * 70,
    ]
    out = b""
    for text in lines:
        line = text + b"\r"
        assert len(line) != RECORD_BYTES, text  # a heading must never pass for a record
        out += line + b"\n"
    return out


def build(code, title, kind, minimum):
    rows = []
    seen = set()
    with open(SOURCE / f"{code}.csv", newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            symbol = row["symbol"].strip()
            name = row["name"].strip()
            if not symbol:
                continue
            if len(symbol) > 7 or any(c in symbol for c in "%&!"):
                sys.exit(f"{code}: symbol {symbol!r} does not fit the record")
            if symbol in seen:
                sys.exit(f"{code}: symbol {symbol} twice")
            seen.add(symbol)
            rows.append((name, symbol))
    if len(rows) < minimum:
        sys.exit(f"{code}: only {len(rows)} securities, want {minimum}")
    data = heading(title, len(rows))
    for name, symbol in rows:
        data += record(name, symbol, volume_for(code, symbol), listed_for(code, symbol, kind))
    return data, len(rows)


def main():
    TARGET.mkdir(exist_ok=True)
    for code, title, kind, minimum in MARKETS:
        data, count = build(code, title, kind, minimum)
        (TARGET / f"{code}.TXT").write_bytes(data)
        print(f"{code}.TXT: {count} records, {len(data)} bytes")


if __name__ == "__main__":
    main()
