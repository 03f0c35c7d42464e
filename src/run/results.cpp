#include "run/results.h"

#include <algorithm>

#include "shared/file_names.h"
#include "output/world_file.h"
#include "platform/platform.h"
#include "shared/private_names.h"
#include "run/model.h"
#include "shared/run_error.h"

namespace {

// The folder of a path, "." for a bare name.
std::string folder_or_here(const std::string& path)
{
    const std::string folder = platform::folder_of(path);
    return folder.empty() ? std::string(".") : folder;
}

bool same_existing_file(const std::string& a, const std::string& b)
{
    platform::FileId id_a, id_b;
    return platform::identify(a, id_a) && platform::identify(b, id_b) && platform::same_file(id_a, id_b);
}

}  // namespace

void refuse_private_name(const std::string& path)
{
    if (named_like_private(platform::name_in_folder(path)))
        throw RunError("the result " + path +
                       " is named as the program's own private files are (.it4-..., .it4~...); choose another name");
}

namespace {

// Every result lies in the image's folder: the set is replaced there at once.
void check_same_folder(const std::string& image, const std::string& other)
{
    platform::FileId a, b;
    const platform::Status image_folder = platform::identify(folder_or_here(image), a);
    if (!image_folder) throw RunError("cannot write " + image + ": " + image_folder.reason());
    const platform::Status other_folder = platform::identify(folder_or_here(other), b);
    if (!other_folder) throw RunError("cannot write " + other + ": " + other_folder.reason());
    if (!platform::same_file(a, b))
        throw RunError("the table " + other + " must lie in the folder of " + image +
                       " (the results are replaced together)");
}

// The files named by a stem that an image of `format` there would have: its
// table (by default), its style, its projection, a raw image's descriptor.
std::vector<std::string> stem_files_of(const std::string& stem, ImageFormat format)
{
    std::vector<std::string> files{table_path_of(stem)};
    if (format != ImageFormat::raw) files.push_back(style_path_of(stem));
    if (format == ImageFormat::png || format == ImageFormat::bmp) files.push_back(stem + ".prj");
    if (format == ImageFormat::raw) files.push_back(descriptor_path_of(stem));
    return files;
}

// The names of `ours` among `theirs`, joined for a message ("a, b and c").
std::string shared_names(const std::vector<std::string>& ours, const std::vector<std::string>& theirs)
{
    std::vector<std::string> names;
    for (const std::string& path : ours)
        if (std::any_of(theirs.begin(), theirs.end(), [&](const std::string& t) { return same_entry(path, t); }))
            names.push_back(platform::name_in_folder(path));
    std::string text;
    for (size_t k = 0; k < names.size(); ++k)
        text += (k == 0 ? "" : k + 1 == names.size() ? " and " : ", ") + names[k];
    return text;
}

// Refuses a set whose files named by the stem would also serve another image
// of that stem beside it (see create_result_set). `written` are those the
// new set writes; `default_table` tells whether its table is one of them.
void refuse_shared_stem_files(const std::string& image, const std::vector<std::string>& written, bool default_table,
                              const Model& model)
{
    const std::string stem = stem_of(image);
    const std::string folder = platform::folder_of(image);
    const auto refuse = [&](const std::string& other, const std::string& shared) {
        const bool table_only = default_table && shared == platform::name_in_folder(table_path_of(stem));
        throw RunError(other + " and " + image + " share their name: " + shared + " would serve both; give " +
                       image + " another name" + (table_only ? " (or its table, with --table)" : ""));
    };
    // The model's own style would become the result's.
    if (same_entry(stem_of(model.path), stem)) {
        const std::string shared = shared_names(written, {style_path_of(stem)});
        if (!shared.empty()) refuse("the model " + model.path, shared);
    }
    for (const std::string& name : platform::folder_entries(folder)) {
        const std::string other = folder + name;
        const std::optional<ImageFormat> format = image_format_of(name);
        if (!format || !platform::same_name(stem_of(name), platform::name_in_folder(stem)) || same_entry(other, image))
            continue;
        const std::string shared = shared_names(written, stem_files_of(stem, *format));
        if (!shared.empty()) refuse(other, shared);
    }
}

}  // namespace

std::string table_path_of(const std::string& stem) { return stem + "_tab.txt"; }

std::string image_path_of(const std::string& stem, ImageFormat format)
{
    switch (format) {
    case ImageFormat::raw: return stem + ".raw";
    case ImageFormat::bmp: return stem + ".bmp";
    case ImageFormat::png: return stem + ".png";
    case ImageFormat::geotiff: return stem + ".tif";
    }
    return stem;
}

std::string descriptor_path_of(const std::string& stem) { return stem + ".txt"; }

