#!/usr/bin/env python3
"""Makes himalaya_gaps.asc: the himalaya.asc crop with cells without data.

Usage: make_gaps.py MODELS_DIR
Punches into the crop a block of 20 rows x 30 columns on a slope that several
levels cross (-1065 m to 891 m), a whole row, the first two columns of the
upper half (a gap on the border) and 300 single cells scattered over the whole
grid (borders included), all set to the grid's NODATA_value. Every other value
keeps its original text. The scattered cells come from a fixed linear
congruential sequence, so the file is the same on every machine.
"""
import sys
from pathlib import Path

BLOCK_ROWS, BLOCK_COLS = range(40, 60), range(60, 90)
GAP_ROW = 90
BORDER_ROWS, BORDER_COLS = range(0, 60), range(0, 2)
SCATTERED = 300


def scattered_cells(rows: int, cols: int):
    state = 12345
    cells = set()
    while len(cells) < SCATTERED:
        state = (state * 1103515245 + 12345) % 2**31
        cells.add((state >> 8) % (rows * cols))
    return {divmod(cell, cols) for cell in cells}


def main() -> None:
    models = Path(sys.argv[1])
    tokens = (models / "himalaya.asc").read_text().split()
    header, body = tokens[:12], tokens[12:]
    cols, rows, nodata = int(header[1]), int(header[3]), header[11]
    assert len(body) == rows * cols
    gaps = scattered_cells(rows, cols) | {(r, c) for r in BLOCK_ROWS for c in BLOCK_COLS}
    gaps |= {(GAP_ROW, c) for c in range(cols)} | {(r, c) for r in BORDER_ROWS for c in BORDER_COLS}
    out = [f"{header[k]:<14}{header[k + 1]}" for k in range(0, 12, 2)]
    for r in range(rows):
        out.append(" ".join(nodata if (r, c) in gaps else body[r * cols + c] for c in range(cols)))
    (models / "himalaya_gaps.asc").write_text("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
