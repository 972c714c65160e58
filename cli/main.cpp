// trivex-convert: converts models between formats without a window.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Check.h"
#include "ConsoleModel.h"
#include "Formats.h"
#include "Interrupt.h"
#include "Options.h"
#include "Pipeline.h"
#ifdef TRIVEX_PREVIEW
#include "Preview.h"
#endif

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const CFormat* InputFormat(const COptions& o, const std::string& path, std::string& problem)
{
    if (!o.from.empty())
        return FindFormat(o.from);
    std::string ext = Lower(ExtensionOf(path));
    // ".nff" names two formats; World Toolkit files open with "nff" or "s8".
    if (ext == "nff" && LooksLikeWorldToolkit(path))
        return FindFormat("wtk");
    const CFormat* format = FormatForExtension(ext, false);
    if (!format || !format->CanRead()) {
        problem = ext.empty() ? "cannot tell the format without an extension; use --from FORMAT"
                              : "cannot read \"." + ext + "\" files; use --from FORMAT or see --list-formats";
        return nullptr;
    }
    return format;
}

const CFormat* OutputFormat(const COptions& o, const std::string& path, std::string& problem)
{
    if (!o.to.empty())
        return FindFormat(o.to);
    std::string ext = Lower(ExtensionOf(path));
    const CFormat* format = FormatForExtension(ext, true);
    if (!format || !format->CanWrite()) {
        problem = ext.empty() ? "cannot tell the output format without an extension; use --to FORMAT"
                              : "cannot write \"." + ext + "\" files; use --to FORMAT or see --list-formats";
        return nullptr;
    }
    return format;
}

CGroup* FindGroup(CModel& model, const std::string& name)
{
    for (int i = 0; i < model.GetGroupCount(); ++i)
        if (CGroup* group = model.GetGroup(i); group && group->name == name)
            return group;
    return nullptr;
}

// Applies the edits a user would make in the window between reading and saving.
bool ApplyEdits(CConsoleModel& model, const COptions& o)
{
    bool ok = true;
    auto group = [&](const std::string& name) {
        CGroup* g = FindGroup(model, name);
        if (!g) {
            model.ErrorMessage("no group named \"%s\"", name.c_str());
            ok = false;
        }
        return g;
    };
    for (const auto& [name, index] : o.colors)
        if (CGroup* g = group(name))
            g->colorIndex = index;
    for (const auto& [name, index] : o.textures)
        if (CGroup* g = group(name))
            g->textureIndex = index;
    if (o.smoothAll)
        for (int i = 0; i < model.GetGroupCount(); ++i)
            model.GetGroup(i)->smooth = 1;
    for (const auto& name : o.smooth)
        if (CGroup* g = group(name))
            g->smooth = 1;
    bool activeChanged = false;
    for (const auto& name : o.ignore)
        if (CGroup* g = group(name)) {
            activeChanged = activeChanged || g->active;
            g->active = 0;
        }
    if (!ok)
        return false;
    // Ignoring groups re-fits the model on what remains, as the window does.
    if (activeChanged) {
        model.Center(false);
        model.Unitize(true, false);
    }
    if (o.zUp)
        model.TurnZUp(false);
    if (o.rotate[0] != 0)
        model.RotateX(o.rotate[0], false);
    if (o.rotate[1] != 0)
        model.RotateY(o.rotate[1], false);
    if (o.rotate[2] != 0)
        model.RotateZ(o.rotate[2], false);
    for (char axis : o.mirror) {
        if (axis == 'x')
            model.MirrorX(false);
        else if (axis == 'y')
            model.MirrorY(false);
        else
            model.MirrorZ(false);
    }
    if (o.scale)
        model.m_scale = *o.scale;
    if (o.sky)
        model.m_skyType = *o.sky;
    if (o.floor) {
        model.m_floorType = *o.floor;
        // The floor goes under the model unless told otherwise, as the Floor
        // dialog suggests; the offset is kept in model units.
        model.ComputeRange();
        float offset = o.floorOffset ? *o.floorOffset : model.m_min[1] * model.m_scale;
        model.m_floorOffset = offset / model.m_scale;
    } else if (o.floorOffset) {
        model.m_floorOffset = *o.floorOffset / model.m_scale;
    }
    return true;
}

