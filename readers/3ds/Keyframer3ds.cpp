#include "Keyframer3ds.h"

#include <cmath>
#include <unordered_map>

C3dsAffine C3dsAffine::Translation(double x, double y, double z)
{
    C3dsAffine a;
    a.m[0][3] = x;
    a.m[1][3] = y;
    a.m[2][3] = z;
    return a;
}

C3dsAffine C3dsAffine::Scale(double x, double y, double z)
{
    C3dsAffine a;
    a.m[0][0] = x;
    a.m[1][1] = y;
    a.m[2][2] = z;
    return a;
}

C3dsAffine C3dsAffine::Rotation(double angle, double x, double y, double z)
{
    C3dsAffine a;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 1e-12))
        return a;
    x /= length;
    y /= length;
    z /= length;
    const double c = std::cos(-angle), s = std::sin(-angle), t = 1.0 - c;
    a.m[0][0] = t * x * x + c;
    a.m[0][1] = t * x * y - s * z;
    a.m[0][2] = t * x * z + s * y;
    a.m[1][0] = t * x * y + s * z;
    a.m[1][1] = t * y * y + c;
    a.m[1][2] = t * y * z - s * x;
    a.m[2][0] = t * x * z - s * y;
    a.m[2][1] = t * y * z + s * x;
    a.m[2][2] = t * z * z + c;
    return a;
}

C3dsAffine C3dsAffine::Frame(const float (&values)[12])
{
    C3dsAffine a;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 3; ++row)
            a.m[row][column] = values[column * 3 + row];
    return a;
}

C3dsAffine C3dsAffine::operator*(const C3dsAffine& b) const
{
    C3dsAffine r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = j == 3 ? m[i][3] : 0.0;
            for (int k = 0; k < 3; ++k)
                sum += m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    }
    return r;
}

CVector C3dsAffine::Apply(const CVector& p) const
{
    double out[3];
    for (int i = 0; i < 3; ++i)
        out[i] = m[i][0] * p.x + m[i][1] * p.y + m[i][2] * p.z + m[i][3];
    return {static_cast<float>(out[0]), static_cast<float>(out[1]), static_cast<float>(out[2])};
}

double C3dsAffine::Determinant() const
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

bool C3dsAffine::Invert(C3dsAffine& inverse) const
{
    const double det = Determinant();
    // Frames are scaled by the file's units; only a flat or broken one fails.
    if (!std::isfinite(det) || std::fabs(det) < 1e-30)
        return false;
    C3dsAffine r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    for (int i = 0; i < 3; ++i)
        r.m[i][3] = -(r.m[i][0] * m[0][3] + r.m[i][1] * m[1][3] + r.m[i][2] * m[2][3]);
    for (const auto& row : r.m)
        for (double v : row)
            if (!std::isfinite(v))
                return false;
    inverse = r;
    return true;
}

namespace {

// The node's own matrix at frame 0, before its parents'.
C3dsAffine LocalMatrix(const C3dsNode& node)
{
    const C3dsAffine move = C3dsAffine::Translation(node.position[0], node.position[1], node.position[2]);
    if (!node.object)
        return move;
    return move * C3dsAffine::Rotation(node.rotation[0], node.rotation[1], node.rotation[2], node.rotation[3]) *
           C3dsAffine::Scale(node.scale[0], node.scale[1], node.scale[2]);
}

}  // namespace

bool PlaceNodes(const std::vector<C3dsNode>& nodes, C3dsPlacement& placement, std::string& problem)
{
    const size_t count = nodes.size();
    std::unordered_map<uint16_t, int32_t> byId;
    for (size_t i = 0; i < count; ++i) {
        if (!byId.emplace(nodes[i].id, static_cast<int32_t>(i)).second) {
            problem = "two nodes have the id " + std::to_string(nodes[i].id);
            return false;
        }
    }
    std::vector<int32_t> parent(count, -1);
    for (size_t i = 0; i < count; ++i) {
        if (nodes[i].parentId == C3dsNode::kNoParent)
            continue;
        auto found = byId.find(nodes[i].parentId);
        if (found == byId.end()) {
            problem = "node " + std::to_string(nodes[i].id) + " names a parent " + std::to_string(nodes[i].parentId) +
                      " that does not exist";
            return false;
        }
        parent[i] = found->second;
    }
    // Each node once, from the top down; a chain may be as long as the file
    // has nodes, so it is climbed in a loop, not by recursion.
    enum : uint8_t { kOpen, kClimbing, kDone };
    std::vector<uint8_t> state(count, kOpen);
    std::vector<C3dsAffine> world(count);
    std::vector<uint8_t> objectsAbove(count, 1);
    std::vector<int32_t> chain;
    for (size_t start = 0; start < count; ++start) {
        chain.clear();
        for (int32_t at = static_cast<int32_t>(start); at >= 0 && state[at] != kDone; at = parent[at]) {
            if (state[at] == kClimbing) {
                problem = "the parents of node " + std::to_string(nodes[at].id) + " form a loop";
                return false;
            }
            state[at] = kClimbing;
            chain.push_back(at);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const int32_t i = *it;
            const C3dsAffine local = LocalMatrix(nodes[i]);
            if (parent[i] >= 0) {
                world[i] = world[parent[i]] * local;
                objectsAbove[i] = objectsAbove[parent[i]] && nodes[parent[i]].object;
            } else {
                world[i] = local;
            }
            state[i] = kDone;
        }
    }
    placement.world = std::move(world);
    placement.parent = std::move(parent);
    placement.objectsAbove = std::move(objectsAbove);
    return true;
}

C3dsAffine MeshToWorld(const C3dsAffine& frame, const C3dsNode& node, const C3dsAffine& world)
{
    C3dsAffine toLocal;
    const bool framed = frame.Invert(toLocal);
    C3dsAffine placed = world * C3dsAffine::Translation(-node.pivot[0], -node.pivot[1], -node.pivot[2]);
    if (framed && frame.Determinant() < 0 && world.Determinant() > 0)
        placed = placed * C3dsAffine::Scale(-1, 1, 1);
    return placed * toLocal;
}
