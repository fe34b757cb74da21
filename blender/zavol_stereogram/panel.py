# The panel "Autostereogram" in the Output properties, and the scene's settings behind it: the
# add-on's own (on/off, pattern, where results go) and one property per field of the engine's
# field table, with the table's labels, help, ranges, defaults and words.
import bpy

from . import engine


def _enable(settings, context):
    # Depth comes from the render's Z pass; turning the stereogram on turns the pass on.
    if settings.enabled:
        for layer in context.scene.view_layers:
            layer.use_pass_z = True


def settings_class(module):
    props = bpy.props
    annotations = {
        "enabled": props.BoolProperty(
            name="Autostereogram", default=False, update=_enable,
            description="Also make a random-dot autostereogram of every rendered frame"),
        "status": props.StringProperty(name="Status", default="",
                                       description="The last problem with a stereogram"),
        "pattern": props.PointerProperty(
            type=bpy.types.Image, name="Pattern",
            description="An image whose pixel (x, y) gives the dot at (x, y), instead of "
                        "random colours"),
        "output": props.EnumProperty(
            name="Output", default="IMAGES",
            items=[("IMAGES", "Images", "One PNG per frame beside the render output"),
                   ("VIDEO", "Video", "One video of the animation")]),
        "video_format": props.EnumProperty(
            name="Video", default="mp4",
            items=[("mp4", "MP4 (H.264)", "Lossy, plays everywhere"),
                   ("mkv", "Matroska (FFV1)", "Lossless: every dot exact"),
                   ("webm", "WebM (VP9)", "Lossy"),
                   ("gif", "GIF", "Looping; exact with at most 256 colours")]),
        "video_crf": props.IntProperty(
            name="Quality (CRF)", default=-1, min=-1, max=63,
            description="The encoder's constant quality, lower is better; -1: its default"),
        "filepath": props.StringProperty(
            name="File", subtype="FILE_PATH", default="",
            description="Where stereograms go (# for the frame number); empty: beside the "
                        "render output"),
        "keep_depth": props.BoolProperty(
            name="Keep depth", default=False,
            description="Also keep each frame's depth as an OpenEXR file beside its stereogram"),
    }
    if module is not None:
        for field in engine.fields():
            annotations[field["name"]] = engine.property_for(field)
    return type("ZavolSettings", (bpy.types.PropertyGroup,), {"__annotations__": annotations})


class ZAVOL_OT_report(bpy.types.Operator):
    """Shows a stereogram's problem in the status bar"""
    bl_idname = "zavol.report"
    bl_label = "Autostereogram problem"
    bl_options = {"INTERNAL"}

    message: bpy.props.StringProperty()

    def execute(self, context):
        self.report({"ERROR"}, self.message)
        return {"FINISHED"}


class ZAVOL_PT_autostereogram(bpy.types.Panel):
    bl_label = "Autostereogram"
    bl_space_type = "PROPERTIES"
    bl_region_type = "WINDOW"
    bl_context = "output"

    def draw_header(self, context):
        self.layout.prop(context.scene.zavol, "enabled", text="")

    def draw(self, context):
        layout = self.layout
        settings = context.scene.zavol
        module, problem = engine.load()
        if module is None:
            layout.label(text=problem, icon="ERROR")
            return
        layout.use_property_split = True
        layout.active = settings.enabled
        if settings.status:
            layout.label(text=settings.status, icon="ERROR")
        layout.template_ID(settings, "pattern", open="image.open")
        layout.prop(settings, "output", expand=True)
        if settings.output == "VIDEO":
            layout.prop(settings, "video_format")
            layout.prop(settings, "video_crf")
        layout.prop(settings, "filepath")
        if settings.output == "IMAGES":
            layout.prop(settings, "keep_depth")


class _FieldPanel:
    """A sub-panel of the fields of one place in the table."""
    bl_space_type = "PROPERTIES"
    bl_region_type = "WINDOW"
    bl_context = "output"
    bl_parent_id = "ZAVOL_PT_autostereogram"
    place = ""

    @classmethod
    def poll(cls, context):
        return engine.load()[0] is not None

    def draw(self, context):
        layout = self.layout
        layout.use_property_split = True
        settings = context.scene.zavol
        layout.active = settings.enabled
        for field in engine.fields():
            if field["place"] == self.place:
                layout.prop(settings, field["name"])


class ZAVOL_PT_stereogram(_FieldPanel, bpy.types.Panel):
    bl_label = "Stereogram"
    place = "settings"


class ZAVOL_PT_viewing(_FieldPanel, bpy.types.Panel):
    bl_label = "Viewing"
    place = "options"


class ZAVOL_PT_depth(_FieldPanel, bpy.types.Panel):
    bl_label = "Depth"
    bl_options = {"DEFAULT_CLOSED"}
    place = "input"


PANELS = (ZAVOL_PT_autostereogram, ZAVOL_PT_stereogram, ZAVOL_PT_viewing, ZAVOL_PT_depth)