std::string style_path_of(const std::string& stem) { return stem + ".qml"; }

bool same_entry(const std::string& a, const std::string& b)
{
    if (!platform::same_name(platform::name_in_folder(a), platform::name_in_folder(b))) return false;
    platform::FileId folder_a, folder_b;
    return platform::identify(folder_or_here(a), folder_a) && platform::identify(folder_or_here(b), folder_b) &&
           platform::same_file(folder_a, folder_b);
}

Results::Results(const std::vector<std::string>& model_files) : model_(identify_model_files(model_files)) {}

void Results::refuse_model_file(const std::string& path) const
{
    refuse_private_name(path);
    refuse_overwriting_model(path, model_);
}

bool Results::is_model_file(const std::string& path) const { return is_one_of_model_files(path, model_); }

void Results::lock(const std::string& result_path)
{
    // One run at a time writes a result; what ended runs left in its folder
    // is cleaned up before anything of this one goes in place.
    locks_.push_back(std::make_unique<ResultLock>(result_path));
    clean_up_folder(*locks_.back());
}

OutputFile& Results::create(Role role, const std::string& path)
{
    for (const OutputFile* other : files())
        if (same_entry(other->final_path(), path))
            throw RunError("the results " + other->final_path() + " and " + path + " would be one file");
    std::unique_ptr<OutputFile>& file = files_[static_cast<size_t>(role)];
    file = std::make_unique<OutputFile>(path);
    return *file;
}

std::vector<OutputFile*> Results::files() const
{
    std::vector<OutputFile*> all;
    for (const std::unique_ptr<OutputFile>& file : files_)
        if (file) all.push_back(file.get());
    return all;
}

void Results::commit() { commit_together(files(), dropped_, *locks_.front()); }

Results create_result_set(const std::string& image, ImageFormat format, const std::string& table, const Model& model)
{
    Results results(model.files);
    const std::string stem = stem_of(image);
    using Role = Results::Role;
    std::vector<std::pair<Role, std::string>> paths{{Role::image, image}, {Role::table, table}};
    std::vector<std::string> lacked;  // side files of such an image that this set lacks
    if (format == ImageFormat::raw) paths.emplace_back(Role::descriptor, descriptor_path_of(stem));
    const bool placed = format == ImageFormat::bmp || format == ImageFormat::png;
    const bool side_files = model.georeference.present && placed;
    // A result beside its model, under the model's name, finds the model's
    // own .prj where its .prj would go: that file already names the
    // projection and is left as it is.
    const bool models_own_prj = std::any_of(model.files.begin(), model.files.end(), [&](const std::string& file) {
        return same_existing_file(stem + ".prj", file);
    });
    const bool writes_prj = side_files && !model.georeference.projection_wkt.empty() && !models_own_prj;
    if (side_files) paths.emplace_back(Role::world_file, stem + world_file_extension(format));
    else if (placed) lacked.push_back(stem + world_file_extension(format));
    if (writes_prj) paths.emplace_back(Role::projection, stem + ".prj");
    else if (placed && !models_own_prj) lacked.push_back(stem + ".prj");
    // What a GIS reads beside the image: GDAL's .aux.xml (the altitude of
    // every tone, the transparent background, a PNG's or BMP's projection)
    // and the QGIS style. A raw image is for the program's own readers.
    if (format != ImageFormat::raw) {
        paths.emplace_back(Role::aux_xml, image + ".aux.xml");
        paths.emplace_back(Role::style, style_path_of(stem));
    }
    check_same_folder(image, table);
    for (size_t a = 0; a < paths.size(); ++a)
        for (size_t b = a + 1; b < paths.size(); ++b)
            if (same_entry(paths[a].second, paths[b].second))
                throw RunError("the results " + paths[a].second + " and " + paths[b].second + " would be one file");
    for (const auto& [role, path] : paths) results.refuse_model_file(path);
    std::vector<std::string> stem_files;
    for (const auto& [role, path] : paths)
        if (role == Role::table || role == Role::style || role == Role::projection || role == Role::descriptor)
            stem_files.push_back(path);
    refuse_shared_stem_files(image, stem_files, same_entry(table, table_path_of(stem)), model);

    // Two runs naming one table would replace each other's: the table's name
    // is locked as a result's is.
    results.lock(stem);
    const std::string table_stem = stem_of(table);
    if (!same_entry(table_stem, stem)) results.lock(table_stem);
    for (const auto& [role, path] : paths) results.create(role, path);
    for (const std::string& path : lacked) {
        platform::FileId id;
        // Only an earlier plain file of that name, never one of the model's.
        if (platform::identify(path, id) && id.regular && !results.is_model_file(path)) results.drop(path);
    }
    return results;
}
