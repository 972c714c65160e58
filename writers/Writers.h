#pragma once

#include <cstdio>

#include "Model.h"

// Every exporter takes the model, an open stream and the output scale (the
// model's m_scale); the caller closes the stream. Results: 1 on success, 0
// after a reported write error where the format checks its writes.
int WritePovScene(CModel& model, FILE* fp, double scale);
int WritePovObject(CModel& model, FILE* fp, double scale);
int WriteObj(CModel& model, FILE* fp, double scale);
// The same file in two parts, for a converter that writes the vertex lines
// while the load finishes (they need only the vertices and the scale):
// WriteObjVertices reports nothing and may run on any thread, and
// WriteObjAfterVertices writes the rest with every report of WriteObj.
bool WriteObjVertices(const CModel& model, FILE* fp, double scale);
int WriteObjAfterVertices(CModel& model, FILE* fp, double scale);
int WriteRaw(CModel& model, FILE* fp, double scale);
int WriteTpoly(CModel& model, FILE* fp, double scale);
int WriteDxf(CModel& model, FILE* fp, double scale);
int WriteNff(CModel& model, FILE* fp, double scale);
int WriteWtkNff(CModel& model, FILE* fp, double scale);
int WriteAsc(CModel& model, FILE* fp, double scale);
int WriteVrml(CModel& model, FILE* fp, double scale);
int WriteCob(CModel& model, FILE* fp, double scale);
