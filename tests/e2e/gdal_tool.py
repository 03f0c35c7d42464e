#!/usr/bin/python3
"""Rasters made and examined with GDAL and Pillow for the command-line tests.

  gdal_tool.py tif MODEL.raw OUT.tif [EPSG X Y CELL [LINES COLUMNS]]
                                                the raw 32-bit model (descriptor
                                                beside it) as a georeferenced Int32 GeoTIFF:
                                                in EPSG:4326 from 80 E 30 N, cells of 0.25
                                                degree, or in that EPSG projection from X Y
                                                in cells of CELL; only its first LINES and
                                                COLUMNS when given
  gdal_tool.py gaps MODEL.raw OUT.tif           the same as signed 16-bit with every
                                                altitude lowered by 1000 m, a block and
                                                every 7th cell of row 3 set to the
                                                no-data value -32768; prints the
                                                range of the other cells and the gaps
  gdal_tool.py pixels IMAGE...                  prints "same" when every image has
                                                the same size and tones (Pillow)
  gdal_tool.py grid OUT.tif TYPE W H SCALE OFFSET NODATA VALUE...
                                                a W x H GeoTIFF of Int16 or Float32
                                                cells (row after row, "inf" allowed),
                                                with a scale and offset and a no-data
                                                value unless given as "-"
  gdal_tool.py vrt SOURCE OUT.vrt               a VRT over SOURCE
  gdal_tool.py ehdr SOURCE OUT.bil              SOURCE as an EHdr raster (.bil, .hdr)
  gdal_tool.py tiled OUT.tif W H                a W x H Int16 GeoTIFF of 100 m, tiled
                                                512 x 512, DEFLATE
  gdal_tool.py gis RESULT MODEL TABLE STYLE     what a GIS finds in a result: its no-data
                                                value, "georef same" when it lies where
                                                MODEL lies, "altitudes same" when its
                                                attribute table gives TABLE's altitude
                                                for every tone, the table's unit and
                                                whether every label is the row's altitude
                                                and unit, the labels of the QGIS STYLE
                                                that give those altitudes, its overviews,
                                                and whether each pixel of each is the
                                                smallest of the 2 x 2 pixels it covers in
                                                the level above; its bits, and whether every
                                                line pixel lies on its level: at or below
                                                it with a side neighbour above (or at a
                                                summit filled with the top level)
  gdal_tool.py tones IMAGE OUT                  the cells of IMAGE's band 1, row after row,
                                                written to OUT as bytes in the machine's order
  gdal_tool.py georef A B...                    prints "same" when every B has A's
                                                geotransform (to 1e-9 relative) and
                                                projection (osr IsSame); the projection
                                                of an image GDAL gives none is read from
                                                the .prj beside it, if any
  gdal_tool.py place TIF IMAGE...               "IMAGE placed" for each IMAGE that GDAL
                                                places where it places TIF: both warped to
                                                Web Mercator on one grid, 99 % of the line
                                                pixels of each within one pixel of a line
                                                pixel of the other
"""
import math
import os
import struct
import sys

from osgeo import gdal, osr
from PIL import Image


def read_raw(path):
    with open(path[:-4] + ".txt") as f:
        lines, columns = (int(v) for v in f.read().split()[:2])
    with open(path, "rb") as f:
        data = f.read(lines * columns * 4)
    return lines, columns, list(struct.unpack("<%di" % (lines * columns), data))


# A model's place: the EPSG code of its projection, its corner's x and y, its
# cells' size.
EPSG_4326_AT_80_E_30_N = ("4326", "80", "30", "0.25")


def write_tif(path, lines, columns, values, data_type, code, no_data=None, place=EPSG_4326_AT_80_E_30_N):
    tif = gdal.GetDriverByName("GTiff").Create(path, columns, lines, 1, data_type)
    x, y, cell = (float(v) for v in place[1:])
    tif.SetGeoTransform((x, cell, 0.0, y, 0.0, -cell))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(int(place[0]))
    tif.SetProjection(srs.ExportToWkt())
    band = tif.GetRasterBand(1)
    if no_data is not None:
        band.SetNoDataValue(no_data)
    band.WriteRaster(0, 0, columns, lines, struct.pack("<%d%s" % (len(values), code), *values))
    tif.FlushCache()


def projection(path, dataset):
    wkt = dataset.GetProjection()
    prj = os.path.splitext(path)[0] + ".prj"
    srs = osr.SpatialReference()
    if wkt:
        srs.ImportFromWkt(wkt)
    elif os.path.exists(prj):
        with open(prj) as f:
            srs.ImportFromESRI(f.read().splitlines())
    return srs


