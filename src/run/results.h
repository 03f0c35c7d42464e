// The result files of a run: created under temporary names, each refused when
// it would replace one of the model's files, written under the result's lock,
// and put in place together once all are complete.
#ifndef RUN_RESULTS_H
#define RUN_RESULTS_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "output/image_format.h"
#include "results/output_file.h"
#include "results/model_files.h"
#include "results/result_set.h"

struct Model;

// The names of a result set's files, from the result's path without its
// extension (its stem): the table, the image of that format, a raw image's
// descriptor, the style.
std::string table_path_of(const std::string& stem);
std::string image_path_of(const std::string& stem, ImageFormat format);
std::string descriptor_path_of(const std::string& stem);
std::string style_path_of(const std::string& stem);

// Whether two result paths name one entry of one folder, however spelled
// (the folders compared by identity, the names as the system compares them):
// putting both in place would leave only one.
bool same_entry(const std::string& a, const std::string& b);

// Refuses a result whose name begins as the program's private files do
// (".it4-", ".it4~"): a later clean-up must never take a result for one.
void refuse_private_name(const std::string& path);

class Results {
public:
    // What each file of the set is, in the order they go in place.
    enum class Role { image, descriptor, world_file, projection, aux_xml, style, table };

    // The results of a run on a model made of `model_files`.
    explicit Results(const std::vector<std::string>& model_files);

    // Refuses a result path that leads to one of the model's files however it
    // is spelled, or to something that is not a plain file, or whose name
    // begins as the program's private files do (RunError).
    void refuse_model_file(const std::string& path) const;

    // Whether `path` leads to one of the model's files.
    bool is_model_file(const std::string& path) const;

    // Takes the lock of the result `result_path` (folder and name, no
    // suffix), then settles what ended runs left in its folder. A set may
    // take several (a table of its own name is locked as a result is).
    void lock(const std::string& result_path);

    // Creates the file of that role under a temporary name (see OutputFile);
    // a path that is the entry of another file of the set is refused.
    OutputFile& create(Role role, const std::string& path);

    // An earlier file at `path` that the new set lacks (a world file of an
    // image that is no longer georeferenced): it is taken away as the set
    // goes in place, together with it.
    void drop(const std::string& path) { dropped_.push_back(path); }

    // The file of that role; null when the set has none.
    OutputFile* file(Role role) const { return files_[static_cast<size_t>(role)].get(); }

    // Every file of the set, in the order they go in place.
    std::vector<OutputFile*> files() const;

    // Puts the complete files in place together, under the lock.
    void commit();

    // Whether the result folder's path still leads to the folder the set was
    // put in (a link may have been swapped since).
    bool folder_still_at_its_path() const { return locks_.front()->folder().still_at_its_path(); }

private:
    ModelFiles model_;
    // Declared before the files, so that they are given up after the files
    // are gone.
    std::vector<std::unique_ptr<ResultLock>> locks_;
    std::array<std::unique_ptr<OutputFile>, 7> files_;
    std::vector<std::string> dropped_;
};

// The result set of an image `image` in `format` with its table `table`,
// over `model`: the image, the table, a raw image's descriptor, beside a
// georeferenced PNG or BMP its world file and projection (not where the
// model's own .prj lies), and beside any but a raw image the .aux.xml a GIS
// reads and the QGIS style <stem>.qml. Earlier files of those names that the
// new set lacks go with it. Every file is checked before any is made:
// - all lie in the image's folder, no two are one file, none is a file of
//   the model, and no name begins as the program's private files;
// - the files named by the image's stem (table, style, projection) serve one
//   image: another image of that stem beside it (a result in another format,
//   or the model) that would share one of them refuses the run, naming it.
Results create_result_set(const std::string& image, ImageFormat format, const std::string& table, const Model& model);

#endif
