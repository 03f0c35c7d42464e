#include "gdal/dataset_files.h"

#include <algorithm>
#include <cstring>

#include <cpl_conv.h>
#include <cpl_minixml.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

namespace {

// Whether the file holds a VRT (whose sources GDAL opens when it reads).
bool holds_vrt(const std::string& name)
{
    VSILFILE* f = VSIFOpenL(name.c_str(), "rb");
    if (f == nullptr) return false;
    char head[256] = {};
    const size_t read = VSIFReadL(head, 1, sizeof head - 1, f);
    VSIFCloseL(f);
    return std::string(head, read).find("<VRTDataset") != std::string::npos;
}

// VRTs within VRTs deeper than this are none a user makes.
constexpr int kDeepestVrt = 16;

// The names a source of the VRT at `vrt` may stand for: as written, or, for
// a source relative to the VRT, from the VRT's folder (and each field of a
// name such as "GTIFF_DIR:1:dem.tif" from there in turn, since GDAL
// resolves the file among them).
std::vector<std::string> source_names(const std::string& vrt, const std::string& name, bool relative)
{
    const std::string folder = CPLGetPath(vrt.c_str());
    if (!relative || folder.empty() || name.rfind("/vsi", 0) == 0) return {name};
    std::vector<std::string> names{CPLFormFilename(folder.c_str(), name.c_str(), nullptr)};
    for (size_t colon = name.find(':'); colon != std::string::npos; colon = name.find(':', colon + 1)) {
        const size_t quote = name[colon + 1] == '"' ? 1 : 0;
        names.push_back(name.substr(0, colon + 1 + quote) + folder + "/" + name.substr(colon + 1 + quote));
    }
    return names;
}

// Adds to `names` every source the VRT's text names, anywhere in it (bands,
// masks, overviews).
void add_vrt_sources(const std::string& vrt, const CPLXMLNode* node, std::vector<std::string>& names)
{
    for (; node != nullptr; node = node->psNext) {
        if (node->eType != CXT_Element) continue;
        if (std::strcmp(node->pszValue, "SourceFilename") == 0) {
            const bool relative = std::strcmp(CPLGetXMLValue(node, "relativeToVRT", "0"), "1") == 0;
            for (const std::string& name : source_names(vrt, CPLGetXMLValue(node, "", ""), relative))
                names.push_back(name);
        }
        add_vrt_sources(vrt, node->psChild, names);
    }
}

// Adds every name in `names` to `files`, each given to `check` before it is
// opened; the sources of a VRT among them are read from its text and added
// in turn, `depth` VRTs deep.
void add_files(const std::vector<std::string>& names, const FileCheck& check, std::vector<std::string>& files,
               int depth)
{
    for (const std::string& name : names) {
        if (std::find(files.begin(), files.end(), name) != files.end()) continue;
        check(name);
        files.push_back(name);
        if (depth >= kDeepestVrt || !holds_vrt(name)) continue;
        CPLXMLNode* tree = CPLParseXMLFile(name.c_str());
        std::vector<std::string> sources;
        add_vrt_sources(name, tree, sources);
        CPLDestroyXMLNode(tree);
        add_files(sources, check, files, depth + 1);
    }
}

}  // namespace

void add_files_of(GDALDatasetH handle, const FileCheck& check, std::vector<std::string>& files)
{
    std::vector<std::string> names;
    char** listed = GDALGetFileList(handle);
    for (char** name = listed; name != nullptr && *name != nullptr; ++name) names.emplace_back(*name);
    CSLDestroy(listed);
    add_files(names, check, files, 0);
}
