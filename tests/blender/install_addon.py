# Run inside Blender: installs and enables the add-on zip given after "--", saves the
# preferences (so that later `blender -b scene.blend` runs have it, as on a farm) and prints
# what Blender sees as one JSON line.
import json
import sys

import addon_utils
import bpy

bpy.ops.preferences.addon_install(filepath=sys.argv[sys.argv.index("--") + 1], overwrite=True)
bpy.ops.preferences.addon_enable(module="zavol_stereogram")
bpy.ops.wm.save_userpref()
loaded, enabled = addon_utils.check("zavol_stereogram")
settings = getattr(bpy.context.scene, "zavol", None)
print("ADDON " + json.dumps({
    "loaded": loaded, "enabled": enabled,
    "panel": hasattr(bpy.types, "ZAVOL_PT_autostereogram"),
    "fields": sorted(p.identifier for p in settings.bl_rna.properties) if settings else [],
}))
