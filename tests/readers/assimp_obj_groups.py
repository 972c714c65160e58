"""Prints the triangle meshes assimp reads from an OBJ file, one line per
mesh part: mesh name, material name, diffuse red green blue, opacity,
triangles, tab-separated. Uses `assimp export` to glTF 2, whose JSON holds
the meshes and materials as assimp read them."""
import json
import os
import subprocess
import sys
import tempfile

with tempfile.TemporaryDirectory() as folder:
    out = os.path.join(folder, "x.gltf")
    subprocess.run(["assimp", "export", sys.argv[1], out, "-fgltf2"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Names in old files may be Latin-1; assimp copies their bytes as they are.
    with open(out, "rb") as f:
        data = json.loads(f.read().decode("latin-1"))

materials = data.get("materials", [])
for mesh in data.get("meshes", []):
    for part in mesh["primitives"]:
        if part.get("mode", 4) != 4:
            continue
        material = materials[part["material"]] if "material" in part else {}
        pbr = material.get("pbrMetallicRoughness", {})
        r, g, b, a = pbr.get("baseColorFactor", [1, 1, 1, 1])
        triangles = data["accessors"][part["indices"]]["count"] // 3
        print("\t".join([mesh.get("name", ""), material.get("name", ""), str(r), str(g), str(b), str(a),
                         str(triangles)]))
