#!/usr/bin/env python3
"""Cuts the small sample models of the tests out of the NOAA ETOPO grids.

Usage: make_samples.py DATA_DIR OUT_DIR
DATA_DIR holds etopo20.asc, etopo20_m4.raw and etopo60land_m2.raw.
The crops keep the original text of every ASCII value and the original bytes of
every raw sample.
"""
import struct
import sys
from pathlib import Path

ROWS20, COLS20 = 540, 1081
ROWS60, COLS60 = 180, 360


def crop_ascii(src: Path, dst: Path, r0: int, c0: int, nr: int, nc: int) -> None:
    tokens = src.read_text().split()
    header, body = tokens[:12], tokens[12:]
    assert len(body) == ROWS20 * COLS20
    out = [f"ncols         {nc}", f"nrows         {nr}",
           f"xllcorner     {header[5]}", f"yllcorner     {header[7]}",
           f"cellsize      {header[9]}", f"NODATA_value  {header[11]}"]
    for r in range(r0, r0 + nr):
        out.append(" ".join(body[r * COLS20 + c0: r * COLS20 + c0 + nc]))
    dst.write_text("\n".join(out) + "\n")


def crop_raw(src: Path, dst: Path, width: int, cols: int, r0: int, c0: int, nr: int, nc: int, pix: int) -> None:
    data = src.read_bytes()
    rows = [data[(r * cols + c0) * width:(r * cols + c0 + nc) * width] for r in range(r0, r0 + nr)]
    dst.write_bytes(b"".join(rows))
    fmt = "<%d%s" % (nr * nc, "i" if width == 4 else "H")
    values = struct.unpack(fmt, b"".join(rows))
    descr = dst.with_suffix(".txt")
    descr.write_text(f"{nr}\n{nc}\n{width}\n{min(values)}\n{max(values)}\n{pix}\n")


def main() -> None:
    data, out = Path(sys.argv[1]), Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    crop_ascii(data / "etopo20.asc", out / "himalaya.asc", 150, 120, 120, 160)
    crop_raw(data / "etopo20_m4.raw", out / "himalaya_m4.raw", 4, COLS20, 150, 120, 120, 160, 37000)
    crop_raw(data / "etopo60land_m2.raw", out / "land_m2.raw", 2, COLS60, 40, 40, 60, 90, 111000)


if __name__ == "__main__":
    main()
