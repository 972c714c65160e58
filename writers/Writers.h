#pragma once

#include <cstdio>
#include <string>

#include "Model.h"

// Every exporter takes the model, an open stream and the output scale (the
// model's m_scale); the caller closes the stream. Results: 1 on success, 0
// after a reported write error where the format checks its writes.
int WritePovScene(CModel& model, FILE* fp, double scale);
int WritePovObject(CModel& model, FILE* fp, double scale);
int WriteObj(CModel& model, FILE* fp, double scale);
// OBJ that takes its groups' looks from the material file `library` (the
// name written after "mtllib"), which WriteObjLibrary writes.
int WriteObjUsingLibrary(CModel& model, FILE* fp, double scale, const std::string& library);
int WriteObjLibrary(CModel& model, FILE* fp);
// The material a group's faces use there: its colour and finish.
std::string ObjMaterialName(const CGroup& group);
int WriteRaw(CModel& model, FILE* fp, double scale);
int WriteTpoly(CModel& model, FILE* fp, double scale);
int WriteDxf(CModel& model, FILE* fp, double scale);
int WriteNff(CModel& model, FILE* fp, double scale);
int WriteWtkNff(CModel& model, FILE* fp, double scale);
int WriteAsc(CModel& model, FILE* fp, double scale);
int WriteVrml(CModel& model, FILE* fp, double scale);
int WriteCob(CModel& model, FILE* fp, double scale);
// glTF 2.0: binary container, or JSON with the buffer embedded.
int WriteGlb(CModel& model, FILE* fp, double scale);
int WriteGltf(CModel& model, FILE* fp, double scale);
// Binary STL, or ASCII STL when the model's m_stlAscii is set.
int WriteStl(CModel& model, FILE* fp, double scale);
