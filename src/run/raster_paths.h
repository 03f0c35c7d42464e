// The files behind the names GDAL opens. GDAL takes paths that are no files
// of their own: a file inside an archive or a compressed stream
// ("/vsizip/dem.zip/dem.tif", "/vsigzip/dem.tif.gz"), a part of a file
// ("/vsisubfile/0_1000,dem.tif"), a dataset inside a file
// ("GTIFF_DIR:1:dem.tif", "NETCDF:\"dem.nc\":z"). A model is made of the
// files behind all of them, and no result may replace one.
#ifndef RUN_RASTER_PATHS_H
#define RUN_RASTER_PATHS_H

#include <map>
#include <string>
#include <vector>

// The local files behind a name GDAL opens: the name itself when it is a
// path that exists; else the files its syntax names that exist (none for a
// name of the network or of memory, or one that leads nowhere).
std::vector<std::string> files_behind(const std::string& name);

// Refuses (RunError) a name GDAL would open that leads to a FIFO, device or
// socket, or whose folder holds one that GDAL opens beside it (its .aux.xml,
// .ovr, .msk, world file, header...: any name beginning with the file's name
// up to its first dot, followed by a dot or an underscore, in any case):
// GDAL would wait on it for ever. A plain path that leads nowhere is refused
// with the system's reason; a folder may be a raster (an ArcInfo grid). The
// special files of each folder are looked for once, however many files of a
// model (the tiles of a VRT) lie there.
class RasterFileCheck {
public:
    void operator()(const std::string& name);

private:
    void check_local_file(const std::string& path);
    const std::vector<std::string>& special_entries_of(const std::string& folder);

    std::map<std::string, std::vector<std::string>> special_entries_;
};

#endif
