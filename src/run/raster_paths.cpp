#include "run/raster_paths.h"

#include <cctype>
#include <map>

#include "platform/platform.h"
#include "shared/run_error.h"

namespace {

// Nesting beyond this is no name a user writes.
constexpr int kDeepestSyntax = 8;

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

bool exists_as_file(const std::string& path)
{
    platform::FileId id;
    return !path.empty() && platform::identify(path, id);
}

void add_files_behind(const std::string& name, int depth, std::vector<std::string>& files);

// A name of GDAL's virtual file systems: "/vsi<kind>/<rest>".
void add_virtual(const std::string& name, int depth, std::vector<std::string>& files)
{
    const size_t slash = name.find('/', 4);
    if (slash == std::string::npos) return;
    const std::string kind = name.substr(4, slash - 4);
    std::string rest = name.substr(slash + 1);
    if (kind == "subfile") {  // /vsisubfile/<offset>_<size>,<file>
        const size_t comma = rest.find(',');
        if (comma != std::string::npos) add_files_behind(rest.substr(comma + 1), depth + 1, files);
        return;
    }
    // A stream or an archive: the file is the rest, or its longest part
    // that exists, the name of a member inside the archive after it
    // ("/vsizip/dem.zip/dir/dem.tif", "/vsizip/{dem.zip}/dem.tif").
    if (!rest.empty() && rest.front() == '{') {
        const size_t close = rest.find('}');
        if (close != std::string::npos) rest = rest.substr(1, close - 1);
    }
    for (size_t end = rest.size(); end != std::string::npos && end > 0; end = rest.rfind('/', end - 1)) {
        const std::string part = rest.substr(0, end);
        const size_t before = files.size();
        add_files_behind(part, depth + 1, files);
        if (files.size() > before) return;
        if (end == 0) break;
    }
}

// A dataset inside a file: "<DRIVER>:<...>" with the file among its fields,
// quoted or not ("GTIFF_DIR:1:dem.tif", "NETCDF:\"dem.nc\":z",
// "HDF5:\"c:\\dem.h5\"://z"). Every field, and every run of fields that
// holds a colon of its own (a drive letter), that names a file is taken.
void add_dataset_fields(const std::string& name, int depth, std::vector<std::string>& files)
{
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (const char c : name) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ':' && !quoted) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    for (size_t first = 1; first < fields.size(); ++first) {
        std::string joined;
        for (size_t last = first; last < fields.size(); ++last) {
            joined += (last == first ? "" : ":") + fields[last];
            if (exists_as_file(joined) || starts_with(joined, "/vsi")) add_files_behind(joined, depth + 1, files);
        }
    }
}

void add_files_behind(const std::string& name, int depth, std::vector<std::string>& files)
{
    if (depth > kDeepestSyntax) return;
    if (exists_as_file(name)) {
        files.push_back(name);
    } else if (starts_with(name, "/vsi")) {
        add_virtual(name, depth, files);
    } else if (name.find(':') != std::string::npos) {
        add_dataset_fields(name, depth, files);
    }
}

// The part of a file's name that GDAL's side files begin with: up to its
// first dot ("dem" for "dem.tif", whose side files are "dem.tif.aux.xml",
// "dem.aux", "dem.tfw", "dem_rpc.txt"...).
std::string side_file_stem(const std::string& name)
{
    return name.substr(0, name.find('.'));
}

bool same_letters(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

// Whether GDAL may open `entry` beside the file named `name` (in any case:
// GDAL also tries upper-case side files).
bool may_be_side_file(const std::string& entry, const std::string& name)
{
    const std::string stem = side_file_stem(name);
    if (stem.empty() || entry.size() < stem.size() || !same_letters(entry.substr(0, stem.size()), stem)) return false;
    return entry.size() == stem.size() || entry[stem.size()] == '.' || entry[stem.size()] == '_';
}

}  // namespace

std::vector<std::string> files_behind(const std::string& name)
{
    std::vector<std::string> files;
    add_files_behind(name, 0, files);
    return files;
}

void RasterFileCheck::operator()(const std::string& name)
{
    const std::vector<std::string> files = files_behind(name);
    // A plain path that leads nowhere is reported with the system's reason.
    if (files.empty() && !starts_with(name, "/vsi") && name.find(':') == std::string::npos) {
        platform::FileId id;
        const platform::Status found = platform::identify(name, id);
        if (!found) throw RunError(name + ": " + found.reason());
    }
    for (const std::string& file : files) check_local_file(file);
}

void RasterFileCheck::check_local_file(const std::string& path)
{
    platform::FileId id;
    const platform::Status found = platform::identify(path, id);
    if (!found) throw RunError(path + ": " + found.reason());
    if (!id.regular && !id.folder)
        throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    const std::string folder = platform::folder_of(path);
    const std::string name = platform::name_in_folder(path);
    for (const std::string& entry : special_entries_of(folder))
        if (entry != name && may_be_side_file(entry, name))
            throw RunError(folder + entry + " is not a regular file (a FIFO, device or socket), and GDAL may open "
                                            "it with " + path + "; move it away to read the model");
}

const std::vector<std::string>& RasterFileCheck::special_entries_of(const std::string& folder)
{
    const auto known = special_entries_.find(folder);
    if (known != special_entries_.end()) return known->second;
    std::vector<std::string>& special = special_entries_[folder];
    for (const std::string& entry : platform::folder_entries(folder)) {
        platform::FileId id;
        if (platform::identify(folder + entry, id) && !id.regular && !id.folder) special.push_back(entry);
    }
    return special;
}
