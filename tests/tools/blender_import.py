"""Run by Blender: imports a .glb of zarvo-fap and checks what an animator gets: the 11 FAP
shape keys, an action keyed once per analysis window, and the jaw's pivot (vertex 136, which
only FAP 3 moves) where the live deformation puts it for the FAP 3 of each window in the
CSV. Exits 1 on any difference (blender --python-exit-code 1).

Usage: blender -b --factory-startup --python-exit-code 1 --python blender_import.py -- GLB CSV
"""
import csv
import sys

import bpy
import numpy

numpy.bool = bool  # Debian 12's Blender 3.4 importer still uses this alias, gone in numpy 1.24
glb, table = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=glb)
head = next(o for o in bpy.data.objects if o.type == "MESH")
keys = head.data.shape_keys.key_blocks
names = [k.name for k in keys][1:]
curves = {c.data_path.split('"')[1]: c for c in head.data.shape_keys.animation_data.action.fcurves}
with open(table) as f:
    jaw = [int(row["fap3"]) for row in csv.DictReader(f)]
print("shape keys:", len(names), names)
print("action:", head.data.shape_keys.animation_data.action.name, "curves:", len(curves),
      "keyframes each:", sorted({len(c.keyframe_points) for c in curves.values()}))
assert len(names) == 11 and names[0] == "fap3_open_jaw" and names[-1] == "fap60_raise_r_cornerlip"
assert sorted(curves) == sorted(names)
assert {len(c.keyframe_points) for c in curves.values()} == {len(jaw)}
# Blender is z-up: glTF's y is its z. MNS = 0.029 model units, a model unit 1 mm.
basis, open_jaw = keys[0].data[136].co.z, keys["fap3_open_jaw"].data[136].co.z
for fap3, point in zip(jaw, curves["fap3_open_jaw"].keyframe_points):
    z = basis + point.co[1] * (open_jaw - basis)
    assert abs(z - (basis - fap3 * 0.029e-3)) < 1e-7, (fap3, z)
print("jaw pivot as the live deformation puts it in all", len(jaw), "windows")
