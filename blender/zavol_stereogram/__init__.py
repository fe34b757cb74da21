# The zavol add-on: every render and animation also becomes a random-dot autostereogram, made
# by the zavol engine from the render's own depth (the view layer's Z pass). The settings live
# in the scene (scene.zavol), so they are saved in the .blend file and farms rendering with
# `blender -b scene.blend -f N` or `-a` write the stereograms with no interface.
#
# Written against the API Blender 3.4 to 4.x share; where they differ it is guarded.

bl_info = {
    "name": "Autostereogram (zavol)",
    "author": "the zavol authors",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "Properties > Output > Autostereogram",
    "description": "Turns every render and animation into a random-dot autostereogram",
    "category": "Render",
}

import bpy

from . import engine, frames, panel

_classes = ()


def register():
    global _classes
    module, problem = engine.load()
    # Without the module there is nothing to build the settings from: the panel says why.
    _classes = (panel.settings_class(module), panel.ZAVOL_OT_report, *panel.PANELS)
    for cls in _classes:
        bpy.utils.register_class(cls)
    bpy.types.Scene.zavol = bpy.props.PointerProperty(type=_classes[0])
    frames.register()


def unregister():
    frames.unregister()
    del bpy.types.Scene.zavol
    for cls in reversed(_classes):
        bpy.utils.unregister_class(cls)
