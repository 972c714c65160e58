#pragma once

#include <cstdio>
#include <vector>

// A material of a World Toolkit material table: its colour, from
// "ambientdiffuse R G B" (components 0 to 1), or the default colour when the
// material gives none.
struct CWtkMaterial
{
    float color[3] = {1.0f, 1.0f, 1.0f};
};

// Reads a material table ("mat" header, then "matdef" blocks; material k is
// the k-th block). Attributes other than "ambientdiffuse" are skipped with
// their values, and so is the header before the first block (its "valid"
// line names attributes). False when the table is damaged: no "mat" header,
// or an "ambientdiffuse" without three finite numbers; `line` then says
// where. Memory stays proportional to the number of blocks.
bool ReadWtkMaterials(FILE* fp, std::vector<CWtkMaterial>& materials, int& line);
