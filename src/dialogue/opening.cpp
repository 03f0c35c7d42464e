#include "dialogue/opening.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "dialogue/console.h"
#include "dialogue/isolines_trace_4.h"
#include "input/descriptor.h"
#include "run/results.h"
#include "shared/run_error.h"

namespace {

constexpr int kFrameWidth = 60;

// A line of the banner's frame: the text placed after `left` blanks in a field
// of 60 characters between two asterisks.
std::string framed(const std::string& text = "", int left = 0)
{
    std::string field(static_cast<size_t>(left), ' ');
    field += text;
    field.resize(kFrameWidth, ' ');
    return "\n\t*" + field + "*";
}

// Opens the model; one that does not exist ends the run as the user expects
// it (message, one key).
FileHandle open_model(const std::string& path)
{
    FileHandle f1 = open_model_file(path);
    if (f1) return f1;
    console::print("\n\tFile %s unknown\n", path.c_str());
    console::wait_key();
    throw RunExit{1};
}

// Reads the six values of an existing descriptor and closes it; a read
// error ends the run with the system's reason.
void read_model_descriptor(OpeningState& s, FileHandle f1d, const std::string& path)
{
    int32_t* const values[6] = {&s.nb_lig1, &s.nb_col1, &s.val, &s.mind, &s.maxd, &s.pix_size};
    read_descriptor(f1d.get(), values);
    const bool read_failed = std::ferror(f1d.get()) != 0;
    const int error = errno;
    f1d.reset();
    if (read_failed) throw RunError(path + ": " + std::strerror(error));
    s.descr_dem1_OK = 1;
}

// Reads one name. A NUL byte would silently cut the path at the system's
// level, so such a name is refused, the byte shown as \0.
std::string ask_name(const std::function<void()>& prompt)
{
    const std::string name = console::ask_word(prompt);
    if (name.find('\0') == std::string::npos) return name;
    std::string shown;
    for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    throw RunError("the name " + shown + " holds a NUL byte, which no file name may hold");
}

void ask_model_folder_and_name(OpeningState& s)
{
    const std::string nomdir = ask_name(
        [] { console::print("\n\n\tName of the File Folder located in the Directory C:\\images ? "); });
    s.nomdir = ISOLINES_BASE_FOLDER + nomdir + ISOLINES_SEPARATOR;
    s.nomim1 = s.nomdir;
    const std::string nomfic1 = ask_name([] { console::print("\n\tName of the Digital Elevation Model ? "); });
    s.nomim1 += nomfic1;
}

void open_raster_model(OpeningState& s)
{
    std::string nomdescr1;
    s.itype = console::ask_choice(
        [] { console::print("\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"); }, 0, 1);
    nomdescr1 = s.nomim1;
    s.nomim1 += s.itype == 0 ? "_m2.raw" : "_m4.raw";
    nomdescr1 += s.itype == 0 ? "_m2.txt" : "_m4.txt";

    FileHandle f1 = open_model(s.nomim1);
    std::unique_ptr<OutputFile> new_descriptor;
    // A descriptor that does not exist is created; any other failure would
    // make the run overwrite the user's descriptor with typed values, so it
    // ends the run.
    FileHandle f1d = open_model_file(nomdescr1);
    if (f1d) {
        read_model_descriptor(s, std::move(f1d), nomdescr1);
    } else {
        console::print("\n\tNo File %s \n\n", nomdescr1.c_str());
        new_descriptor = std::make_unique<OutputFile>(nomdescr1);
        s.nb_lig1 = console::ask_int([] { console::print("\n\tNumber of lines   ? "); });
        s.nb_col1 = console::ask_int([] { console::print("\tNumber of columns ? "); });
        s.pix_size = console::ask_int([] { console::print("\tPixel size ? "); });
        s.val = s.itype == 0 ? 2 : 4;
        s.descr_dem1_OK = 0;
    }
    raster_lecture(s, std::move(f1), nomdescr1, new_descriptor.get());
}

void settle_pixel_size(OpeningState& s)
{
    if (s.pix_size == 0) s.pix_size = console::ask_int([] { console::print("\n\tPixel Size (in meters) ? "); });
    s.model.pixel_size = s.pix_size;
}

// The result files, checked and created as their names are given: the table
// before the image type is asked, then the image (and a raw image's
// descriptor). None may replace one of the model's files.
Results create_result_files(const OpeningState& s, ImageFormat& format)
{
    Results results(s.model.files);
    const std::string nomfic1 = ask_name([] { console::print("\n\n\tName of the resulting file : "); });
    const std::string stem = s.nomdir + nomfic1;
    const std::string nomtab = table_path_of(stem);
    results.refuse_model_file(nomtab);
    results.create(Results::Role::table, nomtab);
    results.lock(stem);

    const int type_image = console::ask_choice(
        [] { console::print("\n\tImage type"); console::print("\n\t\t0 ====> raster\n\t\t1 ====> bitmap\n\t\t"); },
        0, 1);
    format = type_image == 0 ? ImageFormat::raw : ImageFormat::bmp;
    const std::string nomim2 = image_path_of(stem, format);
    results.refuse_model_file(nomim2);
    if (format == ImageFormat::raw) results.refuse_model_file(descriptor_path_of(stem));
    results.create(Results::Role::image, nomim2);
    if (format == ImageFormat::raw) results.create(Results::Role::descriptor, descriptor_path_of(stem));
    return results;
}

}  // namespace

std::string banner_text()
{
    const std::string border = "\n\t" + std::string(kFrameWidth + 2, '*');
    return "\n" + border + framed() + framed("ISOLINES_TRACE_4", 20) + framed() + framed() + framed() +
           framed("X.-Y. QUORAL", 41) + framed("(July 2003)", 43) + framed() +
           framed("Actualization september 2019", 26) + framed() + border;
}

OpenedRun opening()
{
    OpeningState s;
    console::print("%s", banner_text().c_str());
    ask_model_folder_and_name(s);
    s.type_dem = console::ask_choice(
        [] { console::print("\n\tNote: DEM format"); console::print("\n\t\t0 ====> raster\n\t\t1 ====> ascii\n\t\t"); },
        0, 1);
    if (s.type_dem == 0) {
        open_raster_model(s);
    } else {
        s.nomim1 += ".asc";
        ascii_lecture(s, open_model(s.nomim1));
    }
    settle_pixel_size(s);

    console::print("\n\tTHE DIGITAL ELEVATION MODEL HAS:  ");
    console::print("\n\t            %d LINES", s.nb_lig1);
    console::print("\n\t        AND %d COLUMNS", s.nb_col1);
    const int64_t no_data_cells = s.model.altitudes->range().no_data_cells;
    if (no_data_cells > 0) console::print("\n\t        AND %lld NO-DATA CELLS", static_cast<long long>(no_data_cells));

    ImageFormat format = ImageFormat::bmp;
    Results results = create_result_files(s, format);
    return OpenedRun{std::move(s.model), std::move(results), format};
}
