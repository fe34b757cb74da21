// `zavol decode`: reads the depth back out of a stereogram picture (ours or another tool's) as a
// height map or as raw separations, and, with --compare, scores the picture against the depth it
// was rendered from. Depends on the tool's other pieces, zavol_io and the engine's decoder.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/frame_checks.h"
#include "cli/frames.h"
#include "cli/settings_options.h"
#include "cli/tool.h"
#include "cli/view_flags.h"
#include "io/error.h"
#include "io/formats.h"
#include "render/decode.h"
#include "render/decode_compare.h"

namespace zavol::cli {
namespace {

struct DecodeCommandOptions {
  std::string picture, output, confidence, compare, settingsBlock;
  std::string screen = "1920x1080", depthKind, channel;
  float farCutoff = 1e9f;
  int minSeparation = 0, maxSeparation = 0;
  int window = DecodeOptions{}.window;
  float minConfidence = DecodeOptions{}.minConfidence;
  int jobs = std::max(1, static_cast<int>(std::min(std::thread::hardware_concurrency(), 256u)));
  bool separations = false, json = false, quiet = false, fit = false;
  SettingsEdits edits;
  ViewFlags view;  // as given to render: the links the meter replays
  CLI::App* app = nullptr;
  bool Given(const char* option) const { return app->count(option) > 0; }
};

enum class MapFormat { kPng, kPfm, kExr };

bool MapFormatForPath(const std::string& path, MapFormat* format) {
  io::ImageFormat image;
  if (!io::FormatForPath(path, &image)) return false;
  switch (image) {
    case io::ImageFormat::kPng: *format = MapFormat::kPng; return true;
    case io::ImageFormat::kPfm: *format = MapFormat::kPfm; return true;
    case io::ImageFormat::kExr: *format = MapFormat::kExr; return true;
    default: return false;
  }
}

// A map of reals (NaN where unknown) as a file. PNG: 16-bit grey, 0 for unknown and
// 1 + value * 65534 for values in [0, 1]; PFM and EXR: the reals as they are.
void WriteMap(const std::string& path, MapFormat format, int width, int height,
              const std::vector<float>& values, const char* exrChannel) {
  io::OutputFile out(path);
  if (format == MapFormat::kPfm) {
    io::WritePfm(out.Stream(), path, width, height, values.data(), true);
  } else if (format == MapFormat::kExr) {
    io::WriteExrChannel(out, width, height, values.data(), exrChannel);
  } else {
    io::WriteOptions options;
    options.pngBits = 16;
    options.grey = true;
    std::unique_ptr<io::RowWriter> writer =
        io::MakeRowWriter(io::ImageFormat::kPng, out.Stream(), path, width, height, options);
    std::vector<Pixel64> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const float v = values[static_cast<std::size_t>(y) * width + x];
        const uint16_t code = std::isnan(v) ? 0
            : static_cast<uint16_t>(1.0f + std::clamp(v, 0.0f, 1.0f) * 65534.0f + 0.5f);
        row[static_cast<std::size_t>(x)] = Pixel64{code, code, code, 65535};
      }
      writer->WriteRow(row.data());
    }
    writer->Finish();
  }
  out.Commit();
}

// Near is bright. Diverged eyes see the narrowest separation searched nearest (height 1) and
// the widest farthest (height 0); crossed eyes see the widest nearest.
std::vector<float> Heights(const std::vector<float>& separations, const SeparationBounds& b,
                           ViewDirection view) {
  const float span = static_cast<float>(b.maxSeparation - b.minSeparation);
  const bool crossed = view == ViewDirection::kCross;
  std::vector<float> heights(separations.size());
  for (std::size_t i = 0; i < separations.size(); ++i) {
    const float s = separations[i];
    const float fromFar = crossed ? s - static_cast<float>(b.minSeparation)
                                  : static_cast<float>(b.maxSeparation) - s;
    heights[i] = std::isnan(s) ? s : span > 0.0f ? std::clamp(fromFar / span, 0.0f, 1.0f) : 1.0f;
  }
  return heights;
}

