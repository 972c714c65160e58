#include "Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "Colors.h"
#include "Formats.h"
#include "Model.h"

namespace {

// Names compare without case, blanks, '-' and '_': "Blue Sky" is "bluesky".
std::string Squash(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Decimal(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A decimal number from low to high. CLI11 converts with strtold and strtoll,
// which would also take hex, octal, "inf" and "nan", so the number goes on to
// them written back in plain decimal.
CLI::Validator Number(double low, double high, std::string shown = "")
{
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            const char* begin = text.c_str() + (text.size() > 1 && text[0] == '+' && text[1] != '-');
            const char* end = text.c_str() + text.size();
            double value = 0;
            auto [stop, error] = std::from_chars(begin, end, value);
            if (error != std::errc() || stop != end || !std::isfinite(value))
                return "\"" + text + "\" is not a decimal number";
            if (value < low || value > high)
                return text + " is not from " + Decimal(low) + " to " + Decimal(high);
            text = Decimal(value);
            return "";
        },
        shown.empty() ? Decimal(low) + ".." + Decimal(high) : shown);
}

// One of a setting's names; the value goes on as the setting's number.
CLI::Validator Choice(std::vector<std::pair<std::string, int>> names, const std::string& shown)
{
    return CLI::Validator(
        [names, shown](std::string& text) -> std::string {
            for (const auto& [name, value] : names)
                if (Squash(name) == Squash(text)) {
                    text = std::to_string(value);
                    return "";
                }
            return "\"" + text + "\" is not " + shown;
        },
        shown);
}

// A setting the window picks from a list: by its short name, the dialog's
// name ("Blue Sky") or its place in the list.
CLI::Validator ListChoice(const std::vector<const char*>& shortNames, const char* const* dialogNames,
                          std::vector<std::pair<std::string, int>> more = {})
{
    std::string shown;
    for (int i = 0; i < static_cast<int>(shortNames.size()); ++i) {
        more.insert(more.end(), {{shortNames[i], i}, {dialogNames[i], i}, {std::to_string(i), i}});
        shown += std::string(shortNames[i]) + "|";
    }
    return Choice(std::move(more), shown + "0.." + std::to_string(shortNames.size() - 1));
}

CLI::Validator Switch()
{
    return Choice({{"on", 1}, {"yes", 1}, {"true", 1}, {"1", 1}, {"off", 0}, {"no", 0}, {"false", 0}, {"0", 0}},
                  "on|off");
}

CLI::Validator Format(bool writing)
{
    return CLI::Validator(
        [writing](std::string& text) -> std::string {
            const CFormat* format = FindFormat(text);
            if (!format)
                return "unknown format \"" + text + "\" (see --list-formats)";
            if (!(writing ? format->CanWrite() : format->CanRead()))
                return std::string(format->name) + (writing ? " cannot be written" : " cannot be read");
            text = format->name;
            return "";
        },
        "FORMAT");
}

CLI::Validator NonEmpty(const std::string& shown)
{
    return CLI::Validator([](std::string& text) { return text.empty() ? "no value given" : ""; }, shown);
}

// GROUP=NAME options: each occurrence gives one group an entry of a list.
void AddAssignment(CLI::App& app, const std::string& name, std::vector<std::pair<std::string, int>>& list,
                   const CLI::Validator& entry, const std::string& unknown, const std::string& help)
{
    app.add_option_function<std::vector<std::string>>(
           name,
           [&list, name, entry, unknown](const std::vector<std::string>& values) {
               for (const std::string& value : values) {
                   size_t eq = value.rfind('=');
                   if (eq == std::string::npos || eq == 0)
                       throw CLI::ValidationError(name, "\"" + value + "\" is not GROUP=NAME");
                   std::string index = value.substr(eq + 1);
                   if (!entry(index).empty())
                       throw CLI::ValidationError(name, "\"" + value.substr(eq + 1) + "\": " + unknown);
                   list.emplace_back(value.substr(0, eq), std::stoi(index));
               }
           },
           help)
        ->type_name("GROUP=NAME")
        ->allow_extra_args(false);
}

std::string TextureList()
{
    std::string list;
    for (int i = 0; i < kTextureCount; ++i)
        list += std::string(i == 0 ? "" : i + 1 == kTextureCount ? " or " : ", ") + TextureNames[i];
    return list;
}

class CHelpFormatter : public CLI::Formatter
{
public:
    std::string make_usage(const CLI::App*, std::string) const override
    {
        return "Usage: trivex-convert [options] INPUT OUTPUT\n"
               "       trivex-convert [options] -o DIR --to FORMAT INPUT...\n"
               "       trivex-convert --info [options] INPUT...\n\n"
               "Converts polygonal 3D models between file formats. Formats are chosen by\n"
               "the file names' extensions unless --from or --to says otherwise.\n";
    }
    // What a value may be says more than its type: "--scale 0.001..500".
    std::string make_option_opts(const CLI::Option* option) const override
    {
        std::string type = option->get_type_name();
        return option->get_type_size() == 0 ? "" : " " + type.substr(type.rfind(':') + 1);
    }
};

// "--mirror=" gives an empty value, which CLI11 would take as no value at all
// and fill from the next argument: it goes on as "--mirror" "". CLI11 wants
// the arguments last to first.
std::vector<std::string> Arguments(int argc, char** argv)
{
    std::vector<std::string> args;
    bool onlyNames = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const bool empty = !onlyNames && arg.size() > 3 && arg.starts_with("--") && arg.find('=') == arg.size() - 1;
        onlyNames = onlyNames || arg == "--";
        if (empty)
            arg.pop_back();
        args.push_back(arg);
        if (empty)
            args.emplace_back();
    }
    std::reverse(args.begin(), args.end());
    return args;
}

}  // namespace