std::string GroupList(CModel& model)
{
    std::string text;
    for (int i = 0; i < model.GetGroupCount(); ++i) {
        const CGroup* g = model.GetGroup(i);
        const char* color = g->colorIndex >= 0 && g->colorIndex < kColorCount ? ColorTable[g->colorIndex].name : "?";
        const char* texture =
            g->textureIndex >= 0 && g->textureIndex < kTextureCount ? TextureNames[g->textureIndex] : "?";
        char line[512];
        std::snprintf(line, sizeof line, "group \"%s\": %d polygons, colour %s, texture %s%s%s\n", g->name.c_str(),
                      g->polygons.GetCount(), color, texture, g->smooth ? ", smooth" : "", g->active ? "" : ", ignored");
        text += line;
    }
    return text;
}

struct CJob
{
    std::string input;
    std::string output;
    std::string clash;  // the earlier input that writes the same output
    const CFormat* in = nullptr;
    std::string problem;  // why the input cannot be read, when it cannot
    mutable std::optional<EVerdict> checked;  // --check: what the worker found
};

// The reader's settings that the window keeps in its preferences.
void ApplyReadSettings(CModel& model, const COptions& o)
{
    if (o.smoothAngle)
        model.m_smoothAngle = *o.smoothAngle;
    if (o.normalOrder)
        model.m_normalOrderSetting = *o.normalOrder;
    if (o.rawGroups)
        model.m_rawGroups = *o.rawGroups;
    if (o.stlAscii)
        model.m_stlAscii = 1;
    if (o.objMaterials)
        model.m_objMaterials = 1;
    if (o.extrude2D)
        model.m_extrude2D = *o.extrude2D;
    if (o.extrusion)
        model.m_extrusion = *o.extrusion;
    if (o.noInstances)
        model.m_place3dsNodes = 0;
}

// Reads the job's input into the model; false, after a message, when it
// could not be read or holds no polygons.
bool ReadInput(CConsoleModel& model, const COptions& o, const CJob& job)
{
    ApplyReadSettings(model, o);
    // A font is read with the text to build from it.
    const bool read = std::strcmp(job.in->name, "ttf") == 0 ? ReadTrueTypeText(model, job.input, o.text)
                                                            : ReadModelFile(model, *job.in, job.input);
    model.RemoveEmptyGroups();
    if (!read) {
        if (model.ErrorCount() == 0)
            model.ErrorMessage("could not read the file as %s", job.in->description);
        return false;
    }
    if (model.GetPolygonCount() == 0) {
        model.ErrorMessage("no polygons found");
        return false;
    }
    return true;
}

// What --info prints of a model read and edited.
void Report(CConsoleModel& model, const CJob& job, CProgress& progress)
{
    // The report and its group list stay together even when files are read
    // on several threads.
    std::lock_guard<std::mutex> lock(progress.ReportLock());
    progress.PrintOut(job.input + " (" + job.in->description + ")\n");
    ShowModelInfo(model);
    progress.PrintOut(GroupList(model) + "\n");
}

