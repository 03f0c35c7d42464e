#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cmath>

#include "shared/file_names.h"
#include "shared/number_text.h"

namespace {

// The output's format from its extension, among those this build writes; a
// message when there is none.
std::optional<ImageFormat> format_of(const std::string& output, std::string& problem)
{
    const std::optional<ImageFormat> format = image_format_of(output);
#ifdef ISOLINES_WITH_GDAL
    if (format) return format;
    problem = "OUTPUT " + output + ": the extension must be .bmp, .raw, .png or .tif";
#else
    if (format && !written_through_gdal(*format)) return format;
    problem = "OUTPUT " + output + ": the extension must be .bmp or .raw (this build has no GDAL for .png or .tif)";
#endif
    return std::nullopt;
}

// A decimal number, as the dialogue reads one (and, for an interval, above
// 0): CLI11 alone would also take "nan", "inf" and hexadecimal forms.
CLI::Validator finite_number(bool positive)
{
    return CLI::Validator(
        [positive](std::string& text) -> std::string {
            double value = 0;
            if (!is_decimal_text(text) || !CLI::detail::lexical_cast(text, value) || !std::isfinite(value))
                return text + " is not a decimal number";
            if (positive && !(value > 0)) return text + " is not above 0";
            return "";
        },
        positive ? "NUMBER > 0" : "NUMBER");
}

// A whole decimal number, as the dialogue reads one.
CLI::Validator whole_number()
{
    return CLI::Validator(
        [](std::string& text) -> std::string { return is_integer_text(text) ? "" : text + " is not a whole number"; },
        "INTEGER");
}

// A whole number of 1 or more (a count of levels, a band); `below_one`
// says why a smaller one is refused.
CLI::Validator one_or_more(const std::string& name, const std::string& below_one)
{
    return CLI::Validator(
        [below_one](std::string& text) -> std::string {
            if (!is_integer_text(text)) return text + " is not a whole number";
            int value = 0;
            return CLI::detail::lexical_cast(text, value) && value >= 1 ? "" : text + below_one;
        },
        name);
}

std::string version_text()
{
    return std::string("isolines_trace_4 ") + ISOLINES_VERSION + " (" + raster_formats_version() + ")\n";
}

// GDAL's tools spell some options with one dash (gdal_contour -fl,
// -snodata): they are taken as the long options they stand for. CLI11 reads
// the arguments last to first.
std::vector<std::string> arguments_of(int argc, const char* const* argv)
{
    std::vector<std::string> arguments;
    for (int k = argc - 1; k >= 1; --k) {
        const std::string argument = argv[k];
        arguments.push_back(argument == "-fl" ? "--levels" : argument == "-snodata" ? "--snodata" : argument);
    }
    return arguments;
}

}  // namespace

