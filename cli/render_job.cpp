// The read-render-write job, through the code behind the library's zavol_render. The frame
// streams: the engine hands each finished row (guide included) to the writer through its row
// sink, so the frame never exists whole and compression runs beside the engine (on several
// threads the engine hands its rows over in order on this thread all the same).
#include "cli/render_job.h"

#include <cstdio>
#include <new>

#include "io/error.h"
#include "render/image_render.h"

namespace zavol::cli {
namespace {

static_assert(sizeof(Pixel64) == 4 * sizeof(uint16_t), "a pixel is four 16-bit words");

// What the row sink and the stop query need: the writer, the stop flag and a write error.
struct RowFeed {
  io::RowWriter* writer = nullptr;
  const std::atomic<bool>* stop = nullptr;
  std::string failure;  // a write error; stops the frame
};

// A stop asked for (a signal, another frame's failure) ends the frame before its next row.
int StopQuery(void* user, int, int) noexcept {
  return static_cast<RowFeed*>(user)->stop->load(std::memory_order_relaxed) ? 1 : 0;
}

// Final rows off to the writer. Non-zero when the file could not take them.
int FeedRows(void* user, int first, int end, const uint16_t* words,
             std::ptrdiff_t rowStride) noexcept {
  RowFeed& feed = *static_cast<RowFeed*>(user);
  try {
    for (int y = first; y < end; ++y, words += rowStride) {
      feed.writer->WriteRow(reinterpret_cast<const Pixel64*>(words));
    }
  } catch (const io::IoError& e) {
    feed.failure = e.Reason();
    return 1;
  } catch (const std::bad_alloc&) {
    feed.failure = "out of memory while writing";
    return 1;
  }
  return 0;
}

// pattern repeated to width x height pixels. Throws io::IoError when it does not fit in memory.
io::Image64 TilePattern(const io::Image64& pattern, int width, int height, const std::string& label) {
  io::Image64 tiled;
  try {
    tiled.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    throw io::IoError(label, "the tiled pattern is too large for memory");
  }
  tiled.width = width;
  tiled.height = height;
  for (int y = 0; y < height; ++y) {
    const Pixel64* from = pattern.pixels.data() + static_cast<std::size_t>(y % pattern.height) * pattern.width;
    Pixel64* to = tiled.pixels.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) to[x] = from[x % pattern.width];
  }
  return tiled;
}

// The job's options for the engine, without its pattern and callbacks.
ImageRenderOptions JobOptions(const FrameJob& job) {
  ImageRenderOptions options;
  options.screenWidth = job.screenWidth;
  options.screenHeight = job.screenHeight;
  options.seed = job.seed;
  options.threads = job.threads;
  options.view = job.view;
  return options;
}

DepthView ViewOf(const io::DepthMap& depth) {
  return DepthView{depth.depth.data(), depth.width, depth.height, depth.width};
}

}  // namespace

FramePlan PlanJob(const FrameJob& job, const io::DepthMap& depth) {
  // The tool checks every frame: the depth scan counts what the checks need on its way.
  return PlanImage(job.settings, ViewOf(depth), JobOptions(job), true);
}

FrameResult RenderDepthToFile(const FrameJob& job, const io::DepthMap& depth, const FramePlan& plan,
                              const std::atomic<bool>& stop) {
  io::OutputFile out(job.output);
  // Declared after the file: the writer (and its threads) ends before the file is abandoned.
  std::unique_ptr<io::RowWriter> writer =
      io::MakeRowWriter(job.format, out.Stream(), job.output, depth.width, depth.height, job.write);
  if (RenderDepthToRows(job, depth, plan, *writer, stop) == FrameResult::kStopped) {
    return FrameResult::kStopped;
  }
  writer.reset();
  // A stop that came while the last rows were written: the finished file is not put in place.
  if (stop.load()) return FrameResult::kStopped;
  out.Commit();
  return FrameResult::kWritten;
}

FrameResult RenderDepthToRows(const FrameJob& job, const io::DepthMap& depth, const FramePlan& plan,
                              io::RowWriter& writer, const std::atomic<bool>& stop) {
  RowFeed feed;
  feed.writer = &writer;
  feed.stop = &stop;

  ImageRenderOptions options = JobOptions(job);
  // A tiled pattern is repeated over the whole frame here, so the engine sees one pattern pixel
  // per frame pixel, as it would from a pattern as large as the frame.
  const io::Image64* source = job.pattern;
  io::Image64 tiled;
  if (source != nullptr && job.tilePattern && source->width > 0 && source->height > 0 &&
      (source->width < depth.width || source->height < depth.height)) {
    tiled = TilePattern(*source, depth.width, depth.height, job.output);
    source = &tiled;
  }
  ConstPixelView pattern{};
  if (source != nullptr) {
    pattern = ConstPixelView{reinterpret_cast<const uint16_t*>(source->pixels.data()),
                             source->width, source->height, 4 * source->width};
    options.pattern = &pattern;
  }
  options.progress = StopQuery;
  options.rows = FeedRows;
  options.user = &feed;
  const PixelView noRows{nullptr, depth.width, 0, 0};
  const ImageRenderResult result = RenderImage(job.settings, plan, options, noRows);
  if (result.status == FrameStatus::kStopped) {
    if (!feed.failure.empty()) throw io::IoError(job.output, feed.failure);
    return FrameResult::kStopped;
  }
  if (result.status == FrameStatus::kOutOfMemory) {
    throw io::IoError(job.input, "out of memory for the frame");
  }
  if (job.verbose) {
    std::fprintf(stderr, "zavol: %s: minz=%f\n", job.output.c_str(), result.farthestDepth);
  }
  writer.Finish();
  return FrameResult::kWritten;
}

}  // namespace zavol::cli