// Saves the model, checks what arrived when asked to, and says what was
// written unless told to be quiet.
bool WriteOutput(CConsoleModel& model, const COptions& o, const CJob& job, const CFormat& out, CProgress& progress,
                 CTemporaryFiles& temporaries)
{
    const int vertices = model.GetVertexCount();
    const long polygons = model.GetPolygonCount();
    const int groups = model.GetGroupCount();
    CWriteTally tally;
    const CWriteTallyScope counting(model, o.check ? PrepareTally(tally) : nullptr);
    if (!WriteModelFile(model, out, job.output, &temporaries))
        return false;
    if (o.check && !CheckOutput(model, out, job.output, tally, progress, o.quiet, job.checked))
        return false;
    if (!o.quiet) {
        char line[256];
        std::snprintf(line, sizeof line, ": %d vertices, %ld polygons, %d group%s, scale %g\n", vertices, polygons, groups,
                      groups == 1 ? "" : "s", model.m_scale);
        progress.PrintOut(job.input + " (" + job.in->description + ") -> " + job.output + " (" + out.description +
                          ")" + line);
    }
    return true;
}

// Converts one file: read, edit, then report, preview or write. True on
// success. `helperThread` lets the reader parse on a second thread.
bool Convert(const COptions& o, const CJob& job, CProgress& progress, CTemporaryFiles& temporaries, bool helperThread)
{
    CConsoleModel model(job.input, o.verbose, o.quiet, progress, helperThread);
    if (!job.in) {
        model.ErrorMessage("%s%s", o.outputDir.empty() ? "" : "skipped: ", job.problem.c_str());
        return false;
    }
    if (!job.clash.empty()) {
        model.ErrorMessage("not converted: %s would overwrite the output of %s", job.output.c_str(), job.clash.c_str());
        return false;
    }
    std::string problem;
    const bool writes = !o.info && !job.output.empty();
    const CFormat* out = writes ? OutputFormat(o, job.output, problem) : nullptr;
    if (writes && !out) {
        model.ErrorMessage("%s", problem.c_str());
        return false;
    }
    // The vertex normals and their cross-reference take a fifth of a
    // conversion and a third of its memory, and most outputs never write
    // them: they are worked out once, after the edits, only for an output
    // that does, and without a cross-reference. The preview draws with the
    // face normals, which the load leaves.
    model.SetWantsNormals(!o.preview.empty());
    if (!ReadInput(model, o, job) || !ApplyEdits(model, o))
        return false;
    const EVertexNormals normals = writes ? VertexNormalsNeeded(*out, model) : EVertexNormals::None;
    if (!model.WantsNormals() && normals != EVertexNormals::None)
        model.CalculateNormalsWithoutXRef(normals == EVertexNormals::SmoothGroups);
    // Nothing works out normals again: a preview's cross-reference goes
    // before the preview or the writer takes its own memory.
    model.FreeXRef();
    if (o.info) {
        Report(model, job, progress);
        return true;
    }
#ifdef TRIVEX_PREVIEW
    if (!o.preview.empty() && !WritePreview(model, o.preview, o.previewWidth, o.previewHeight))
        return false;
#endif
    return !writes || WriteOutput(model, o, job, *out, progress, temporaries);
}

// Convert, with whatever escapes it (memory running out outside the
// readers, which catch their own) made the file's failure rather than the
// end of the batch.
bool ConvertSafely(const COptions& o, const CJob& job, CProgress& progress, CTemporaryFiles& temporaries,
                   bool helperThread)
{
    try {
        return Convert(o, job, progress, temporaries, helperThread);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trivex-convert: %s: %s\n", job.input.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "trivex-convert: %s: the conversion failed\n", job.input.c_str());
    }
    return false;
}

void ListFormats()
{
    std::printf("%-5s %-6s %-5s %-6s %s\n", "name", "ext", "read", "write", "format");
    for (int i = 0; i < FormatCount(); ++i) {
        const CFormat& f = FormatAt(i);
        std::printf("%-5s .%-5s %-5s %-6s %s\n", f.name, f.extension, f.CanRead() ? "yes" : "-",
                    f.CanWrite() ? "yes" : "-", f.description);
    }
}

void ListColors()
{
    std::printf("%-5s %-20s %-6s %-6s %s\n", "index", "name", "red", "green", "blue");
    for (int i = 0; i < kColorCount; ++i)
        std::printf("%-5d %-20s %-6.3f %-6.3f %.3f\n", i, ColorTable[i].name, ColorTable[i].red, ColorTable[i].green,
                    ColorTable[i].blue);
}

}  // namespace

