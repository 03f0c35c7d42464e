#include "opening.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "../console.h"
#include "../platform.h"
#include "../result_set.h"
#include "../run_error.h"
#include "model_readers.h"

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

// Opens the model for reading without ever blocking on it. A model that does
// not exist ends the run as the user expects it (message, one key); any other
// failure, and a file that is not a regular file, is refused by name.
std::FILE* open_model(const std::string& path, const char* mode)
{
    bool not_regular = false, is_folder = false;
    std::FILE* f1 = platform::open_regular(path, mode, not_regular, is_folder);
    if (f1 != nullptr) return f1;
    if (is_folder) throw RunError(path + " is a folder, not a model file");
    if (not_regular) throw RunError(path + " is not a regular file (a FIFO, device or socket), not a model file");
    if (errno != ENOENT) throw RunError(path + ": " + std::strerror(errno));
    console::print("\n\tFile %s unknown\n", path.c_str());
    console::wait_key();
    throw RunExit{1};
}

// Opens the raster descriptor; null only when it does not exist (it is then
// created). Any other failure would make the run overwrite the user's
// descriptor with typed values, so it ends the run.
std::FILE* open_descriptor(const std::string& path)
{
    bool not_regular = false, is_folder = false;
    std::FILE* f1d = platform::open_regular(path, "r", not_regular, is_folder);
    if (f1d != nullptr) return f1d;
    if (not_regular) throw RunError(path + " is not a regular file, not a descriptor");
    if (errno != ENOENT) throw RunError(path + ": " + std::strerror(errno));
    return nullptr;
}

// Reads the six values of an existing descriptor and closes it; a read
// error ends the run with the system's reason.
void read_model_descriptor(OpeningState& s, std::FILE* f1d, const std::string& path)
{
    int32_t* const values[6] = {&s.nb_lig1, &s.nb_col1, &s.val, &s.mind, &s.maxd, &s.pix_size};
    read_descriptor(f1d, values);
    const bool read_failed = std::ferror(f1d) != 0;
    const int error = errno;
    std::fclose(f1d);
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
    s.nomim1 = ISOLINES_BASE_FOLDER;
    const std::string nomdir = ask_name(
        [] { console::print("\n\n\tName of the File Folder located in the Directory C:\\images ? "); });
    s.nomim1 += nomdir + ISOLINES_SEPARATOR;
    s.results.nomim2 = s.nomim1;
    const std::string nomfic1 = ask_name([] { console::print("\n\tName of the Digital Elevation Model ? "); });
    s.nomim1 += nomfic1;
}

void open_raster_model(OpeningState& s, std::string& nomdescr1)
{
    s.itype = console::ask_choice(
        [] { console::print("\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"); }, 0, 1);
    nomdescr1 = s.nomim1;
    s.nomim1 += s.itype == 0 ? "_m2.raw" : "_m4.raw";
    nomdescr1 += s.itype == 0 ? "_m2.txt" : "_m4.txt";

    std::FILE* f1 = open_model(s.nomim1, "rb");
    std::unique_ptr<OutputFile> new_descriptor;
    std::FILE* f1d = nullptr;
    try {
        f1d = open_descriptor(nomdescr1);
        if (f1d != nullptr) read_model_descriptor(s, f1d, nomdescr1);
    } catch (...) {
        std::fclose(f1);
        throw;
    }
    if (f1d == nullptr) {
        console::print("\n\tNo File %s \n\n", nomdescr1.c_str());
        try {
            new_descriptor = std::make_unique<OutputFile>(nomdescr1);
        } catch (...) {
            std::fclose(f1);
            throw;
        }
        s.nb_lig1 = console::ask_int([] { console::print("\n\tNumber of lines   ? "); });
        s.nb_col1 = console::ask_int([] { console::print("\tNumber of columns ? "); });
        s.pix_size = console::ask_int([] { console::print("\tPixel size ? "); });
        s.val = s.itype == 0 ? 2 : 4;
        s.descr_dem1_OK = 0;
    }
    raster_lecture(s, f1, new_descriptor.get());
}

void settle_pixel_size(OpeningState& s)
{
    if (s.pix_size == 0)
        s.pix_size = console::ask_int([] { console::print("\n\tPixel Size (in meters) ? "); });
    s.dsizepix = static_cast<double>(s.pix_size);
}

// The model's own files, which no result may replace: the model and, for a
// raw raster, its descriptor (read, or just created by this run).
ModelFiles model_files(const OpeningState& s, const std::string& nomdescr1)
{
    return identify_model_files({s.nomim1, nomdescr1});
}

void create_result_files(OpeningState& s, const std::string& nomdescr1)
{
    const ModelFiles model = model_files(s, nomdescr1);
    const std::string nomfic1 = ask_name([] { console::print("\n\n\tName of the resulting file : "); });
    s.results.nomim2 += nomfic1;
    s.results.nomtab = s.results.nomim2 + "_tab.txt";
    refuse_overwriting_model(s.results.nomtab, model);
    s.results.ftab = std::make_unique<OutputFile>(s.results.nomtab);
    // One run at a time writes a result; what ended runs left in its folder
    // is cleaned up before anything of this one goes in place.
    s.results.result_lock = std::make_unique<ResultLock>(s.results.nomim2);
    clean_up_folder(*s.results.result_lock);

    s.results.type_image = console::ask_choice(
        [] { console::print("\n\tImage type"); console::print("\n\t\t0 ====> raster\n\t\t1 ====> bitmap\n\t\t"); },
        0, 1);
    if (s.results.type_image == 0) {
        const std::string nomdescr2 = s.results.nomim2 + ".txt";
        s.results.nomim2 += ".raw";
        refuse_overwriting_model(s.results.nomim2, model);
        refuse_overwriting_model(nomdescr2, model);
        s.results.f2 = std::make_unique<OutputFile>(s.results.nomim2);
        s.results.f2d = std::make_unique<OutputFile>(nomdescr2);
    } else {
        s.results.nomim2 += ".bmp";
        refuse_overwriting_model(s.results.nomim2, model);
        s.results.f2 = std::make_unique<OutputFile>(s.results.nomim2);
    }
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
    std::string nomdescr1;  // the raster descriptor; none for an ASCII grid
    if (s.type_dem == 0) {
        open_raster_model(s, nomdescr1);
    } else {
        s.nomim1 += ".asc";
        ascii_lecture(s, open_model(s.nomim1, "r"), s.results.nomim2);
    }
    settle_pixel_size(s);

    console::print("\n\tTHE DIGITAL ELEVATION MODEL HAS:  ");
    console::print("\n\t            %d LINES", s.nb_lig1);
    console::print("\n\t        AND %d COLUMNS", s.nb_col1);
    const int64_t no_data_cells = s.rows->range().no_data_cells;
    if (no_data_cells > 0) console::print("\n\t        AND %lld NO-DATA CELLS", static_cast<long long>(no_data_cells));

    create_result_files(s, nomdescr1);
    return OpenedRun{LoadedModel{s.nomim1, s.nb_lig1, s.nb_col1, s.pix_size, std::move(s.rows)}, std::move(s.results)};
}
