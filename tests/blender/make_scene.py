# Run inside Blender (blender -b --factory-startup --python make_scene.py -- LAYOUT.json): builds
# the tests' scene (a cube moving over a tilted plane, Cycles on the CPU, 160x90, 4 samples, no
# denoising, which Debian's Blender lacks), applies the layout's stereogram settings and saves it.
import json
import math
import sys

import bpy

layout = json.loads(open(sys.argv[sys.argv.index("--") + 1]).read())
scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 4
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 160, 90
scene.render.resolution_percentage = 100
scene.render.image_settings.file_format = "PNG"
scene.render.filepath = layout["render_output"]
scene.frame_start, scene.frame_end = 1, 3

bpy.ops.mesh.primitive_plane_add(size=30, location=(0, 0, -1), rotation=(math.radians(10), 0, 0))
cube = bpy.data.objects["Cube"]
for frame, x in ((1, -1.5), (3, 1.5)):
    cube.location.x = x
    cube.keyframe_insert("location", frame=frame)
camera = bpy.data.objects["Camera"]
if layout.get("no_camera"):
    bpy.data.objects.remove(camera)

if layout.get("compositor_z_unlinked"):
    # Compositing on, the Composite node's Z input left unlinked: Blender saves Z as 1.0.
    scene.use_nodes = True

zavol = scene.zavol
for name, value in layout.get("settings", {}).items():
    setattr(zavol, name, value)
# Values put in as raw ID properties bypass the properties' limits, as scripts can.
for name, value in layout.get("raw_settings", {}).items():
    zavol[name] = value
if "pattern_file" in layout:
    image = bpy.data.images.load(layout["pattern_file"], check_existing=False)
    zavol.pattern = image
    if layout.get("pattern_removed"):
        import os
        os.remove(layout["pattern_file"])
bpy.ops.wm.save_as_mainfile(filepath=layout["blend"])