def same_georeference(a_path, b_path):
    a, b = gdal.Open(a_path), gdal.Open(b_path)
    ta, tb = a.GetGeoTransform(can_return_null=True), b.GetGeoTransform(can_return_null=True)
    # A world file gives the centre of the first cell: its corner comes back
    # within a rounding or two, a rounded cell size does not.
    same_transform = ta is not None and tb is not None and all(math.isclose(x, y, rel_tol=1e-12) for x, y in zip(ta, tb))
    sa, sb = projection(a_path, a), projection(b_path, b)
    same_srs = sa.IsSame(sb) if sa.Validate() == 0 or sb.Validate() == 0 else sa.ExportToWkt() == sb.ExportToWkt()
    if not (same_transform and same_srs):
        print("%s: %s %s\n%s: %s %s" % (a_path, ta, sa.ExportToWkt(), b_path, tb, sb.ExportToWkt()))
    return same_transform and same_srs


def band_values(band):
    """The cells of a band, row after row, as numbers."""
    codes = {gdal.GDT_Byte: "B", gdal.GDT_UInt16: "H", gdal.GDT_Int16: "h", gdal.GDT_Int32: "i",
             gdal.GDT_Float32: "f", gdal.GDT_Float64: "d"}
    code = codes[band.DataType]
    return struct.unpack("<%d%s" % (band.XSize * band.YSize, code), band.ReadRaster())


def lines_off_their_levels(values, background, model, levels):
    """The line pixels of a result that do not lie on their level's boundary."""
    dataset = gdal.Open(model)  # kept open while its band is read
    altitudes = band_values(dataset.GetRasterBand(1))
    width = dataset.RasterXSize
    top = max(altitudes)
    off = 0
    for k, tone in enumerate(values):
        if tone == background:
            continue
        level, z = levels[tone], altitudes[k]
        i, j = divmod(k, width)
        sides = [(i - 1, j), (i + 1, j), (i, j - 1), (i, j + 1)]
        above = any(0 <= a < len(altitudes) // width and 0 <= b < width and altitudes[a * width + b] > level
                    for a, b in sides)
        if not (z <= level and above) and not (z == level == top):
            off += 1
    return off


def gis(result, model, table, style):
    import xml.etree.ElementTree as ElementTree
    dataset = gdal.Open(result)
    band = dataset.GetRasterBand(1)
    print("nodata %s" % band.GetNoDataValue())
    print("georef %s" % ("same" if same_georeference(model, result) else "different"))
    with open(table) as f:
        levels = {int(tone): float(alti) for tone, alti in (line.split() for line in f)}
    rat = band.GetDefaultRAT()
    rows = {rat.GetValueAsInt(r, 0): rat.GetValueAsDouble(r, 1) for r in range(rat.GetRowCount())} if rat else {}
    print("altitudes %s" % ("same" if rows and all(abs(rows.get(t, 1e300) - a) < 1e-6 for t, a in levels.items())
                            and len(rows) == len(levels) else "different"))
    units = [rat.GetValueAsString(r, 2) for r in range(rat.GetRowCount())] if rat else []
    labels = [rat.GetValueAsString(r, 3).partition(" ") for r in range(len(units))]
    labelled = units and all(float(altitude) == rat.GetValueAsDouble(r, 1) and unit == units[r]
                             for r, (altitude, _, unit) in enumerate(labels))
    print("unit %s, labels %s" % (" ".join(sorted(set(units))), "same" if labelled else "different"))
    entries = ElementTree.parse(style).getroot().findall(".//paletteEntry")
    labelled = sum(1 for e in entries if int(e.get("value")) in levels
                   and abs(float(e.get("label").split()[0]) - levels[int(e.get("value"))]) < 1e-6)
    print("style labels %d of %d" % (labelled, len(levels)))
    if result.endswith(".png"):
        print("png transparent %s" % Image.open(result).info.get("transparency"))
    full = band_values(band)
    background = band.GetNoDataValue()
    width, height = band.XSize, band.YSize
    print("%d bits, %d line pixels off their level" % (gdal.GetDataTypeSize(band.DataType),
                                                        lines_off_their_levels(full, background, model, levels)))
    above = full
    for k in range(band.GetOverviewCount()):
        overview = band.GetOverview(k)
        reduced = band_values(overview)
        wrong = pixels_not_the_smallest(above, width, height, reduced, overview.XSize, overview.YSize)
        print("overview %d, %d x %d: %s" % (k, overview.XSize, overview.YSize,
                                            "%d pixels not the smallest of 2 x 2" % wrong if wrong else "smallest of 2 x 2"))
        above, width, height = reduced, overview.XSize, overview.YSize


