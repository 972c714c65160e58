#include <string_view>

#include "WriteCheck.h"
#include "Writers.h"

namespace {

// POV-Ray 2.2 identifiers hold at most 40 characters, and every group name
// becomes one.
constexpr int kMaxPovName = 40;

void WriteHeader(numberformat::CRecordOut& out, double s)
{
    out.Text("#include \"colors.inc\"\n"
             "#include \"textures.inc\"\n\n"
             "camera {\n"
             "\tlocation  <0, 0, ").Fixed(-2 * s).Text(">\n"
             "\tdirection <0, 0,  1>\n"
             "\tup        <0, 1,  0>\n"
             "\tright   <4/3, 0,  0>\n"
             "\tlook_at   <0, 0, 0>\n"
             "}\n\n"
             "light_source {<0, 0, ").Fixed(-2 * s).Text("> color White}\n"
             "light_source {<0, ").Fixed(5 * s).Text(", 0> color White}\n\n");
}

// "<%f, %f, %f>"
numberformat::CRecordOut& Vector(numberformat::CRecordOut& out, double x, double y, double z)
{
    return out.Text("<").Fixed(x).Text(", ").Fixed(y).Text(", ").Fixed(z).Text(">");
}

// "plane { y, %f texture {<texture> scale <%f, %f, %f>}}" after its comment.
void StonePlane(numberformat::CRecordOut& out, std::string_view comment, std::string_view texture, double height,
                double s)
{
    out.Text(comment).Text("plane { y, ").Fixed(height).Text(" texture {").Text(texture).Text(" scale ");
    Vector(out, 0.3 * s, s, 0.3 * s).Text("}}\n");
}

// Sky and floor are not checked one by one; WritePovObject's final flush
// reports a failure among them.
void WriteSky(int type, numberformat::CRecordOut& out, double s)
{
    switch (type) {
    case 1:
        out.Text("// A cloud texture by: Ardello\n"
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
                 "   texture { CloudTexture }\n");
        Vector(out.Text("   scale "), 1000 * s, 100 * s, 1000 * s).Text("\n}\n\n");
        break;
    case 2:
        out.Text("// Lightning Texture by Morvane\n"
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
                 "sphere {\n");
        out.Text("\t<0.0, 0.0, 0.0>, ").Fixed(3000 * s).Text("\n");
        out.Text("\ttexture {Lightning_Sky scale ").Fixed(5000 * s).Text("}\n");
        out.Text("\trotate <45, 0, 25>\n"
                 "\tscale <1, 4, 1>\n"
                 "}\n\n");
        break;
    case 3:
        out.Text("// Starfield texture by Tessaly\n");
        out.Text("sphere { <0,0,0>, ").Fixed(10000 * s).Text("\n");
        out.Text("\ttexture {\n"
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
                 "\t\t\t}\n");
        out.Text("\t\t\tscale ").Fixed(25 * s).Text("\n");
        out.Text("\t\t}\n"
                 "\t}\n"
                 "\trotate <0.0, 90.0, 0.0>\n"
                 "}\n\n");
        break;
    default:
        break;
    }
}

void WriteFloor(int type, double offset, numberformat::CRecordOut& out, double s)
{
    const double height = offset * s;
    switch (type) {
    case 1:
        out.Text("// Put down a B&W checkered floor\n"
                 "plane {\n");
        out.Text("\ty, ").Fixed(height).Text("\n");
        out.Text("\ttexture {\n"
                 "\t\tpigment {\n"
                 "\t\t\tchecker color Black color White\n");
        Vector(out.Text("\t\t\tscale "), 0.5 * s, s, 0.5 * s).Text("\n");
        out.Text("\t\t}\n"
                 "\t\tfinish {\n"
                 "\t\t\tambient 0.8\n"
                 "\t\t\tdiffuse 0.2\n"
                 "\t\t}\n"
                 "\t}\n"
                 "}\n\n");
        break;
    case 2:
        StonePlane(out, "// Jade floor\n", "Jade", height, s);
        break;
    case 3:
        StonePlane(out, "// White Marble floor\n", "White_Marble", height, s);
        break;
    case 4:
        StonePlane(out, "// Oak floor\n", "DMFLightOak", height, s);
        break;
    case 5:
        out.Text("// Define the water surface\n");
        out.Text("plane { y, ").Fixed(height).Text("\n");
        out.Text("\tpigment { Blue }\n"
                 "\tnormal {\n"
                 "\t\twaves 0.05\n"
                 "\t\tfrequency 5000.0\n");
        out.Text("\t\tscale ").Fixed(3000 * s).Text("\n");
        out.Text("\t}\n"
                 "\tfinish { reflection 0.8 }\n"
                 "}\n\n"
                 "// Sea floor (require for water to look right)\n");
        out.Text("plane { y, ").Fixed((offset - 1) * s).Text("\n");
        out.Text("\tpigment { Blue }\n"
                 "\tfinish {\n"
                 "\t\tambient 1.0"
                 "\t\tdiffuse 0.0\n"
                 "\t}\n"
                 "}\n\n");
        break;
    case 6:
        out.Text("// Put down a specled floor\n"
                 "plane {\n");
        out.Text("\ty, ").Fixed(height).Text("\n");
        out.Text("\ttexture {\n"
                 "\t\tpigment {\n"
                 "\t\t\tgranite\n"
                 "\t\t\tcolor_map { [0.0 1.01 color White color Gold] }\n");
        Vector(out.Text("\t\t\tscale "), 0.1 * s, s, 0.1 * s).Text("\n");
        out.Text("\t\t}\n"
                 "\t\tfinish {\n"
                 "\t\t\tambient 0.075\n"
                 "\t\t\tdiffuse 0.5\n"
                 "\t\t\treflection 0.05\n"
                 "\t\t}\n"
                 "\t}\n"
                 "}\n\n");
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
    numberformat::CRecordOut out(fp);
    WriteHeader(out, scale);
    if (!out.Write()) {
        model.ErrorMessage(kWriteErrorText);
        return 0;
    }
    WriteSky(model.m_skyType, out, scale);
    WriteFloor(model.m_floorType, model.m_floorOffset, out, scale);
    out.Write();
    return WritePovObject(model, fp, scale);
}
