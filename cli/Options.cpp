#include "Options.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Colors.h"
#include "Formats.h"
#include "Model.h"

namespace {

bool ParseNumber(const std::string& text, double low, double high, float& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    value = static_cast<float>(v);
    return true;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseSwitch(const std::string& text, int& value)
{
    std::string s = Lower(text);
    if (s == "on" || s == "yes" || s == "1" || s == "true")
        value = 1;
    else if (s == "off" || s == "no" || s == "0" || s == "false")
        value = 0;
    else
        return false;
    return true;
}

// A choice given by number or by name: the dialog's own text ("Blue Sky"),
// case and blanks ignored, or one of the short aliases.
bool ParseChoice(const std::string& text, const char* const* names, int count,
                 const std::vector<std::pair<const char*, int>>& aliases, int& value)
{
    float number;
    if (ParseNumber(text, 0, count - 1, number) && number == std::floor(number)) {
        value = static_cast<int>(number);
        return true;
    }
    auto squash = [](const std::string& s) {
        std::string out;
        for (char c : s)
            if (!std::isspace(static_cast<unsigned char>(c)) && c != '-' && c != '_')
                out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    std::string wanted = squash(text);
    for (int i = 0; i < count; ++i)
        if (squash(names[i]) == wanted) {
            value = i;
            return true;
        }
    for (const auto& [alias, index] : aliases)
        if (wanted == alias) {
            value = index;
            return true;
        }
    return false;
}

// Exact table name first, then any case; a number is taken as an index.
int LookUp(const std::string& name, const char* (*nameAt)(int), int count)
{
    for (int i = 0; i < count; ++i)
        if (name == nameAt(i))
            return i;
    for (int i = 0; i < count; ++i)
        if (Lower(name) == Lower(nameAt(i)))
            return i;
    float number;
    if (ParseNumber(name, 0, count - 1, number) && number == std::floor(number))
        return static_cast<int>(number);
    return -1;
}

const char* ColorNameAt(int i) { return ColorTable[i].name; }
const char* TextureNameAt(int i) { return TextureNames[i]; }

// Options that take a value, so that anything else starting with "-" is
// reported as unknown rather than taking the next argument as its value.
bool TakesValue(const std::string& arg)
{
    static const char* const kValued[] = {"--from", "--to", "-o", "--output-dir", "-j", "--jobs", "--scale", "--up",
                                          "--mirror", "--smooth-angle", "--normal-order", "--raw-groups", "--extrude",
                                          "--extrusion", "--sky", "--floor", "--floor-offset", "--rotate-x",
                                          "--rotate-y", "--rotate-z", "--color", "--texture", "--smooth", "--ignore",
                                          "--text", "--preview", "--preview-size"};
    for (const char* name : kValued)
        if (arg == name)
            return true;
    return false;
}

std::string TextureList()
{
    std::string list;
    for (int i = 0; i < kTextureCount; ++i)
        list += std::string(i == 0 ? "" : i + 1 == kTextureCount ? " or " : ", ") + TextureNames[i];
    return list;
}

bool SplitAssignment(const std::string& text, std::string& group, std::string& value)
{
    size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        return false;
    group = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

}  // namespace

const char* UsageText()
{
    return "Usage: trivex-convert [options] INPUT OUTPUT\n"
           "       trivex-convert [options] -o DIR --to FORMAT INPUT...\n"
           "       trivex-convert --info [options] INPUT...\n"
           "\n"
           "Converts polygonal 3D models between file formats. Formats are chosen by\n"
           "the file names' extensions unless --from or --to says otherwise.\n"
           "\n"
           "Files:\n"
           "  --from FORMAT          read every input as FORMAT\n"
           "  --to FORMAT            write as FORMAT (\"wtk\" for World Toolkit .nff)\n"
           "  -o, --output-dir DIR   write each input into DIR, named after it\n"
           "  -j, --jobs N           convert N files at once (default: one per core)\n"
           "  --info                 print the model information and its groups; write nothing\n"
           "  --list-formats         list the formats and what can be done with them\n"
           "  --list-colors          list the colour names --color takes\n"
           "\n"
           "Reading:\n"
           "  --smooth-angle DEG     smoothing angle for vertex normals, 0..180 (default 70)\n"
           "  --normal-order ORDER   which way normals point: \"auto\" (default: outward on\n"
           "                         closed models, else counter-clockwise fronts), \"file\"\n"
           "                         (clockwise fronts) or \"reverse\" (counter-clockwise fronts)\n"
           "  --extrude on|off       DXF: extrude 2D polylines (default on)\n"
           "  --extrusion AMOUNT     DXF: extrusion amount, 0.01..100 (default 1)\n"
           "  --no-instances         3DS: leave out the keyframer's instances and node\n"
           "                         placement; every mesh as the editor data stores it\n"
           "  --text STRING          TrueType input: the text to build (default \"Test\")\n"
           "\n"
           "Editing:\n"
           "  --up y|z               the model's up axis; z turns +Z up before other rotations\n"
           "  --rotate-x DEG, --rotate-y DEG, --rotate-z DEG\n"
           "                         rotate, -360..360; applied X, then Y, then Z\n"
           "  --mirror AXES          mirror on the axes named, e.g. x or xz\n"
           "  --color GROUP=COLOR    give a group a colour by name (e.g. Body=NavyBlue)\n"
           "  --texture GROUP=NAME   Dull, GlassFinish, Luminous, Metal, Mirror or Shiny\n"
           "  --smooth GROUP         write a group with smoothed normals\n"
           "  --smooth-all           smooth every group\n"
           "  --ignore GROUP         leave a group out of the output\n"
           "\n"
           "Writing:\n"
           "  --scale S              output size: the model's bounding radius in output\n"
           "                         units, 0.001..500 (default: the size as read); not a factor\n"
           "  --raw-groups on|off    name the groups in RAW output (default on)\n"
           "  --sky SKY              POV-Ray sky: none, blue, lightning, stars (or 0..3)\n"
           "  --floor FLOOR          POV-Ray floor: none, checker, jade, marble, wood,\n"
           "                         water, specled (or 0..6)\n"
           "  --floor-offset Y       floor height in output units (default: the model's bottom)\n"
           "\n"
           "Preview:\n"
           "  --preview FILE.png     draw the wireframe the window would show into a PNG;\n"
           "                         with a single file name, nothing else is written\n"
           "  --preview-size WxH     the picture's size in pixels (default 640x480)\n"
           "\n"
           "Messages:\n"
           "  -v, --verbose          print every status text\n"
           "  -q, --quiet            print nothing but errors\n"
           "  -h, --help             show this text\n"
           "  --version              show the version\n"
           "\n"
           "Exit status: 0 when every conversion succeeded, 1 when any failed, 2 on bad usage.\n";
}

EParse ParseOptions(int argc, char** argv, COptions& o, std::string& message)
{
    std::vector<std::string> positional;
    bool onlyNames = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyNames || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyNames = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        auto next = [&](std::string& out) {
            if (inlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                message = "option " + arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& v, const char* what) {
            message = "bad value \"" + v + "\" for " + arg + ": " + what;
            return EParse::Error;
        };
        std::string v;
        float number;
        int choice;
        if (arg == "-h" || arg == "--help")
            return EParse::Help;
        if (arg == "--version")
            return EParse::Version;
        if (arg == "--list-formats")
            return EParse::Formats;
        if (arg == "--list-colors")
            return EParse::Colors;
        if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--info") {
            o.info = true;
        } else if (arg == "--smooth-all") {
            o.smoothAll = true;
        } else if (arg == "--no-instances") {
            o.noInstances = true;
        } else if (!TakesValue(arg)) {
            message = "unknown option " + arg;
            return EParse::Error;
        } else if (!next(v)) {
            return EParse::Error;
        } else if (arg == "--from" || arg == "--to") {
            const CFormat* format = FindFormat(v);
            if (!format)
                return bad(v, "unknown format (see --list-formats)");
            if (arg == "--from" && !format->CanRead())
                return bad(v, "this format cannot be read");
            if (arg == "--to" && !format->CanWrite())
                return bad(v, "this format cannot be written");
            (arg == "--from" ? o.from : o.to) = format->name;
        } else if (arg == "-o" || arg == "--output-dir") {
            o.outputDir = v;
        } else if (arg == "-j" || arg == "--jobs") {
            if (!ParseNumber(v, 1, 256, number) || number != std::floor(number))
                return bad(v, "a whole number from 1 to 256");
            o.jobs = static_cast<int>(number);
        } else if (arg == "--scale") {
            if (!ParseNumber(v, 0.001, 500, number))
                return bad(v, "a number from 0.001 to 500");
            o.scale = number;
        } else if (arg == "--smooth-angle") {
            if (!ParseNumber(v, 0, 180, number))
                return bad(v, "a number from 0 to 180");
            o.smoothAngle = number;
        } else if (arg == "--normal-order") {
            std::string s = Lower(v);
            if (s == "file" || s == "1")
                o.normalOrder = 1;
            else if (s == "reverse" || s == "0")
                o.normalOrder = 0;
            else if (s == "auto")
                o.normalOrder = kNormalOrderAuto;
            else
                return bad(v, "\"auto\", \"file\" or \"reverse\"");
        } else if (arg == "--up") {
            std::string axis = Lower(v);
            if (axis != "y" && axis != "z")
                return bad(v, "y or z");
            o.zUp = axis == "z";
        } else if (arg == "--raw-groups" || arg == "--extrude") {
            if (!ParseSwitch(v, choice))
                return bad(v, "on or off");
            (arg == "--raw-groups" ? o.rawGroups : o.extrude2D) = choice;
        } else if (arg == "--extrusion") {
            if (!ParseNumber(v, 0.01, 100, number))
                return bad(v, "a number from 0.01 to 100");
            o.extrusion = number;
        } else if (arg == "--sky") {
            if (!ParseChoice(v, SkyNames, kSkyCount, {{"none", 0}, {"blue", 1}, {"lightning", 2}, {"stars", 3}}, choice))
                return bad(v, "none, blue, lightning, stars or 0..3");
            o.sky = choice;
        } else if (arg == "--floor") {
            if (!ParseChoice(v, FloorNames, kFloorCount,
                             {{"none", 0}, {"checker", 1}, {"marble", 3}, {"specled", 6}, {"speckled", 6}}, choice))
                return bad(v, "none, checker, jade, marble, wood, water, specled or 0..6");
            o.floor = choice;
        } else if (arg == "--floor-offset") {
            if (!ParseNumber(v, -1e30, 1e30, number))
                return bad(v, "a number");
            o.floorOffset = number;
        } else if (arg == "--rotate-x" || arg == "--rotate-y" || arg == "--rotate-z") {
            if (!ParseNumber(v, -360, 360, number))
                return bad(v, "degrees from -360 to 360");
            o.rotate[arg.back() - 'x'] = number;
        } else if (arg == "--mirror") {
            std::string axes = Lower(v);
            if (axes.find_first_not_of("xyz") != std::string::npos)
                return bad(v, "axes among x, y and z");
            o.mirror += axes;
        } else if (arg == "--color" || arg == "--texture") {
            std::string group, name;
            if (!SplitAssignment(v, group, name))
                return bad(v, "GROUP=NAME");
            bool color = arg == "--color";
            int index = color ? LookUp(name, ColorNameAt, kColorCount) : LookUp(name, TextureNameAt, kTextureCount);
            if (index < 0)
                return bad(name, color ? "no such colour; --list-colors shows the names"
                                       : ("no such texture; the textures are " + TextureList()).c_str());
            (color ? o.colors : o.textures).emplace_back(group, index);
        } else if (arg == "--smooth") {
            o.smooth.push_back(v);
        } else if (arg == "--ignore") {
            o.ignore.push_back(v);
        } else if (arg == "--text") {
            o.text = v;
        } else if (arg == "--preview") {
#ifndef TRIVEX_PREVIEW
            message = "this build has no --preview (it was built without Qt)";
            return EParse::Error;
#endif
            if (v.empty())
                return bad(v, "a file name");
            o.preview = v;
        } else if (arg == "--preview-size") {
            int w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
                return bad(v, "WIDTHxHEIGHT, each 16 to 8192");
            o.previewWidth = w;
            o.previewHeight = h;
        }
    }

    if (!o.preview.empty() && (o.info || !o.outputDir.empty())) {
        message = "--preview draws one conversion; it goes with neither --info nor --output-dir";
        return EParse::Error;
    }
    if (o.info) {
        o.inputs = positional;
    } else if (!o.outputDir.empty()) {
        if (o.to.empty()) {
            message = "--output-dir needs --to FORMAT";
            return EParse::Error;
        }
        o.inputs = positional;
    } else if (!o.preview.empty() && positional.size() == 1) {
        o.inputs = positional;  // a preview of the input, nothing converted
    } else {
        if (positional.size() != 2) {
            message = positional.size() < 2 ? "need an input and an output file"
                                            : "too many files; use -o DIR --to FORMAT to convert several";
            return EParse::Error;
        }
        o.inputs = {positional[0]};
        o.output = positional[1];
    }
    if (o.inputs.empty()) {
        message = "no input file";
        return EParse::Error;
    }
    return EParse::Run;
}