def pixels_not_the_smallest(above, width, height, reduced, reduced_width, reduced_height):
    """The pixels of an overview that are not the smallest of the 2 x 2 pixels they cover in the level above (the
    last column or row of an odd size covers one); all of them when it is not half as large, rounded up."""
    if (reduced_width, reduced_height) != ((width + 1) // 2, (height + 1) // 2):
        return len(reduced)
    return sum(1 for y in range(reduced_height) for x in range(reduced_width)
               if reduced[y * reduced_width + x] != min(above[j * width + i]
                                                        for j in range(2 * y, min(2 * y + 2, height))
                                                        for i in range(2 * x, min(2 * x + 2, width))))


def line_pixels(dataset):
    band = dataset.GetRasterBand(1)
    background = band.GetNoDataValue()
    return {divmod(k, band.XSize) for k, v in enumerate(band_values(band)) if v != background}


def place(tif, images):
    reference = gdal.Warp("", tif, format="MEM", dstSRS="EPSG:3857")
    gt, width, height = reference.GetGeoTransform(), reference.RasterXSize, reference.RasterYSize
    bounds = (gt[0], gt[3] + gt[5] * height, gt[0] + gt[1] * width, gt[3])
    expected = line_pixels(reference)

    def share_near(pixels, others):
        near = sum(1 for i, j in pixels if any((i + a, j + b) in others for a in (-1, 0, 1) for b in (-1, 0, 1)))
        return near / len(pixels) if pixels else 0

    for path in images:
        try:
            found = line_pixels(gdal.Warp("", path, format="MEM", dstSRS="EPSG:3857", outputBounds=bounds,
                                          width=width, height=height))
        except RuntimeError as error:
            print("%s: %s" % (path, error))
            continue
        share = min(share_near(found, expected), share_near(expected, found))
        print("%s %s" % (path, "placed" if share >= 0.99 else "off: %.1f %% of the lines within a pixel" % (100 * share)))


def main(args):
    gdal.UseExceptions()
    if args[0] == "tif":
        lines, columns, values = read_raw(args[1])
        if len(args) > 7:
            kept_lines, kept_columns = int(args[7]), int(args[8])
            values = [values[i * columns + j] for i in range(kept_lines) for j in range(kept_columns)]
            lines, columns = kept_lines, kept_columns
        write_tif(args[2], lines, columns, values, gdal.GDT_Int32, "i", None, args[3:7] or EPSG_4326_AT_80_E_30_N)
    elif args[0] == "gaps":
        lines, columns, values = read_raw(args[1])
        values = [v - 1000 for v in values]
        for i in range(10, 20):
            for j in range(30, 45):
                values[i * columns + j] = -32768
        for j in range(0, columns, 7):
            values[3 * columns + j] = -32768
        write_tif(args[2], lines, columns, values, gdal.GDT_Int16, "h", -32768)
        data = [v for v in values if v != -32768]
        print("%d %d %d" % (min(data), max(data), len(values) - len(data)))
    elif args[0] == "grid":
        out, kind, w, h, scale, offset, nodata = args[1:8]
        data_type, code = (gdal.GDT_Int16, "h") if kind == "Int16" else (gdal.GDT_Float32, "f")
        values = [float(v) if code == "f" else int(v) for v in args[8:]]
        write_tif(out, int(h), int(w), values, data_type, code, None if nodata == "-" else float(nodata))
        if scale != "-":
            tif = gdal.Open(out, gdal.GA_Update)
            tif.GetRasterBand(1).SetScale(float(scale))
            tif.GetRasterBand(1).SetOffset(float(offset))
            tif = None
    elif args[0] == "vrt":
        gdal.BuildVRT(args[2], [args[1]])
    elif args[0] == "ehdr":
        gdal.Translate(args[2], args[1], format="EHdr")
    elif args[0] == "tiled":
        tif = gdal.GetDriverByName("GTiff").Create(args[1], int(args[2]), int(args[3]), 1, gdal.GDT_Int16,
                                                    ["TILED=YES", "BLOCKXSIZE=512", "BLOCKYSIZE=512", "COMPRESS=DEFLATE"])
        tif.GetRasterBand(1).Fill(100)
        tif = None
    elif args[0] == "gis":
        gis(*args[1:5])
    elif args[0] == "place":
        place(args[1], args[2:])
    elif args[0] == "pixels":
        images = [Image.open(path) for path in args[1:]]
        same = all(im.size == images[0].size and list(im.getdata()) == list(images[0].getdata()) for im in images)
        print("same" if same else "different")
    elif args[0] == "tones":
        dataset = gdal.Open(args[1])  # kept open while its band is read
        with open(args[2], "wb") as f:
            f.write(dataset.GetRasterBand(1).ReadRaster())
    elif args[0] == "georef":
        same = [same_georeference(args[1], b) for b in args[2:]]
        print("same" if all(same) else "different")


if __name__ == "__main__":
    main(sys.argv[1:])
