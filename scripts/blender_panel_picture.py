# Run by scripts/blender-panel-picture inside Blender's interface (under Xvfb): a small scene,
# the stereogram switched on, an F12 render, then a shot of the window with the Output
# properties (the panel) and an Image Editor showing the image "Autostereogram".
import math
import sys
import traceback

import bpy

out = sys.argv[sys.argv.index("--") + 1]
scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.samples = 4
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 640, 360
scene.render.resolution_percentage = 100
bpy.context.preferences.view.render_display_type = "NONE"  # F12 leaves the layout as it is
bpy.ops.mesh.primitive_plane_add(size=30, location=(0, 0, -1), rotation=(math.radians(10), 0, 0))
scene.zavol.enabled = True
scene.zavol.viewing_medium = "a4"
scene.zavol.dots = "stable"
scene.zavol.seed = 7


def layout():
    """The largest area split in two: an Image Editor and the Output properties, on a screen
    tall enough to show the whole Autostereogram panel."""
    window = bpy.context.window_manager.windows[0]
    screen = window.screen
    images = [a for a in screen.areas if a.type == "IMAGE_EDITOR"]
    if not images:
        largest = max(screen.areas, key=lambda a: a.width * a.height)
        before = {a.as_pointer() for a in screen.areas}
        with bpy.context.temp_override(window=window, screen=screen, area=largest):
            bpy.ops.screen.area_split(direction="VERTICAL", factor=0.5)
        added = next(a for a in screen.areas if a.as_pointer() not in before)
        left, right = largest, added
        left.type = "IMAGE_EDITOR"
        right.type = "PROPERTIES"  # its tab is chosen once it has been drawn
        images = [left]
    return window, images[0]


def output_tab():
    window = bpy.context.window_manager.windows[0]
    for area in window.screen.areas:
        if area.type == "PROPERTIES":
            area.spaces[0].context = "OUTPUT"


def render():
    layout()
    bpy.ops.render.render("INVOKE_DEFAULT")
    bpy.app.timers.register(guarded(wait_for_picture), first_interval=1.0)


waited = []


def wait_for_picture():
    image = bpy.data.images.get("Autostereogram")
    waited.append(1)
    if image is None and len(waited) < 120:
        return 1.0
    window, viewer = layout()
    if image is not None:
        viewer.spaces[0].image = image
        print(f"PICTURE stereogram {tuple(image.size)} in the Image Editor")
    else:
        print("PICTURE no image Autostereogram after F12")
    output_tab()
    bpy.app.timers.register(guarded(shoot), first_interval=2.0)
    return None


def shoot():
    window = bpy.context.window_manager.windows[0]
    with bpy.context.temp_override(window=window, screen=window.screen):
        bpy.ops.screen.screenshot(filepath=out)
    print(f"PICTURE {out}")
    bpy.ops.wm.quit_blender()


def guarded(step):
    # A timer that raises is dropped silently and Blender would wait for ever: quit instead.
    def run():
        try:
            return step()
        except Exception:
            traceback.print_exc()
            print("PICTURE failed")
            bpy.ops.wm.quit_blender()
            return None
    return run


bpy.app.timers.register(guarded(render), first_interval=2.0)
