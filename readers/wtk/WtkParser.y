/* World Toolkit NFF: a header, then objects, each a vertex list and a polygon
   list. The counts in front of the lists are read but not trusted: a list
   ends where its items stop. There is no error recovery; the first token out
   of place ends the parse, keeping what was read before it. Version 3.0 files
   may name a material table after the object's name and give a polygon a
   material in place of its colour; the scanner has those words only once the
   header has said 3.0, so older files read as they always did. */

%define api.pure full
%define api.prefix {wtk}
%define api.token.prefix {WTK_}
%define parse.error simple
%parse-param {CWtkParse& parse}
%lex-param {CWtkParse& parse}

%code requires {
#include <cstdint>

class CWtkBuilder;
class CWtkScanner;
class CModel;

// Everything one parse works with.
struct CWtkParse
{
    CWtkScanner& scanner;
    CWtkBuilder& builder;
    CModel& model;
};
}

%code {
#include <cstdlib>
#include <cstring>

#include "WtkBuilder.h"
#include "WtkScanner.h"

// The state stack starts with room for 200 entries and doubles up to 10000.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

namespace {

int wtklex(WTKSTYPE* value, CWtkParse& parse)
{
    return NextWtkToken(parse.scanner, *value);
}

void wtkerror(CWtkParse& parse, const char* message)
{
    // The generated parser says "memory exhausted" only when its stack
    // cannot grow further.
    const char* text = std::strcmp(message, "memory exhausted") == 0 ? "parser stack overflow" : "parse error";
    parse.model.ErrorMessage("%s line %d", text, parse.scanner.Line());
}

}  // namespace
}

%union {
    int32_t integer;
    double real;
    char* text;
    struct {
        uint32_t value;
        bool longForm;
    } hex;
}

%token <integer> INTEGER
%token <hex> HEX
%token <real> FLOAT
%token <text> IDENT
%token NFF VERSION VIEWPOS VIEWDIR NORM RGB UV ROT SCALE TRANS BOTH MIRROR ID UNAME MNAME MTABLE MATID

%destructor { std::free($$); } <text>

%%

wtk_file
    : NFF version viewpos viewdir object_list   { parse.builder.EndFile(); }
    ;

version
    : %empty
    | VERSION FLOAT
        {
            // The state after the number reduces without looking ahead, so
            // the next token is already scanned with the version's words.
            if ($2 >= 3.0)
                parse.scanner.StartVersion3();
        }
    ;

viewpos
    : %empty
    | VIEWPOS FLOAT FLOAT FLOAT
    ;

viewdir
    : %empty
    | VIEWDIR FLOAT FLOAT FLOAT
    ;

object_list
    : object
    | object_list object
    ;

object
    : IDENT
        {
            bool ok = parse.builder.StartObject($1);
            std::free($1);
            $1 = nullptr;
            if (!ok)
                YYABORT;
        }
      material_table INTEGER vertex_list INTEGER polygon_list
    ;

material_table
    : %empty
    | MTABLE IDENT
        {
            bool ok = parse.builder.UseMaterialTable($2);
            std::free($2);
            $2 = nullptr;
            if (!ok)
                YYABORT;
        }
    ;

vertex_list
    : vertex
    | vertex_list vertex
    ;

vertex
    : FLOAT FLOAT FLOAT vertex_normal vertex_color vertex_uv
        {
            if (!parse.builder.AddVertex($1, $2, $3))
                YYABORT;
        }
    ;

vertex_normal
    : %empty
    | NORM FLOAT FLOAT FLOAT
    ;

vertex_color
    : %empty
    | RGB HEX
    ;

vertex_uv
    : %empty
    | UV FLOAT FLOAT
    ;

polygon_list
    : polygon
    | polygon_list polygon
    ;

polygon
    : INTEGER index_list polygon_color both uname polygon_id mname
        {
            if (!parse.builder.EndPolygon())
                YYABORT;
        }
    ;

index_list
    : INTEGER
        {
            if (!parse.builder.AddCorner($1))
                YYABORT;
        }
    | index_list INTEGER
        {
            if (!parse.builder.AddCorner($2))
                YYABORT;
        }
    ;

polygon_color
    : HEX           { parse.builder.SetPolygonColor($1.value, $1.longForm); }
    | MATID INTEGER { parse.builder.SetPolygonMaterial($2); }
    ;

both
    : %empty
    | BOTH
    ;

uname
    : %empty
    | UNAME
    ;

polygon_id
    : %empty
    | ID '=' INTEGER
    ;

mname
    : %empty
    | MNAME
    ;

%%