EParse ParseOptions(int argc, char** argv, COptions& o, std::string& message)
{
    CLI::App app("", "trivex-convert");
    app.formatter(std::make_shared<CHelpFormatter>());
    app.footer("Exit status: 0 when every conversion succeeded, 1 when any failed, 2 on bad usage.");
    app.allow_extras();  // reported below as unknown options, in words of our own
    // A repeated option's last value holds; a flag takes no value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();

    std::vector<std::string> positional, mirror;
    bool version = false, formats = false, colors = false;
    // Settings left alone unless given, so that the model's own defaults hold.
    auto setting = [&app]<typename T>(const char* name, std::optional<T>& to, const CLI::Validator& check,
                                      const std::string& help) {
        return app.add_option_function<T>(name, [&to](T value) { to = value; }, help)->transform(check);
    };

    // Each option goes under the help heading set last.
    app.option_defaults()->group("Files");
    app.add_option("-o,--output-dir", o.outputDir, "write each input into DIR, named after it")
        ->transform(NonEmpty("DIR"));
    app.add_option("--from", o.from, "read every input as FORMAT")->transform(Format(false));
    auto* to = app.add_option("--to", o.to, "write as FORMAT (\"wtk\" for World Toolkit .nff)")
                   ->transform(Format(true));
    app.get_option("--output-dir")->needs(to);
    app.add_option("-j,--jobs", o.jobs, "convert this many files at once (default: one per core)")
        ->transform(Number(1, 256));
    auto* info = app.add_flag("--info", o.info, "print the model information and its groups; write nothing");
    app.add_flag("--check", o.check, "read each output back and compare it with what was written")->excludes(info);
    app.add_flag("--list-formats", formats, "list the formats and what can be done with them");
    app.add_flag("--list-colors", colors, "list the colour names --color takes");

    app.option_defaults()->group("Reading");
    setting("--smooth-angle", o.smoothAngle, Number(0, 180), "smoothing angle for vertex normals (default 70)");
    setting("--normal-order", o.normalOrder,
            Choice({{"auto", kNormalOrderAuto}, {"file", 1}, {"1", 1}, {"reverse", 0}, {"0", 0}}, "auto|file|reverse"),
            "which way normals point: auto (default: outward on closed\n"
            "models, else counter-clockwise fronts), file (clockwise\n"
            "fronts) or reverse (counter-clockwise fronts)");
    setting("--extrude", o.extrude2D, Switch(), "DXF: extrude 2D polylines (default on)");
    setting("--extrusion", o.extrusion, Number(0.01, 100), "DXF: extrusion amount (default 1)");
    app.add_flag("--no-instances", o.noInstances,
                 "3DS: leave out the keyframer's instances and node placement;\n"
                 "every mesh as the editor data stores it");
    app.add_option("--text", o.text, "TrueType input: the text to build (default \"Test\")")
        ->type_name("STRING");

    app.option_defaults()->group("Editing");
    app.add_option_function<int>(
           "--up", [&o](int z) { o.zUp = z == 1; }, "the model's up axis; z turns +Z up before other rotations")
        ->transform(Choice({{"y", 0}, {"z", 1}}, "y|z"));
    for (int axis = 0; axis < 3; ++axis)
        app.add_option("--rotate-" + std::string(1, static_cast<char>('x' + axis)), o.rotate[axis],
                       "rotate, in degrees; applied X, then Y, then Z")
            ->transform(Number(-360, 360));
    app.add_option("--mirror", mirror, "mirror on the axes named, e.g. x or xz")
        ->check(CLI::Validator(
            [](std::string& axes) {
                return !axes.empty() && Squash(axes).find_first_not_of("xyz") == std::string::npos
                           ? ""
                           : "\"" + axes + "\" is not axes among x, y and z";
            },
            "AXES"))
        ->allow_extra_args(false);
    std::vector<const char*> colorNames;
    for (int i = 0; i < kColorCount; ++i)
        colorNames.push_back(ColorTable[i].name);
    AddAssignment(app, "--color", o.colors, ListChoice(colorNames, colorNames.data()),
                  "no such colour; --list-colors shows the names",
                  "give a group a colour by name (e.g. Body=NavyBlue)");
    AddAssignment(app, "--texture", o.textures,
                  ListChoice({TextureNames, TextureNames + kTextureCount}, TextureNames),
                  "no such texture; the textures are " + TextureList(), "give a group a finish: " + TextureList());
    app.add_option("--smooth", o.smooth, "write a group with smoothed normals")
        ->type_name("GROUP")
        ->allow_extra_args(false);
    app.add_flag("--smooth-all", o.smoothAll, "smooth every group");
    app.add_option("--ignore", o.ignore, "leave a group out of the output")
        ->type_name("GROUP")
        ->allow_extra_args(false);

    app.option_defaults()->group("Writing");
    setting("--scale", o.scale, Number(0.001, 500),
            "output size: the model's bounding radius in output units\n"
            "(default: the size as read); not a factor");
    setting("--raw-groups", o.rawGroups, Switch(), "name the groups in RAW output (default on)");
    app.add_flag("--stl-ascii", o.stlAscii, "write ASCII STL, one solid per group, instead of binary");
    app.add_flag("--obj-mtl", o.objMaterials, "OBJ output: also write NAME.mtl with the groups' colours");
    setting("--sky", o.sky, ListChoice({"none", "blue", "lightning", "stars"}, SkyNames), "POV-Ray sky");
    setting("--floor", o.floor,
            ListChoice({"none", "checker", "jade", "marble", "wood", "water", "specled"}, FloorNames,
                       {{"speckled", 6}}),
            "POV-Ray floor");
    setting("--floor-offset", o.floorOffset, Number(-1e30, 1e30, "Y"),
            "floor height in output units (default: the model's bottom)");

    app.option_defaults()->group("Preview");
    [[maybe_unused]] auto* preview = app.add_option("--preview", o.preview,
                                                    "draw the wireframe the window would show into a PNG;\n"
                                                    "with a single file name, nothing else is written")
                                         ->transform(NonEmpty("FILE.png"))
                                         ->excludes(info)
                                         ->excludes("--output-dir");
    app.add_option_function<std::string>(
           "--preview-size",
           [&o](const std::string& size) {
               int w = 0, h = 0;
               char tail = 0;
               if (std::sscanf(size.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 ||
                   h > 8192)
                   throw CLI::ValidationError("--preview-size",
                                              "\"" + size + "\" is not WIDTHxHEIGHT, each 16 to 8192");
               o.previewWidth = w;
               o.previewHeight = h;
           },
           "the picture's size in pixels (default 640x480)")
        ->type_name("WxH");

    app.option_defaults()->group("Messages");
    auto* verbose = app.add_flag("-v,--verbose", o.verbose, "print every status text");
    app.add_flag("-q,--quiet", o.quiet, "print nothing but errors")->excludes(verbose);
    app.set_help_flag("-h,--help", "show this text");
    app.add_flag("--version", version, "show the version");
    app.add_option("files", positional)->group("");

    try {
        app.parse(Arguments(argc, argv));
    } catch (const CLI::CallForHelp&) {
        message = app.help();
        return EParse::Help;
    } catch (const CLI::Error& e) {
        message = e.what();
        const std::string override = " was given a disallowed flag override";
        if (message.ends_with(override))
            message = "--" + message.substr(0, message.size() - override.size()) + " takes no value";
        return EParse::Error;
    }
    for (const std::string& arg : app.remaining())
        if (arg != "--") {  // CLI11 keeps the end of the options among the unknown
            message = "unknown option " + arg;
            return EParse::Error;
        }
    if (version)
        return EParse::Version;
    if (formats)
        return EParse::Formats;
    if (colors)
        return EParse::Colors;
#ifndef TRIVEX_PREVIEW
    if (preview->count() > 0) {
        message = "this build has no --preview (it was built without Qt)";
        return EParse::Error;
    }
#endif
    for (const std::string& axes : mirror)
        o.mirror += Squash(axes);

    if (o.info || !o.outputDir.empty() || (!o.preview.empty() && positional.size() == 1)) {
        o.inputs = positional;  // with only --preview: a picture of the input, nothing converted
    } else if (positional.size() != 2) {
        message = positional.size() < 2 ? "need an input and an output file"
                                        : "too many files; use -o DIR --to FORMAT to convert several";
        return EParse::Error;
    } else {
        o.inputs = {positional[0]};
        o.output = positional[1];
    }
    if (o.inputs.empty()) {
        message = "no input file";
        return EParse::Error;
    }
    return EParse::Run;
}