int main(int argc, char** argv)
{
    COptions options;
    std::string message;
    switch (ParseOptions(argc, argv, options, message)) {
    case EParse::Help:
        std::fputs(message.c_str(), stdout);
        return 0;
    case EParse::Version:
        std::printf("trivex-convert 2.7\n");
        return 0;
    case EParse::Formats:
        ListFormats();
        return 0;
    case EParse::Colors:
        ListColors();
        return 0;
    case EParse::Error:
        std::fprintf(stderr, "trivex-convert: %s\nTry 'trivex-convert --help'.\n", message.c_str());
        return 2;
    case EParse::Run:
        break;
    }

    std::vector<CJob> jobs;
    if (!options.outputDir.empty()) {
        std::error_code ec;
        fs::create_directories(options.outputDir, ec);
        if (!fs::is_directory(options.outputDir)) {
            std::fprintf(stderr, "trivex-convert: cannot create the output folder %s\n", options.outputDir.c_str());
            return 2;
        }
        const CFormat* to = FindFormat(options.to);
        for (const std::string& input : options.inputs) {
            fs::path name = fs::path(input).filename();
            name.replace_extension(to->extension);
            CJob& job = jobs.emplace_back();
            job.input = input;
            job.output = (fs::path(options.outputDir) / name).string();
        }
    } else {
        for (const std::string& input : options.inputs) {
            CJob& job = jobs.emplace_back();
            job.input = input;
            job.output = options.output;
        }
    }
    for (CJob& job : jobs)
        job.in = InputFormat(options, job.input, job.problem);
    // Inputs that differ only in their extension would write the same file.
    // Only inputs that can be read claim a name: a folder's .mtl files must
    // not shut out the models they belong to.
    std::map<std::string, std::string> taken;
    for (CJob& job : jobs) {
        if (options.outputDir.empty() || !job.in || ::access(job.input.c_str(), R_OK) != 0)
            continue;
        auto [at, added] = taken.emplace(job.output, job.input);
        if (!added)
            job.clash = at->second;
    }

    CInterruptWatch interrupt;
    CProgress progress(!options.verbose && !options.quiet && ::isatty(2));
    const int processors = static_cast<int>(UsableProcessors());
    int threads = options.jobs > 0 ? options.jobs : processors;
    threads = std::min<int>(threads, static_cast<int>(jobs.size()));
    // The conversions and their readers share the processors: a reader adds
    // a thread of its own only while the conversions leave one free, so that
    // -j 2 on two processors runs two busy threads, not four.
    const bool helperThread = threads < processors;
    std::atomic<size_t> nextJob{0};
    std::atomic<int> failed{0}, done{0};
    auto work = [&] {
        for (size_t i; (i = nextJob++) < jobs.size();) {
            if (!ConvertSafely(options, jobs[i], progress, interrupt.Temporaries(), helperThread))
                ++failed;
            int finished = ++done;
            if (jobs.size() > 1)
                progress.Show("converted " + std::to_string(finished) + " of " + std::to_string(jobs.size()),
                              finished == static_cast<int>(jobs.size()));
        }
    };
    std::vector<std::thread> pool;
    try {
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads, the same conversions.
    }
    work();
    for (std::thread& t : pool)
        t.join();
    progress.Clear();
    if (options.check && jobs.size() > 1) {
        std::vector<std::optional<EVerdict>> verdicts;
        for (const CJob& job : jobs)
            verdicts.push_back(job.checked);
        std::fprintf(stderr, "trivex-convert: %s\n", CheckSummary(verdicts).c_str());
    }
    if (failed > 0 && jobs.size() > 1)
        std::fprintf(stderr, "trivex-convert: %d of %zu conversions failed\n", failed.load(), jobs.size());
    return failed > 0 ? 1 : 0;
}
