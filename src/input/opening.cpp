#include "opening.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "../console.h"
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

// Opens the model for reading. A file that cannot be opened ends the run as
// the user expects it (message, one key); a folder is refused by name.
std::FILE* open_model(const std::string& path, const char* mode)
{
    std::FILE* f1 = std::fopen(path.c_str(), mode);
    if (f1 == nullptr) {
        console::print("\n\tFile %s unknown\n", path.c_str());
        console::wait_key();
        throw RunExit{1};
    }
    struct stat info {};
    if (fstat(fileno(f1), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(f1);
        throw RunError(path + " is a folder, not a model file");
    }
    return f1;
}

void ask_model_folder_and_name(ProgramState& s)
{
    s.nomim1 = ISOLINES_BASE_FOLDER;
    const std::string nomdir = console::ask_word(
        [] { console::print("\n\n\tName of the File Folder located in the Directory C:\\images ? "); });
    s.nomim1 += nomdir + ISOLINES_SEPARATOR;
    s.nomim2 = s.nomim1;
    const std::string nomfic1 =
        console::ask_word([] { console::print("\n\tName of the Digital Elevation Model ? "); });
    s.nomim1 += nomfic1;
}

void open_raster_model(ProgramState& s, std::string& nomdescr1)
{
    s.itype = console::ask_choice(
        [] { console::print("\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"); }, 0, 1);
    nomdescr1 = s.nomim1;
    s.nomim1 += s.itype == 0 ? "_m2.raw" : "_m4.raw";
    nomdescr1 += s.itype == 0 ? "_m2.txt" : "_m4.txt";

    std::FILE* f1 = open_model(s.nomim1, "rb");
    std::unique_ptr<OutputFile> new_descriptor;
    if (std::FILE* f1d = std::fopen(nomdescr1.c_str(), "r")) {
        int32_t* const values[6] = {&s.nb_lig1, &s.nb_col1, &s.val, &s.mind, &s.maxd, &s.pix_size};
        read_descriptor(f1d, values);
        std::fclose(f1d);
        s.descr_dem1_OK = 1;
    } else {
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

void settle_pixel_size(ProgramState& s)
{
    if (s.pix_size == 0)
        s.pix_size = console::ask_int([] { console::print("\n\tPixel Size (in meters) ? "); });
    s.dsizepix = static_cast<double>(s.pix_size);
}

// Refuses a result path that names the model or its descriptor: the run
// would replace the user's data with its result.
void refuse_overwriting_model(const std::string& result, const ProgramState& s, const std::string& nomdescr1)
{
    if (result == s.nomim1 || result == nomdescr1)
        throw RunError("the result " + result + " would replace the model's own files; choose another result name");
}

void create_result_files(ProgramState& s, const std::string& nomdescr1)
{
    const std::string nomfic1 =
        console::ask_word([] { console::print("\n\n\tName of the resulting file : "); });
    s.nomim2 += nomfic1;
    s.nomtab = s.nomim2 + "_tab.txt";
    s.ftab = std::make_unique<OutputFile>(s.nomtab);

    s.type_image = console::ask_choice(
        [] { console::print("\n\tImage type"); console::print("\n\t\t0 ====> raster\n\t\t1 ====> bitmap\n\t\t"); },
        0, 1);
    if (s.type_image == 0) {
        const std::string nomdescr2 = s.nomim2 + ".txt";
        s.nomim2 += ".raw";
        refuse_overwriting_model(s.nomim2, s, nomdescr1);
        refuse_overwriting_model(nomdescr2, s, nomdescr1);
        s.f2 = std::make_unique<OutputFile>(s.nomim2);
        s.f2d = std::make_unique<OutputFile>(nomdescr2);
    } else {
        s.nomim2 += ".bmp";
        // The bitmap is written whole at the end; its name is reserved now so
        // that a folder where it cannot be created is reported before any work.
        s.f2 = std::make_unique<OutputFile>(s.nomim2);
        s.f2->close();
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

void opening(ProgramState& s)
{
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
        ascii_lecture(s, open_model(s.nomim1, "r"));
    }
    settle_pixel_size(s);

    console::print("\n\tTHE DIGITAL ELEVATION MODEL HAS:  ");
    console::print("\n\t            %d LINES", s.nb_lig1);
    console::print("\n\t        AND %d COLUMNS", s.nb_col1);

    create_result_files(s, nomdescr1);
    s.tab3 = make_grid<unsigned char>(s.nb_col1, s.nb_lig1, "result grid");
}
