# The render handlers: after each rendered frame the add-on saves the frame's depth, renders its
# stereogram, and when Blender writes the frame (F12 does not, -f, -a and Render Animation do)
# writes it beside the render output or into the animation's video. A stereogram that fails is
# reported (in background mode as one line on stderr) and never stops or loses the render.
import os
import shutil
import sys
import tempfile
import warnings

import bpy
from bpy.app.handlers import persistent

from . import engine

PREVIEW_NAME = "Autostereogram"


class _Run:
    """What one render job (a frame, or an animation) keeps between handlers."""

    def __init__(self):
        self.pending = None   # (frame, stereogram) rendered, not yet written
        self.video = None     # zavol.VideoWriter of an animation
        self.failed = False   # the video lost a frame: no video is made
        self.depth_path = None  # the frame's depth EXR, kept to be put beside its stereogram

    def drop_depth(self):
        if self.depth_path and os.path.exists(self.depth_path):
            os.remove(self.depth_path)
        self.depth_path = None


_run = _Run()


def report(message, frame=None):
    """A failure, to the user: one line on stderr in background mode; in the interface the
    panel's status and a report in the status bar."""
    text = f"zavol: {'frame %d: ' % frame if frame is not None else ''}{message}"
    print(text, file=sys.stderr, flush=True)
    if not bpy.app.background:
        _on_main_thread(lambda: _show_report(text))


def _show_status(text):
    for scene in bpy.data.scenes:
        if hasattr(scene, "zavol"):
            scene.zavol.status = text


def _show_report(text):
    _show_status(text)
    try:
        bpy.ops.zavol.report("EXEC_DEFAULT", message=text)
    except (RuntimeError, AttributeError):
        pass


def _on_main_thread(work):
    # Render handlers run on the render thread in the interface; Blender's data is touched only
    # from the main thread, through a timer.
    def run():
        work()
        return None
    bpy.app.timers.register(run, first_interval=0.0)


def _settings(scene):
    settings = getattr(scene, "zavol", None)
    return settings if settings is not None and getattr(settings, "enabled", False) else None


@persistent
def on_render_init(scene, *args):
    global _run
    _run = _Run()
    settings = _settings(scene)
    if settings is None:
        return
    if not bpy.app.background:
        _on_main_thread(lambda: _show_status(""))  # a new render: the last one's problem goes
    zavol, problem = engine.load()
    if zavol is None:
        report(problem)
        return
    if scene.camera is None:
        report("no camera: the scene has no active camera, so there is no depth")
    for layer in scene.view_layers:
        layer.use_pass_z = True


@persistent
def on_render_post(scene, *args):
    settings = _settings(scene)
    if settings is None:
        return
    zavol, _ = engine.load()
    frame = scene.frame_current
    _run.pending = None
    _run.drop_depth()
    if zavol is None:
        return  # said once, when the render started
    try:
        _run.pending = (frame, stereogram(zavol, scene, settings, frame))
    except Exception as error:  # whatever fails, the render goes on and is written
        if settings.output == "VIDEO" and not _run.failed:
            # A video short of a frame would be wrong: none is made.
            _run.failed = True
            _run.video = None
            report(f"{error}; the video is not made", frame)
        elif settings.output != "VIDEO":
            report(str(error), frame)
        return
    if not bpy.app.background:
        image = _run.pending[1]
        _on_main_thread(lambda: show_preview(image))


@persistent
def on_render_write(scene, *args):
    settings = _settings(scene)
    if settings is None or _run.pending is None:
        return
    frame, image = _run.pending
    _run.pending = None
    zavol, _ = engine.load()
    try:
        if settings.output == "VIDEO":
            if _run.failed:
                return
            if _run.video is None:
                path = engine.video_path(scene, settings)
                _run.video = zavol.VideoWriter(
                    path, fps=engine.video_rate(scene), format=settings.video_format,
                    crf=settings.video_crf if settings.video_crf >= 0 else None)
            _run.video.write(image)
        else:
            path = engine.image_path(scene, settings, frame)
            zavol.write_image(path, image)
            if settings.keep_depth and _run.depth_path:
                shutil.move(_run.depth_path, os.path.splitext(path)[0] + "_depth.exr")
                _run.depth_path = None
    except Exception as error:  # whatever fails, the render goes on and is written
        if settings.output == "VIDEO":
            _run.failed = True
            _run.video = None  # dropped unfinished: no video under its name
            report(f"{error}; the video is not made", frame)
        else:
            report(str(error), frame)


@persistent
def on_render_complete(scene, *args):
    _run.drop_depth()
    video, _run.video = _run.video, None
    if video is None:
        return
    try:
        video.close()
    except Exception as error:
        report(str(error))


@persistent
def on_render_cancel(scene, *args):
    # A cancelled animation leaves no video: the writer is dropped unfinished.
    _run.video = None
    _run.pending = None
    _run.drop_depth()


def stereogram(zavol, scene, settings, frame):
    """The stereogram of the frame just rendered, as zavol.render returns it."""
    if engine.composite_lacks_depth(scene):
        raise RuntimeError("no depth: the compositor is on and its Composite node's Z input is "
                           "not linked (link the Render Layers node's Depth output to it)")
    arguments, cutoff = engine.render_arguments(settings, frame)
    pattern = None
    if settings.pattern is not None:
        pattern = engine.pattern_pixels(settings.pattern)
    handle, path = tempfile.mkstemp(suffix=".exr", prefix="zavol-depth-",
                                    dir=engine.scratch_folder())
    os.close(handle)
    try:
        engine.save_depth(scene, path)
        depth = engine.read_frame_depth(zavol, scene, path, cutoff)
        # The engine's warnings (too few repeats across the frame, a frame with nothing in
        # front of the background) are the tool's; they reach the user as reports.
        with warnings.catch_warnings(record=True) as seen:
            warnings.simplefilter("always")
            image = zavol.render(depth, pattern=pattern, **arguments)
        for warning in seen:
            report(f"warning: {warning.message}", frame)
        if settings.keep_depth:
            _run.depth_path, path = path, None
        return image
    finally:
        if path is not None and os.path.exists(path):
            os.remove(path)


def show_preview(image):
    """The stereogram as the image "Autostereogram", for the Image Editor."""
    import numpy as np
    height, width = image.shape[:2]
    preview = bpy.data.images.get(PREVIEW_NAME)
    if preview is None or tuple(preview.size) != (width, height):
        if preview is not None:
            bpy.data.images.remove(preview)
        preview = bpy.data.images.new(PREVIEW_NAME, width, height, alpha=True)
    pixels = (image[::-1].astype(np.float32) / 65535.0).ravel()
    preview.pixels.foreach_set(pixels)
    preview.update()


_HANDLERS = (
    ("render_init", on_render_init),
    ("render_post", on_render_post),
    ("render_write", on_render_write),
    ("render_complete", on_render_complete),
    ("render_cancel", on_render_cancel),
)


def register():
    for name, handler in _HANDLERS:
        getattr(bpy.app.handlers, name).append(handler)


def unregister():
    for name, handler in _HANDLERS:
        handlers = getattr(bpy.app.handlers, name)
        if handler in handlers:
            handlers.remove(handler)
