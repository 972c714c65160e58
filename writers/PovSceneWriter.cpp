#include "WriteCheck.h"
#include "Writers.h"

namespace {

// POV-Ray 2.2 identifiers hold at most 40 characters, and every group name
// becomes one.
constexpr int kMaxPovName = 40;

bool WriteHeader(FILE* fp, double s)
{
    return PrintChecked(fp, "#include \"colors.inc\"\n") &&
           PrintChecked(fp, "#include \"textures.inc\"\n\n") &&
           PrintChecked(fp, "camera {\n") &&
           PrintChecked(fp, "\tlocation  <0, 0, %f>\n", -2 * s) &&
           PrintChecked(fp, "\tdirection <0, 0,  1>\n") &&
           PrintChecked(fp, "\tup        <0, 1,  0>\n") &&
           PrintChecked(fp, "\tright   <4/3, 0,  0>\n") &&
           PrintChecked(fp, "\tlook_at   <0, 0, 0>\n") &&
           PrintChecked(fp, "}\n\n") &&
           PrintChecked(fp, "light_source {<0, 0, %f> color White}\n", -2 * s) &&
           PrintChecked(fp, "light_source {<0, %f, 0> color White}\n\n", 5 * s);
}

// Sky and floor are not checked one by one; WritePovObject's final flush
// reports a failure among them.
void WriteSky(int type, FILE* fp, double s)
{
    switch (type) {
    case 1:
        std::fputs("// A cloud texture by: Ardello\n"
                   "#declare CloudColors = color_map {\n "
                   "   [0.0 0.1 color SkyBlue color SkyBlue]\n"
                   "   [0.70 color rgb <4/5, 4/5, 5/6>]\n"
                   "   [1.0 color White]\n"
                   "}\n\n"
                   "#declare CloudTexture = texture {\n"
                   "   pigment{\n"
                   "      bozo\n"
                   "      turbulence 0.5\n"
                   "      octaves 3\n"
                   "      lambda 6\n"
                   "      color_map { CloudColors }\n"
                   "   }\n"
                   "   finish { ambient 1 diffuse 0 }\n"
                   "   scale 1/6\n"
                   "}\n\n"
                   "sphere {\n"
                   "   <0, 0, 0>, 1\n"
                   "   texture { CloudTexture }\n",
                   fp);
        Print(fp, "   scale <%f, %f, %f>\n", 1000 * s, 100 * s, 1000 * s);
        std::fputs("}\n\n", fp);
        break;
    case 2:
        std::fputs("// Lightning Texture by Morvane\n"
                   "#declare Flash = color red 0.1 green 0.1 blue 0.4\n"
                   "#declare MBlue = color red 0 green 0 blue 0.2\n"
                   "#declare Bolt = color red 0.6 green 0.6 blue 0.8\n"
                   "#declare Lightning_Sky = pigment {\n"
                   "\tmarble\n"
                   "\tturbulence 2.3\n"
                   "\tcolor_map {\n"
                   "\t\t[0.65, 0.85\tcolor Black  color MBlue]\n"
                   "\t\t[0.85, 0.92\tcolor MBlue\tcolor Flash]\n"
                   "\t\t[0.92, 0.99\tcolor Flash\tcolor Bolt]\n"
                   "\t\t[0.99, 1.001\tcolor Bolt\tcolor White]\n"
                   "\t}\n"
                   "}\n\n"
                   "// A lightning sky\n"
                   "sphere {\n",
                   fp);
        Print(fp, "\t<0.0, 0.0, 0.0>, %f\n", 3000 * s);
        Print(fp, "\ttexture {Lightning_Sky scale %f}\n", 5000 * s);
        std::fputs("\trotate <45, 0, 25>\n"
                   "\tscale <1, 4, 1>\n"
                   "}\n\n",
                   fp);
        break;
    case 3:
        std::fputs("// Starfield texture by Tessaly\n", fp);
        Print(fp, "sphere { <0,0,0>, %f\n", 10000 * s);
        std::fputs("\ttexture {\n"
                   "\t\tfinish { ambient 1 }\n"
                   "\t\tpigment {\n "
                   "\t\t\tgranite\n"
                   "\t\t\tcolor_map {\n"
                   "\t\t\t\t[ 0.00  0.72 color Black  color Black ]  // No Stars in this area\n "
                   "\t\t\t\t[ 0.72  0.75 color Gray20 color Gray40 ] // Very Very Faints\n "
                   "\t\t\t\t[ 0.75  0.78 color Gray40 color Gray60 ] // Very Faint Stars\n"
                   "\t\t\t\t[ 0.78  0.81 color Gray60 color Gray80 ] // Faint Stars\n"
                   "\t\t\t\t[ 0.81  0.85 color Gray80 color Gray95 ] // Medium White Stars\n"
                   "\t\t\t\t[ 0.85  0.91 color Gray95 color White  ] // White Stars\n"
                   "\t\t\t\t[ 0.91  1.00 color Black  color Black ]  // No Stars in this area\n"
                   "\t\t\t}\n",
                   fp);
        Print(fp, "\t\t\tscale %f\n", 25 * s);
        std::fputs("\t\t}\n"
                   "\t}\n"
                   "\trotate <0.0, 90.0, 0.0>\n"
                   "}\n\n",
                   fp);
        break;
    default:
        break;
    }
}

void WriteFloor(int type, double offset, FILE* fp, double s)
{
    const double height = offset * s;
    switch (type) {
    case 1:
        std::fputs("// Put down a B&W checkered floor\n"
                   "plane {\n",
                   fp);
        Print(fp, "\ty, %f\n", height);
        std::fputs("\ttexture {\n"
                   "\t\tpigment {\n"
                   "\t\t\tchecker color Black color White\n",
                   fp);
        Print(fp, "\t\t\tscale <%f, %f, %f>\n", 0.5 * s, s, 0.5 * s);
        std::fputs("\t\t}\n"
                   "\t\tfinish {\n"
                   "\t\t\tambient 0.8\n"
                   "\t\t\tdiffuse 0.2\n"
                   "\t\t}\n"
                   "\t}\n"
                   "}\n\n",
                   fp);
        break;
    case 2:
        std::fputs("// Jade floor\n", fp);
        Print(fp, "plane { y, %f texture {Jade scale <%f, %f, %f>}}\n", height, 0.3 * s, s, 0.3 * s);
        break;
    case 3:
        std::fputs("// White Marble floor\n", fp);
        Print(fp, "plane { y, %f texture {White_Marble scale <%f, %f, %f>}}\n", height, 0.3 * s, s, 0.3 * s);
        break;
    case 4:
        std::fputs("// Oak floor\n", fp);
        Print(fp, "plane { y, %f texture {DMFLightOak scale <%f, %f, %f>}}\n", height, 0.3 * s, s, 0.3 * s);
        break;
    case 5:
        std::fputs("// Define the water surface\n", fp);
        Print(fp, "plane { y, %f\n", height);
        std::fputs("\tpigment { Blue }\n"
                   "\tnormal {\n"
                   "\t\twaves 0.05\n"
                   "\t\tfrequency 5000.0\n",
                   fp);
        Print(fp, "\t\tscale %f\n", 3000 * s);
        std::fputs("\t}\n"
                   "\tfinish { reflection 0.8 }\n"
                   "}\n\n"
                   "// Sea floor (require for water to look right)\n",
                   fp);
        Print(fp, "plane { y, %f\n", (offset - 1) * s);
        std::fputs("\tpigment { Blue }\n"
                   "\tfinish {\n"
                   "\t\tambient 1.0"
                   "\t\tdiffuse 0.0\n"
                   "\t}\n"
                   "}\n\n",
                   fp);
        break;
    case 6:
        std::fputs("// Put down a specled floor\n"
                   "plane {\n",
                   fp);
        Print(fp, "\ty, %f\n", height);
        std::fputs("\ttexture {\n"
                   "\t\tpigment {\n"
                   "\t\t\tgranite\n"
                   "\t\t\tcolor_map { [0.0 1.01 color White color Gold] }\n",
                   fp);
        Print(fp, "\t\t\tscale <%f, %f, %f>\n", 0.1 * s, s, 0.1 * s);
        std::fputs("\t\t}\n"
                   "\t\tfinish {\n"
                   "\t\t\tambient 0.075\n"
                   "\t\t\tdiffuse 0.5\n"
                   "\t\t\treflection 0.05\n"
                   "\t\t}\n"
                   "\t}\n"
                   "}\n\n",
                   fp);
        break;
    default:
        break;
    }
}

}  // namespace

int WritePovScene(CModel& model, FILE* fp, double scale)
{
    if (model.LongestGroupName() > kMaxPovName) {
        model.ErrorMessage("One or more group names are too long for POVRay. Please reduce the length of group "
                           "names to %d or less characters.",
                           kMaxPovName);
        return 0;
    }
    if (!WriteHeader(fp, scale)) {
        model.ErrorMessage(kWriteErrorText);
        return 0;
    }
    WriteSky(model.m_skyType, fp, scale);
    WriteFloor(model.m_floorType, model.m_floorOffset, fp, scale);
    return WritePovObject(model, fp, scale);
}
