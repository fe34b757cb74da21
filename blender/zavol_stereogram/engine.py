# What the add-on asks of the zavol module: loading it, the field table as Blender properties'
# inputs, a scene's settings as zavol.render's arguments, the render's depth out of Blender, the
# pattern image, and where a frame's stereogram goes.
import math
import os
import re
import tempfile

import bpy

# Fields the panel does not show: Blender's Z is always a distance along the camera axis, and
# the module's render call takes no thread count (it renders on every core).
HIDDEN_FIELDS = {"depth_kind", "threads"}
# Blender stores integers as signed 32-bit numbers.
INT_LIMIT = 2**31 - 1

_module = None
_problem = ""


def load():
    """The zavol module (the copy bundled in the add-on, else an installed one) and, when it
    cannot load, why not."""
    global _module, _problem
    if _module is not None or _problem:
        return _module, _problem
    try:
        from . import zavol as module  # built for this Python and bundled in the zip
    except ModuleNotFoundError:
        try:
            import zavol as module
        except ImportError as error:
            module, _problem = None, f"the zavol module cannot load: {error}"
    except ImportError as error:
        module, _problem = None, f"the bundled zavol module cannot load: {error}"
    if module is not None and not (hasattr(module, "fields") and hasattr(module, "VideoWriter")):
        module, _problem = None, (f"the zavol module at {getattr(module, '__file__', '?')} is too "
                                  "old: it has no fields() or VideoWriter")
    _module = module
    return _module, _problem


_fields = None


def fields():
    """The table's fields the panel shows, read once."""
    global _fields
    if _fields is None:
        module, _ = load()
        _fields = [f for f in module.fields() if f["name"] not in HIDDEN_FIELDS] if module else []
    return _fields


def colour_of(value):
    """0xBBGGRR, red in the lowest byte, as Blender's (r, g, b) in 0..1."""
    value = int(value)
    return tuple(((value >> shift) & 0xFF) / 255.0 for shift in (0, 8, 16))


def property_for(field):
    """The Blender property that edits one field of the table: its label, help, range,
    default and words."""
    props = bpy.props
    common = {"name": field["label"], "description": field["description"]}
    kind = field["type"]
    if kind == "real":
        step = field["step"]
        # Blender's step is in hundredths, 1..100.
        ui_step = max(1, min(100, round(step * 100))) if step > 0 else 3
        return props.FloatProperty(default=field["default"], min=field["minimum"],
                                   max=field["maximum"], step=ui_step, precision=4, **common)
    if kind == "integer":
        low = max(-INT_LIMIT, math.ceil(field["minimum"]))
        high = min(INT_LIMIT, math.floor(field["maximum"]))
        return props.IntProperty(default=max(low, min(high, int(field["default"]))), min=low,
                                 max=high, **common)
    if kind == "boolean":
        return props.BoolProperty(default=bool(field["default"]), **common)
    if kind == "colour":
        # Gamma-corrected: the picker's values are the dots' 8-bit codes over 255.
        return props.FloatVectorProperty(subtype="COLOR_GAMMA", size=3, min=0.0, max=1.0,
                                         default=colour_of(field["default"]), **common)
    if kind == "choice":
        items = [(word, word, "") for word in field["choices"]]
        default = field["choices"][0]
        for word, value in zip(field["choices"], field["choice_values"]):
            if value == field["default"]:
                default = word
        return props.EnumProperty(items=items, default=default, **common)
    raise ValueError(f"field {field['name']}: unknown type {kind!r}")


def frame_seed(run_seed, frame, stable):
    """As the zavol tool seeds frame F of a sequence: stable dots keep the run's seed, stream
    dots take the seed plus the frame number, so frames rendered apart equal one run's."""
    return run_seed if stable else (run_seed + frame) % 2**32


def render_arguments(settings, frame):
    """The scene's zavol settings as zavol.render's keyword arguments for one frame, and the
    far cutoff for reading the depth."""
    arguments = {}
    screen = [1920, 1080]
    cutoff = 1e9
    for field in fields():
        name = field["name"]
        value = getattr(settings, name)
        if field["type"] == "colour":
            value = tuple(int(round(max(0.0, min(1.0, c)) * 255)) for c in value)
        if field["place"] == "input":
            if name == "far_cutoff":
                cutoff = value
            continue
        if name == "screen_width":
            screen[0] = value
        elif name == "screen_height":
            screen[1] = value
        elif name == "anchor":
            arguments[name] = None if value == "auto" else value
        else:
            arguments[name] = value
    arguments["screen"] = tuple(screen)
    stable = arguments.get("dots") == "stable"
    arguments["seed"] = frame_seed(int(arguments.get("seed", 0)), frame, stable)
    return arguments, cutoff


def composite_lacks_depth(scene):
    """With the compositor on, the Z Blender saves is the Composite node's Z input: 1.0
    everywhere when nothing is linked to it."""
    if not (scene.use_nodes and scene.render.use_compositing and scene.node_tree):
        return False
    for node in scene.node_tree.nodes:
        if node.bl_idname == "CompositorNodeComposite":
            z = node.inputs.get("Z")
            return z is None or not z.is_linked
    return False


