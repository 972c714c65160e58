#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Vector.h"

// What the 3D Studio keyframer says about frame 0: its nodes, each with the
// first key of its tracks, and the world matrices they make down the node
// tree. Knows nothing of chunks or of the model.

// An affine map of points, in double: rows are the output's x, y and z, the
// fourth column the translation.
struct C3dsAffine
{
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    static C3dsAffine Translation(double x, double y, double z);
    static C3dsAffine Scale(double x, double y, double z);
    // The keyframer's rotation key: `angle` radians about the axis, turning
    // clockwise seen from the axis' tip. A zero axis turns nothing.
    static C3dsAffine Rotation(double angle, double x, double y, double z);
    // A mesh's local frame as chunk 0x4160 stores it: the X, Y and Z axes,
    // then the origin.
    static C3dsAffine Frame(const float (&values)[12]);

    C3dsAffine operator*(const C3dsAffine& b) const;
    CVector Apply(const CVector& p) const;
    double Determinant() const;
    // False, leaving `inverse` alone, when the map squeezes space flat or is
    // not finite.
    bool Invert(C3dsAffine& inverse) const;
};

struct C3dsNode
{
    bool object = false;       // an object node (mesh or dummy); others place by position only
    uint16_t id = 0;           // its id chunk's, or the node's place among the nodes
    uint16_t parentId = kNoParent;
    std::string name;          // as the header holds it: the mesh's name, or "$$$DUMMY"
    std::string instance;
    float pivot[3] = {0, 0, 0};
    float position[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 0};  // angle in radians, axis
    float scale[3] = {1, 1, 1};

    static constexpr uint16_t kNoParent = 0xFFFF;
    bool IsDummy() const { return name == "$$$DUMMY"; }
};

// The nodes' world matrices at frame 0, and what follows from the tree.
struct C3dsPlacement
{
    std::vector<C3dsAffine> world;  // by node, parents applied
    std::vector<int32_t> parent;    // by node: the parent's index, -1 for none
    // By node: every ancestor is an object node. A camera, light or target
    // above a node turns it in ways the first keys do not tell.
    std::vector<uint8_t> objectsAbove;
};

// Links each node to its parent and works out the world matrices. False, with
// `problem` saying why, when two nodes share an id, a parent id names no node,
// or parents form a loop: such a tree places nothing soundly.
bool PlaceNodes(const std::vector<C3dsNode>& nodes, C3dsPlacement& placement, std::string& problem);

// The map from a mesh's stored points to where `node` puts them: out of the
// mesh's own frame, less the pivot, through the node's world matrix. A mesh
// whose frame mirrors (negative determinant) has its points stored mirrored
// already; when the node's matrix does not mirror too, the points are
// mirrored on the frame's X axis so that the copy keeps the stored hand. A
// frame that cannot be inverted counts as none.
C3dsAffine MeshToWorld(const C3dsAffine& frame, const C3dsNode& node, const C3dsAffine& world);