std::optional<CommandLine> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                              std::ostream& err, int& status)
{
    CommandLine command_line;
    RunRequest& options = command_line.request;
    std::string palette = "gray";
    bool version = false;

    CLI::App app("Traces contour lines of a digital elevation model into an image, one gray tone per level, "
                 "and writes the table of tones and altitudes.\nWithout arguments the program asks its "
                 "questions in a dialogue.",
                 "isolines_trace_4");
    app.add_option("INPUT", options.model.path,
                   "the model: a .raw with its <name>.txt descriptor beside it, an ASCII grid (.asc), or any "
                   "raster GDAL reads (GeoTIFF, HGT, VRT, ...)")
        ->required();
    app.add_option("OUTPUT", options.image,
                   "the image: .bmp, .raw (with a .txt descriptor), .png or .tif (GeoTIFF); a georeferenced "
                   "model gives a georeferenced image (a world file and .prj beside a .png or .bmp). Beside a "
                   ".bmp, .png or .tif go an .aux.xml (the altitude of every tone, the transparent background) "
                   "and a QGIS style <stem>.qml; a .tif larger than 512 pixels either way holds overviews that "
                   "keep the lines (a third more pixels to write). Up to 250 levels the tones take 8 bits; a "
                   "plan of more, up to 65534, needs a .png or .tif (16 bits, background 65535)")
        ->required();
    app.add_option("-i,--interval", options.plan.interval,
                   "altitude step between two levels, in the altitudes' unit (above 0); or --levels")
        ->check(finite_number(true));
    app.add_option("--levels,-l", options.plan.listed,
                   "a fixed list of level altitudes, in any order, instead of -i, --min and --max (also -fl, as "
                   "gdal_contour takes it)")
        ->check(finite_number(false))
        ->expected(1, -1);
    app.add_option("--min", options.plan.lowest,
                   "altitude of the first level (default: the smallest multiple of the interval at or above the "
                   "model's smallest altitude)")
        ->check(finite_number(false));
    app.add_option("--max", options.plan.highest, "largest altitude of the plan (default: the model's largest altitude)")
        ->check(finite_number(false));
    app.add_option("--first-tone", options.plan.first_tone, "tone of the first level, 0 or 1")
        ->check(whole_number() & CLI::IsMember({0, 1}))
        ->capture_default_str();
    app.add_option("--table-unit", options.plan.table_unit,
                   "unit of the table's altitudes: 0 meters with six decimals, 1 meters, 2 decimeters, 3 "
                   "centimeters, 4 millimeters (default: whole units when every level is whole, else the "
                   "decimals that give each level exactly)")
        ->check(whole_number() & CLI::Range(0, 4));
    app.add_option("-b,--band", options.model.band, "band of the raster to read")
        ->check(one_or_more("BAND", " is not a band (they count from 1)"))
        ->capture_default_str();
    app.add_option("--scale", options.model.sample_factor,
                   "altitude of one unit of the model's samples, above 0: 0.1 for decimeters, 0.3048 for feet "
                   "to meters (the altitudes are then in meters); without it the altitudes keep the unit the "
                   "band names (feet stay feet)")
        ->check(finite_number(true))
        ->capture_default_str();
    app.add_option("--unit", options.plan.unit,
                   "the altitudes' unit as the report and the legend name it (default: m, or the unit the band "
                   "names when there is no --scale)");
    app.add_option("--snodata", options.model.no_data,
                   "the band's no-data value, where the raster gives none (also -snodata, as gdal_contour takes it)")
        ->check(finite_number(false));
    app.add_option("--index-every", options.palette.index_every,
                   "every Nth level (from the first) in a stronger colour: black among the grays, darker among "
                   "the distinct colours (the tones are the same)")
        ->check(one_or_more("N", " is not 1 or more"));
    app.add_option("--table", options.table, "the gray-tone table's path (default: <output stem>_tab.txt)");
    app.add_option("--palette", palette,
                   "gray: tone i shown as gray i; distinct: each level in a colour of its own (the tones are the "
                   "same; not for .raw)")
        ->check(CLI::IsMember({"gray", "distinct"}))
        ->capture_default_str();
    app.add_option("--threads", options.threads,
                   "threads that read and trace the model (default: one per core); the result is the same on any "
                   "number")
        ->check(whole_number() & CLI::Range(1, 1024));
    app.add_flag("-q,--quiet", command_line.quiet, "no report on standard output, no progress on standard error");
    app.add_flag("--version", version, "print the version and end");

    try {
        std::vector<std::string> arguments = arguments_of(argc, argv);
        app.parse(arguments);
    } catch (const CLI::CallForHelp& help) {
        status = app.exit(help, out, err);
        return std::nullopt;
    } catch (const CLI::RequiredError& missing) {
        if (version) {  // --version alone needs no INPUT, OUTPUT or interval
            out << version_text();
            status = 0;
            return std::nullopt;
        }
        status = app.exit(missing, out, err) == 0 ? 0 : kUsageStatus;
        return std::nullopt;
    } catch (const CLI::ExtrasError& extras) {
        // An option the program does not know is named as such, rather than
        // as an argument "not expected".
        for (const std::string& argument : app.remaining())
            if (argument.size() > 1 && argument[0] == '-' && !is_decimal_text(argument)) {
                err << argument << ": unknown option\nRun with --help for more information.\n";
                status = kUsageStatus;
                return std::nullopt;
            }
        status = app.exit(extras, out, err) == 0 ? 0 : kUsageStatus;
        return std::nullopt;
    } catch (const CLI::ParseError& problem) {
        const int code = app.exit(problem, out, err);
        status = code == 0 ? 0 : kUsageStatus;
        return std::nullopt;
    }
    if (version) {
        out << version_text();
        status = 0;
        return std::nullopt;
    }

    const auto usage_error = [&](const std::string& message) {
        err << message << "\nRun with --help for more information.\n";
        status = kUsageStatus;
        return std::nullopt;
    };
    // An empty argument names no file: a usage error, not a run that fails
    // to open "".
    const PlanRequest& plan = options.plan;
    if (options.model.path.empty()) return usage_error("INPUT: the path is empty");
    if (plan.lowest && plan.highest && *plan.lowest > *plan.highest)
        return usage_error("--min " + shortest_text(*plan.lowest) + " is above --max " + shortest_text(*plan.highest) +
                           ": the plan would have no level");
    std::string problem;
    const std::optional<ImageFormat> format = format_of(options.image, problem);
    if (!format) return usage_error(problem);
    options.format = *format;
    if (plan.listed.empty() && plan.interval == 0)
        return usage_error("--interval is required (or --levels, a list of altitudes)");
    if (!plan.listed.empty() && (plan.interval != 0 || plan.lowest || plan.highest))
        return usage_error("--levels gives every level: leave out -i, --min and --max");
    if (plan.unit && plan.unit->empty()) return usage_error("--unit: the name is empty");
    options.palette.distinct = palette == "distinct";
    options.plan.scaled = options.model.sample_factor != 1;
    if (file_name_of(stem_of(options.image)).empty())
        return usage_error("OUTPUT " + options.image + ": the name has nothing before its extension");
    if (options.palette.distinct && options.format == ImageFormat::raw)
        return usage_error("--palette distinct: a .raw image holds no colours; choose .bmp, .png or .tif");
    if (options.palette.index_every > 0 && options.format == ImageFormat::raw)
        return usage_error("--index-every: a .raw image holds no colours; choose .bmp, .png or .tif");
    if (options.table.empty()) options.table = table_path_of(stem_of(options.image));
    status = 0;
    return command_line;
}
