#!/usr/bin/python3
"""Rasters made and examined with GDAL and Pillow for the command-line tests.

  gdal_tool.py tif MODEL.raw OUT.tif            the raw 32-bit model (descriptor
                                                beside it) as a georeferenced Int32 GeoTIFF
  gdal_tool.py gaps MODEL.raw OUT.tif           the same as signed 16-bit with every
                                                altitude lowered by 1000 m, a block and
                                                every 7th cell of row 3 set to the
                                                no-data value -32768; prints the
                                                range of the other cells and the gaps
  gdal_tool.py pixels IMAGE...                  prints "same" when every image has
                                                the same size and tones (Pillow)
  gdal_tool.py georef A B                       prints "same" when A and B have the
                                                same geotransform and projection
"""
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


def write_tif(path, lines, columns, values, data_type, code, no_data=None):
    tif = gdal.GetDriverByName("GTiff").Create(path, columns, lines, 1, data_type)
    tif.SetGeoTransform((80.0, 0.25, 0.0, 30.0, 0.0, -0.25))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    tif.SetProjection(srs.ExportToWkt())
    band = tif.GetRasterBand(1)
    if no_data is not None:
        band.SetNoDataValue(no_data)
    band.WriteRaster(0, 0, columns, lines, struct.pack("<%d%s" % (len(values), code), *values))
    tif.FlushCache()


def main(args):
    gdal.UseExceptions()
    if args[0] == "tif":
        lines, columns, values = read_raw(args[1])
        write_tif(args[2], lines, columns, values, gdal.GDT_Int32, "i")
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
    elif args[0] == "pixels":
        images = [Image.open(path) for path in args[1:]]
        same = all(im.size == images[0].size and list(im.getdata()) == list(images[0].getdata()) for im in images)
        print("same" if same else "different")
    elif args[0] == "georef":
        a, b = (gdal.Open(path) for path in args[1:3])
        same_srs = osr.SpatialReference(a.GetProjection()).IsSame(osr.SpatialReference(b.GetProjection()))
        print("same" if a.GetGeoTransform() == b.GetGeoTransform() and same_srs else "different")


if __name__ == "__main__":
    main(sys.argv[1:])