def scratch_folder():
    """Memory-backed where the system has it: the depth file is written and read once."""
    return "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None


def save_depth(scene, path):
    """Saves the Render Result, with its Z pass, as a multilayer OpenEXR at path (in background
    mode neither Render Result nor the Viewer node holds pixels to read directly)."""
    result = bpy.data.images.get("Render Result")
    if result is None:
        raise RuntimeError("no render result to read the depth from")
    image_settings = scene.render.image_settings
    kept = (image_settings.file_format, image_settings.color_depth, image_settings.exr_codec)
    try:
        image_settings.file_format = "OPEN_EXR_MULTILAYER"
        # Full float and no compression: the quickest to write (converting the colour to half
        # floats or compressing took three to eight times as long at 1920x1080), and Z is
        # written in full float either way.
        image_settings.color_depth = "32"
        image_settings.exr_codec = "NONE"
        result.save_render(path, scene=scene)
    finally:
        (image_settings.file_format, image_settings.color_depth, image_settings.exr_codec) = kept


def read_frame_depth(zavol, scene, path, cutoff):
    """The frame's depth in the engine's convention, from the saved EXR of its view layer."""
    channels = [f"{layer.name}.Depth.Z" for layer in scene.view_layers if layer.use]
    try:
        return zavol.read_depth(path, "distance", channels[0] if channels else None,
                                far_cutoff=cutoff)
    except zavol.FileError as error:
        raise RuntimeError(f"no depth in the render ({error}); is the Z pass on?") from None


def pattern_pixels(image):
    """An image of the file as the dots' colours: (height, width, 4), top row first, 8-bit
    images as uint8 and float images as uint16."""
    import numpy as np
    if not image.has_data:
        _load_pixels(image)
    if image.size[0] == 0 or image.size[1] == 0:
        raise RuntimeError(f"the pattern image '{image.name}' has no pixels"
                           + (f" (file {image.filepath!r} is missing)" if image.filepath else ""))
    width, height = image.size
    pixels = np.empty(width * height * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    pixels = pixels.reshape(height, width, 4)[::-1]
    if image.is_float:
        return np.ascontiguousarray(np.round(np.clip(pixels, 0, 1) * 65535).astype(np.uint16))
    return np.ascontiguousarray(np.round(np.clip(pixels, 0, 1) * 255).astype(np.uint8))


def _load_pixels(image):
    try:
        image.pixels[0]  # touching the pixels loads the file
    except (IndexError, RuntimeError):
        pass


def image_path(scene, settings, frame):
    """Where frame's stereogram image goes: beside the render output, the frame's output name
    with "_stereogram" (or the panel's file name, #s standing for the frame number)."""
    if settings.filepath:
        path = bpy.path.abspath(settings.filepath)
        if "#" not in os.path.basename(path):
            root, ext = os.path.splitext(path)
            path = root + "_####" + (ext or ".png")
        head, tail = os.path.split(path)
        run = list(re.finditer(r"#+", tail))[-1]
        tail = tail[:run.start()] + f"{frame:0{len(run.group())}d}" + tail[run.end():]
        path = os.path.join(head, tail)
        return path if path.lower().endswith(".png") else path + ".png"
    if scene.render.is_movie_format:
        # One movie for every frame: the pictures need the frame number of their own.
        return output_stem(scene) + f"stereogram_{frame:04d}.png"
    rendered = scene.render.frame_path(frame=frame)
    root, _ = os.path.splitext(rendered)
    return root + "_stereogram.png"


def output_stem(scene):
    """The render output's folder and name without its frame number, ready for a suffix:
    "//shots/out_####" gives ".../shots/out_", "/tmp/" gives "/tmp/"."""
    output = bpy.path.abspath(scene.render.filepath) or tempfile.gettempdir() + os.sep
    head, tail = os.path.split(output)
    stem = tail.replace("#", "").rstrip("_.- ")
    return os.path.join(head, stem + "_" if stem else "")


VIDEO_EXTENSIONS = {"mp4": ".mp4", "mkv": ".mkv", "webm": ".webm", "gif": ".gif"}


def video_path(scene, settings):
    """Where an animation's stereogram video goes: the panel's file name, or beside the render
    output named after it without the frame number."""
    extension = VIDEO_EXTENSIONS[settings.video_format]
    if settings.filepath:
        path = bpy.path.abspath(settings.filepath)
        return path if os.path.splitext(path)[1] else path + extension
    return output_stem(scene) + "stereogram" + extension


def video_rate(scene):
    """The scene's frame rate as the tool's --fps takes it: "30000/1001" for 29.97."""
    from fractions import Fraction
    rate = Fraction(scene.render.fps) / Fraction(scene.render.fps_base).limit_denominator(100000)
    return f"{rate.numerator}/{rate.denominator}"