// Below this share of pixels decoded, the settings' range is taken to miss the picture's repeats.
constexpr double kLittleDecoded = 0.5;
// A dominant repeat this many pixels beyond either end of the settings' range lies outside it
// (the estimate is whole pixels; oversampled backgrounds lie a fraction beyond the end).
constexpr int kPeriodSlack = 2;
// An estimated range that decodes this share of what the settings' range decoded replaces it
// when the picture's dominant repeat lies outside the settings' range.
constexpr double kNearlyAsMany = 0.9;

std::size_t KnownPixels(const std::vector<float>& separations) {
  return static_cast<std::size_t>(std::count_if(separations.begin(), separations.end(),
                                                [](float s) { return !std::isnan(s); }));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error);
}

struct Progress {
  bool bar = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown = start;
};

int OnRows(void* user, int rowsDone, int rows) {
  if (StopRequested()) return 1;
  Progress& p = *static_cast<Progress*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (p.bar && now - p.shown > std::chrono::milliseconds(200)) {
    p.shown = now;
    DrawBar(rowsDone, rows, std::chrono::duration<double>(now - p.start).count(), "rows");
  }
  return 0;
}

std::string Fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.5f", value);
  return text;
}

std::string Real(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// geometry is null for pictures the geometric meter cannot judge (oversampled rows).
void PrintComparison(const DecodeCommandOptions& o, const DecodeComparison& c,
                     const SeparationBounds& b, int echoReach, const GeometricRepeats* geometry) {
  char share[32], error[32], visibleShare[32];
  std::snprintf(share, sizeof share, "%.5f", c.matchShare);
  std::snprintf(error, sizeof error, "%.5f", c.meanError);
  std::snprintf(visibleShare, sizeof visibleShare, "%.5f",
                c.pixels > 0 ? static_cast<double>(c.visible) / static_cast<double>(c.pixels)
                             : 0.0);
  std::vector<std::pair<std::string, std::string>> fields = {
      {"pixels", std::to_string(c.pixels)},
      {"visible", std::to_string(c.visible)},
      {"visible_share", visibleShare},
      {"matched", std::to_string(c.matched)},
      {"match_share", share},
      {"unknown", std::to_string(c.unknown)},
      {"wrong", std::to_string(c.wrong)},
      {"echoes", std::to_string(c.echoes)},
      {"echo_reach", std::to_string(echoReach)},
      {"mean_error", error},
      {"min_separation", std::to_string(b.minSeparation)},
      {"max_separation", std::to_string(b.maxSeparation)}};
  if (geometry != nullptr) {
    fields.emplace_back("geometric_seen", std::to_string(geometry->seenCount));
    fields.emplace_back("geometric_repeated", std::to_string(geometry->repeatedCount));
    fields.emplace_back("geometric_share", Fixed(geometry->share));
    fields.emplace_back("levels", std::to_string(geometry->levels.size()));
  }
  if (o.json) {
    std::string line = "{";
    for (const auto& [key, value] : fields) {
      line += std::string(line.size() > 1 ? ", " : "") + "\"" + key + "\": " + value;
    }
    if (geometry != nullptr) {
      line += ", \"level\": [";
      for (std::size_t i = 0; i < geometry->levels.size(); ++i) {
        const GeometricLevel& l = geometry->levels[i];
        line += std::string(i > 0 ? ", " : "") + "{\"depth\": " + Real(l.depth) +
                ", \"pixels\": " + std::to_string(l.pixels) + ", \"seen\": " +
                std::to_string(l.seen) + ", \"repeated\": " + std::to_string(l.repeated) +
                ", \"share\": " + Fixed(l.share) + "}";
      }
      line += "]";
    }
    std::printf("%s}\n", line.c_str());
  } else {
    for (const auto& [key, value] : fields) std::printf("%s=%s\n", key.c_str(), value.c_str());
    // One line per flat level, nearest first: its depth, pixels, seen and repeated pixels, share.
    if (geometry != nullptr) {
      for (std::size_t i = 0; i < geometry->levels.size(); ++i) {
        const GeometricLevel& l = geometry->levels[i];
        std::printf("level_%zu=depth:%s pixels:%lld seen:%lld repeated:%lld share:%s\n", i + 1,
                    Real(l.depth).c_str(), static_cast<long long>(l.pixels),
                    static_cast<long long>(l.seen), static_cast<long long>(l.repeated),
                    Fixed(l.share).c_str());
      }
    }
  }
}

int RunDecode(const DecodeCommandOptions& o) {
  const char* command = "decode";
  if (o.output.empty() && o.compare.empty()) {
    return UsageError("decode wants -o FILE for the decoded depth, --compare DEPTH for the "
                      "scores, or both",
                      command);
  }
  MapFormat outputFormat = MapFormat::kPng, confidenceFormat = MapFormat::kPng;
  if (!o.output.empty() && !MapFormatForPath(o.output, &outputFormat)) {
    return UsageError(o.output + ": the decoded depth must end in .png, .pfm or .exr", command);
  }
  if (o.separations && outputFormat == MapFormat::kPng) {
    return UsageError(o.output + ": --separations are real numbers of pixels: write them to "
                                 ".pfm or .exr",
                      command);
  }
  if (o.separations && o.output.empty()) Warn("--separations has no effect without -o");
  if (o.compare.empty()) {
    for (const char* option : {"--json", "--depth-kind", "--channel", "--far-cutoff",
                               "--linking", "--dots", "--dot-size", "--anchor"}) {
      if (o.Given(option)) Warn(std::string(option) + " has no effect without --compare");
    }
  }
  if (!o.confidence.empty() && !MapFormatForPath(o.confidence, &confidenceFormat)) {
    return UsageError(o.confidence + ": the confidence map must end in .png, .pfm or .exr",
                      command);
  }
  if (o.window % 2 == 0) {
    return UsageError("--window wants an odd number of pixels, not " + std::to_string(o.window),
                      command);
  }
  if (o.fit && (o.Given("--medium") || o.Given("--dpi"))) {
    return UsageError("--fit chooses the dpi itself: give either --fit or --medium/--dpi", command);
  }
  int screenWidth = 0, screenHeight = 0;
  if (!ParseSize(o.screen, &screenWidth, &screenHeight)) {
    return UsageError("--screen wants WxH, e.g. 1920x1080, not '" + o.screen + "'", command);
  }
  for (const std::string& output : {o.output, o.confidence}) {
    if (SameFile(output, o.picture) || SameFile(output, o.compare)) {
      return UsageError(output + ": is one of the inputs, which it would replace; choose another "
                                 "output name",
                        command);
    }    if (output.empty()) continue;
    io::ImageFormat format = io::ImageFormat::kPng;
    const bool seeks = io::FormatForPath(output, &format) && format == io::ImageFormat::kExr;
    if (const std::string refusal = io::OutputRefusal(output, seeks); !refusal.empty()) {
      return UsageError(refusal, command);
    }
  }
  StereogramSettings settings = DefaultSettings();
  io::Image64 picture;
  io::DepthMap depth;
  try {
    if (!o.settingsBlock.empty()) settings = ReadSettingsBlock(o.settingsBlock);
    for (const std::string& warning : o.edits.Apply(settings)) Warn(warning);
    if (const int code = ReportUnusableSettings(settings, o.edits, o.settingsBlock, command)) {
      return code;
    }
    picture = io::ReadPicture(o.picture);
    if (o.fit) {
      // The dpi render --fit chose for a picture of this width.
      settings.ViewingMedium = kMediumCustomDpi;
      settings.CustomDpi = FitDpi(settings, picture.width);
    }
    if (!o.compare.empty()) {
      io::DepthReadOptions read;
      if (!o.depthKind.empty()) read.kind = io::ParseDepthKind(o.depthKind);
      read.channel = o.channel;
      read.farCutoff = o.farCutoff;
      io::ReadDepthFile(o.compare, read, depth);
      if (depth.width != picture.width || depth.height != picture.height) {
        throw io::IoError(o.compare, "the depth is " + std::to_string(depth.width) + "x" +
                                         std::to_string(depth.height) + ", the picture " +
                                         std::to_string(picture.width) + "x" +
                                         std::to_string(picture.height));
      }
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }

  // The shifts searched: the engine's own range for this picture and medium, or the user's.
  SeparationBounds bounds = FrameSeparationBounds(settings, picture.width, picture.height,
                                                  screenWidth, screenHeight, o.view.oversample);
  if (o.minSeparation > 0) bounds.minSeparation = o.minSeparation;
  if (o.maxSeparation > 0) bounds.maxSeparation = o.maxSeparation;
  if (bounds.minSeparation > bounds.maxSeparation) {
    return UsageError("the separations searched run from " + std::to_string(bounds.minSeparation) +
                          " to " + std::to_string(bounds.maxSeparation) +
                          " pixels: the smallest must not exceed the largest",
                      command);
  }
  const ConstPixelView view{reinterpret_cast<const uint16_t*>(picture.pixels.data()), picture.width,
                            picture.height, 4 * static_cast<std::ptrdiff_t>(picture.width)};
  if (picture.width <= bounds.minSeparation + o.window / 2) {
    Report(o.picture + ": the picture is " + std::to_string(picture.width) +
           " pixels wide, too narrow to hold one repeat of the smallest separation searched (" +
           std::to_string(bounds.minSeparation) +
           " pixels); give --min-separation, or the medium the picture was made for");
    return kFailed;
  }
  // A picture made for another medium or by another program may repeat outside the range the
  // settings give: few of its pixels decode, or they decode to multiples of their repeat (a flat
  // surface repeats at two and three separations too). The rows' own dominant repeat, the
  // background's in most pictures, then says where to look. (A picture narrower than the
  // settings' range is refused above: the estimate alone is no proof that it is a stereogram.)
  const bool rangeGiven = o.minSeparation > 0 || o.maxSeparation > 0;
  const PeriodEstimate estimate = rangeGiven ? PeriodEstimate{} : EstimatePeriod(view);
  const SeparationBounds& found = estimate.bounds;
  const bool estimateFits =
      estimate.period > 0 && picture.width > found.minSeparation + o.window / 2;

  Progress progress;
  progress.bar = !o.quiet && isatty(STDERR_FILENO);
  DecodeOptions options;
  options.bounds = bounds;
  options.window = o.window;
  options.minConfidence = o.minConfidence;
  options.oversample = o.view.oversample;
  options.threads = o.jobs;
  options.progress = OnRows;
  options.user = &progress;
  const std::size_t pixels = picture.pixels.size();
  std::vector<float> separations, confidence;
  try {
    separations.resize(pixels);
    if (!o.confidence.empty()) confidence.resize(pixels);
  } catch (const std::bad_alloc&) {
    Report(o.picture + ": too large for memory");
    return kFailed;
  }
  // 0 when done, else the exit code after the one-line report.
  auto decodeInto = [&](std::vector<float>& into, std::vector<float>& sure) {
    const FrameStatus status =
        DecodeStereogram(view, options, into.data(), sure.empty() ? nullptr : sure.data());
    ClearBar();
    if (status == FrameStatus::kStopped) {
      Report("stopped; no file written");
      return StoppedExitCode();
    }
    if (status != FrameStatus::kDone) {
      Report(o.picture + (status == FrameStatus::kOutOfMemory
                              ? ": too large for memory"
                              : ": cannot be decoded with these options"));
      return kFailed;
    }
    return 0;
  };
  if (const int code = decodeInto(separations, confidence)) return code;
  std::size_t known = KnownPixels(separations);
  const bool periodOutside = estimate.period > 0 &&
                             (estimate.period < bounds.minSeparation - kPeriodSlack ||
                              estimate.period > bounds.maxSeparation + kPeriodSlack);
  const bool little = static_cast<double>(known) < kLittleDecoded * static_cast<double>(pixels);
  const bool otherRange = found.minSeparation != bounds.minSeparation ||
                          found.maxSeparation != bounds.maxSeparation;
  if (estimateFits && otherRange && (periodOutside || little)) {
    std::vector<float> again, againConfidence;
    try {
      again.resize(pixels);
      againConfidence.resize(confidence.size());
    } catch (const std::bad_alloc&) {
      Report(o.picture + ": too large for memory");
      return kFailed;
    }
    options.bounds = found;
    if (const int code = decodeInto(again, againConfidence)) return code;
    const std::size_t knownAgain = KnownPixels(again);
    // Outside the settings' range the repeats found there are multiples, so the estimate wins
    // unless it decodes clearly less.
    const bool better =
        periodOutside ? static_cast<double>(knownAgain) >= kNearlyAsMany * static_cast<double>(known)
                      : knownAgain > known;
    auto percent = [pixels](std::size_t count) {
      char text[32];
      std::snprintf(text, sizeof text, "%.1f%%", 100.0 * count / pixels);
      return std::string(text);
    };
    if (!o.quiet) {
      Report(o.picture + ": the separations the settings give (" +
             std::to_string(bounds.minSeparation) + " to " + std::to_string(bounds.maxSeparation) +
             " px) decoded " + percent(known) + " of the pixels; the rows repeat most at " +
             std::to_string(estimate.period) + " px" + (periodOutside ? ", outside that range" : "") +
             ", and searching " + std::to_string(found.minSeparation) + " to " +
             std::to_string(found.maxSeparation) + " px decoded " + percent(knownAgain) +
             (better ? ", so that range is used" : "; the settings' range is kept"));
    }
    if (better) {
      separations.swap(again);
      confidence.swap(againConfidence);
      known = knownAgain;
      bounds = found;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();

  try {
    if (!o.output.empty()) {
      const ViewDirection viewing = o.view.Options().view;
      WriteMap(o.output, outputFormat, picture.width, picture.height,
               o.separations ? separations : Heights(separations, bounds, viewing),
               o.separations ? "separation" : "Y");
    }
    if (!o.confidence.empty()) {
      WriteMap(o.confidence, confidenceFormat, picture.width, picture.height, confidence, "Y");
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  if (!o.compare.empty()) {
    const DepthView depthView{depth.depth.data(), depth.width, depth.height, depth.width};
    IntendedSeparations intended;
    try {
      intended = ViewLinkingSeparations(settings, depthView, screenWidth, screenHeight,
                                        o.view.Options());
    } catch (const std::bad_alloc&) {
      Report(o.compare + ": too large for memory");
      return kFailed;
    }
    GeometricRepeats geometry;
    const bool judged = o.view.oversample == 1;
    try {
      if (judged) {
        geometry = MeasureGeometricRepeats(settings, depthView, screenWidth, screenHeight,
                                           o.view.Options(), view);
      }
    } catch (const std::bad_alloc&) {
      Report(o.compare + ": too large for memory");
      return kFailed;
    }
    PrintComparison(o, CompareDecoded(intended, separations.data()), bounds,
                    intended.backgroundSeparation, judged ? &geometry : nullptr);
  }
  if (!o.quiet) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s: %.1f%% of the pixels decoded (separations %d to %d searched) in %.2f s",
                  o.picture.c_str(), pixels > 0 ? 100.0 * known / pixels : 0.0,
                  bounds.minSeparation, bounds.maxSeparation, seconds);
    Report(line);
  }
  return 0;
}

}  // namespace

Command AddDecodeCommand(CLI::App& app) {
  auto o = std::make_shared<DecodeCommandOptions>();
  CLI::App* decode = app.add_subcommand(
      "decode", "Read the depth back out of a stereogram picture, or score a picture against "
                "the depth it was rendered from");
  o->app = decode;
  decode->footer(
      "For every pixel the decoder finds the distance d at which the picture repeats to its "
      "left (the picture around x matches the picture around x - d), searching the separations "
      "the engine uses for the picture's size and medium (the same settings options as render), "
      "to a fraction of a pixel where the picture allows. Pixels whose repeat is unsure are "
      "unknown: black in PNG, NaN in PFM and EXR; so are pixels whose best window lies across "
      "an edge from them while they themselves do not repeat. Unless --min-separation or "
      "--max-separation is given, the decoder also estimates the repeat the picture's rows hold "
      "most: when it lies outside the separations searched, or fewer than half the pixels "
      "decode, the range around it is searched too, the one that serves better is kept, and a "
      "line says which.\n"
      "--compare prints key=value lines (or --json): visible, the pixels whose depth both eyes "
      "see (the engine repeated their source one separation to the left, not under the guide); "
      "match_share, the share of them decoded within half a pixel of the engine's separation; "
      "mean_error, the mean distance in pixels over those decoded; unknown and wrong, the rest; "
      "echoes, pixels decoded more than half a pixel off within one background separation "
      "(echo_reach) of an edge along the row, an edge lying between two neighbours whose "
      "separations differ by more than a pixel. Beside that replay of the engine's links, the "
      "geometric meter judges the picture by the depth alone: geometric_seen, the pixels whose "
      "surface point both eyes see by the viewing geometry; geometric_repeated and "
      "geometric_share, those whose two images (one separation apart, placed as --linking "
      "places them) have exactly equal colours; and one level_N line per flat level of the "
      "depth, nearest first (not for --oversample pictures, whose repeats are fractions). "
      "Give --compare the viewing options the picture "
      "was rendered with (--view, --oversample, --linking): the engine's separations and links "
      "are then theirs, fractions of a pixel with --oversample. --view cross also turns the "
      "decoded heights round, since crossed eyes see the widest separation nearest. "
      "--oversample also tells the "
      "decoder, with or without --compare, that rows were averaged from N sub-pixels: such a "
      "picture repeats exactly only at a whole multiple of a fractional separation, which then "
      "gives way to the fraction; rows are matched over pairs of pixels, whose repeat stands out "
      "better; and the background may lie up to a pixel further.");
  decode->add_option("PICTURE", o->picture,
                     "Stereogram: PNG (8 or 16 bit), PAM, PPM, PGM (binary) or JPEG")
      ->required();
  decode->add_option("-o,--output", o->output,
                     "Decoded depth: .png (16-bit height map, near bright, unknown black), .pfm "
                     "or .exr (heights 0 far .. 1 near, NaN unknown)")
      ->type_name("FILE");
  decode->add_flag("--separations", o->separations,
                   "Write the separations in pixels instead of heights (.pfm or .exr)");
  decode->add_option("--confidence", o->confidence,
                     "Also write each pixel's confidence, 0..1 (.png, .pfm or .exr)")
      ->type_name("FILE");
  decode->add_option("--compare", o->compare,
                     "Depth file the picture was rendered from (as render reads it): print how "
                     "well the picture decodes to the engine's separations")
      ->type_name("DEPTH");
  decode->add_flag("--json", o->json, "Print the --compare scores as one JSON object");
  decode->add_option("--min-separation", o->minSeparation,
                     "Smallest separation searched, pixels (default: the engine's for the medium)")
      ->check(NumberWithin(1, 65535))
      ->type_name("N");
  decode->add_option("--max-separation", o->maxSeparation,
                     "Largest separation searched, pixels (default: the background separation)")
      ->check(NumberWithin(1, 65535))
      ->type_name("N");
  decode->add_option("--window", o->window,
                     "Pixels of a row compared per shift, odd; larger is surer on noisy or "
                     "finely shifted pictures, smaller is sharper at edges")
      ->check(NumberWithin(1, kMaxDecodeWindow))
      ->capture_default_str();
  decode->add_option("--min-confidence", o->minConfidence,
                     "Pixels less sure than this are unknown: 0 keeps every repeat found, 1 only "
                     "exact ones")
      ->check(NumberWithin(0, 1))
      ->capture_default_str();
  decode->add_option("-j,--jobs", o->jobs, "Rows decoded in parallel; default: all cores")
      ->check(NumberWithin(1, 256))
      ->capture_default_str();
  decode->add_flag("-q,--quiet", o->quiet, "No progress bar and no summary line");
  decode->add_option("--screen", o->screen, "Screen size in pixels of the monitor media")
      ->type_name("WxH")
      ->capture_default_str();
  decode->add_option("--depth-kind", o->depthKind,
                     "What the --compare depth's numbers mean, as for render")
      ->check(CLI::IsMember({"host", "distance", "disparity", "height", "mist"}))
      ->type_name("KIND");
  decode->add_option("--channel", o->channel, "EXR depth channel of --compare, as for render")
      ->type_name("NAME");
  decode->add_option("--far-cutoff", o->farCutoff,
                     "Distances at or above this are background, as for render")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  decode->add_flag("--fit", o->fit, "The picture was rendered with render --fit: the same dpi");
  decode->add_option("--settings", o->settingsBlock,
                     "56-byte settings block the picture was rendered with")
      ->type_name("BLOCK");
  AddSettingsOptions(*decode, o->edits);
  AddViewFlags(*decode, o->view);
  return {decode, [o] { return RunDecode(*o); }};
}

}  // namespace zavol::cli
