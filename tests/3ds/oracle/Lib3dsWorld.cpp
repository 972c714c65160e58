// Prints the world triangles of a 3D Studio file at frame 0 as lib3ds places
// them, for the corpus test to compare with the reader. Each mesh object node
// draws its mesh through the node's matrix, less the pivot and the mesh's own
// frame; a mesh no node names is printed as lib3ds read it. Only the tests
// link lib3ds.
//
//   node MESH INSTANCE DET      a node and the determinant of its mesh's matrix
//   mesh MESH                   a mesh without any node
//   x y z x y z x y z           one triangle

#include <lib3ds/file.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#include <cstdio>
#include <cstring>

static void PrintTriangles(Lib3dsMesh* mesh, Lib3dsMatrix m)
{
    for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
        const Lib3dsWord* corner = mesh->faceL[f].points;
        if (corner[0] >= mesh->points || corner[1] >= mesh->points || corner[2] >= mesh->points)
            continue;
        for (int k = 0; k < 3; ++k) {
            Lib3dsVector world;
            lib3ds_vector_transform(world, m, mesh->pointL[corner[k]].pos);
            printf("%.9g %.9g %.9g%s", world[0], world[1], world[2], k < 2 ? " " : "\n");
        }
    }
}

static void PrintNodes(Lib3dsFile* file, Lib3dsNode* node)
{
    for (; node; node = node->next) {
        if (node->type == LIB3DS_OBJECT_NODE && strcmp(node->name, "$$$DUMMY") != 0) {
            Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file, node->name);
            if (mesh) {
                Lib3dsMatrix inverse, m;
                const Lib3dsObjectData* d = &node->data.object;
                lib3ds_matrix_copy(inverse, mesh->matrix);
                lib3ds_matrix_inv(inverse);
                lib3ds_matrix_copy(m, node->matrix);
                lib3ds_matrix_translate_xyz(m, -d->pivot[0], -d->pivot[1], -d->pivot[2]);
                lib3ds_matrix_mult(m, inverse);
                printf("node %s %s %g\n", node->name, d->instance, lib3ds_matrix_det(mesh->matrix));
                PrintTriangles(mesh, m);
            }
        }
        PrintNodes(file, node->childs);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: lib3ds_world FILE.3ds\n");
        return 2;
    }
    Lib3dsFile* file = lib3ds_file_load(argv[1]);
    if (!file) {
        fprintf(stderr, "lib3ds cannot read %s\n", argv[1]);
        return 1;
    }
    lib3ds_file_eval(file, 0.0f);
    PrintNodes(file, file->nodes);
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next) {
        if (lib3ds_file_node_by_name(file, mesh->name, LIB3DS_OBJECT_NODE))
            continue;
        Lib3dsMatrix identity;
        lib3ds_matrix_identity(identity);
        printf("mesh %s\n", mesh->name);
        PrintTriangles(mesh, identity);
    }
    lib3ds_file_free(file);
    return 0;
}
