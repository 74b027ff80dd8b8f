// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/telvo_filter.h"

#include <framework/mlt.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "linked/linked_filter.h"
#include "linked/pre_roll.h"
#include "mlt/history_cache.h"
#include "mlt/pixels.h"
#include "mlt/plan_recorder.h"
#include "mlt/planned_frames.h"
#include "mlt/pre_roll_source.h"
#include "mlt/properties.h"

namespace
{

bool kindOf(mlt_image_format format, PictureKind& kind)
{
    switch (format) {
        case mlt_image_rgba:
            kind = PictureKind::rgba;
            return true;
        case mlt_image_rgb:
            kind = PictureKind::rgb;
            return true;
        case mlt_image_yuv422:
            kind = PictureKind::yuv422;
            return true;
        case mlt_image_yuv420p:
            kind = PictureKind::yuv420p;
            return true;
        case mlt_image_yuv422p16:
            kind = PictureKind::yuv422p16;
            return true;
        default:
            return false;
    }
}

// The matrix and range the frame's own properties name; MLT's default otherwise (BT.601
// below 720 lines, BT.709 from there, limited range).
YuvMatrix matrixOf(mlt_frame frame, int height)
{
    mlt_properties p = MLT_FRAME_PROPERTIES(frame);
    int colorspace = mlt_properties_get_int(p, "colorspace");
    if (colorspace == 0) colorspace = height < 720 ? 601 : 709;
    return yuvMatrixFor(colorspace, mlt_properties_get_int(p, "full_range") != 0);
}

// One frame to render: where it sits and the picture MLT handed over.
struct FrameJob {
    mlt_filter filter;
    mlt_frame frame;
    int64_t position;  // in the clip: the key of the history
    SettingsPlace place;
    mlt_image_format format;
    PictureKind kind;
    int64_t clipFrames;  // the length of the clip the frame comes from
};

// Everything one filter holds between frames. MLT may call get_image for frames of one
// filter on several threads at once (real_time other than 1 and -1); the lock makes the
// frames take turns, and the history cache lets each continue from the frame before it
// whichever thread rendered that.
class TelvoFilter
{
public:
    void render(const FrameJob& job, uint8_t* image);

private:
    bool ready(const FrameJob& job);
    void renderPlanned(const FrameJob& job, const std::string& plan, uint8_t* image);
    void rebuildHistory(const FrameJob& job);
    void runOne(int64_t position, const MltPicture& picture, const YuvMatrix& matrix,
                bool whole = true, FrameReport* report = nullptr);
    void record(const FrameJob& job, const std::string& plan, const FrameReport& report);

    std::mutex mutex_;
    LinkedFilter filter_;
    int width_ = 0, height_ = 0;
    PixelFormat format_ = PixelFormat::Bgrx32;
    bool failed_ = false;  // the filter could not be opened at this size: frames pass through
    int64_t at_ = -1;      // the position the live state follows, -1 for none
    HistoryCache cache_;
    std::vector<uint8_t> work_;
    PreRollSource source_;
    PlannedFrames planned_;
    // Analysing: every frame only measured (the cut detector included), its measurement
    // kept by position until the clip is complete.
    LinkedPass pass_ = LinkedPass::render;
    PlanRecorder recorder_;
};

bool TelvoFilter::ready(const FrameJob& job)
{
    const PixelFormat format = workFormatOf(job.kind);
    if (filter_.isOpen() && job.place.width == width_ && job.place.height == height_ &&
        format == format_)
        return true;
    if (failed_ && job.place.width == width_ && job.place.height == height_) return false;
    width_ = job.place.width;
    height_ = job.place.height;
    format_ = format;
    cache_.clear();
    at_ = -1;
    std::string error;
    failed_ = !filter_.open(settingsAt(MLT_FILTER_PROPERTIES(job.filter), job.place), width_,
                            height_, error, format);
    if (failed_) {
        mlt_log_error(MLT_FILTER_SERVICE(job.filter), "%s\n", error.c_str());
        return false;
    }
    work_.resize(workBytes(format_, width_, height_));
    return true;
}

// One frame through the filter, its settings those of its position. The state after it
// is kept for the next frame when it is `whole`: a whole run's state after that frame.
void TelvoFilter::runOne(int64_t position, const MltPicture& picture, const YuvMatrix& matrix,
                         bool whole, FrameReport* report)
{
    toWork(picture, matrix, work_.data());
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(work_.size() / static_cast<size_t>(height_));
    filter_.runTopDown(work_.data(), pitch, work_.data(), pitch, report, FrameRequest{pass_});
    at_ = position;
    if (whole) cache_.store(position, filter_);
}

// The state a whole run would have before job.position: the frames before it run, not
// shown, from a fresh instance (or from the clip's start when that is nearer).
void TelvoFilter::rebuildHistory(const FrameJob& job)
{
    filter_.restart();
    at_ = -1;
    mlt_properties properties = MLT_FILTER_PROPERTIES(job.filter);
    const SettingValues now = settingsAt(properties, job.place);
    const int64_t first = std::max<int64_t>(0, job.position - preRollFrames(now));
    // Only the last frames of a pre-roll have seen as much of the past as a whole run.
    const int64_t firstWhole = first == 0 ? 0 : job.position - 1;
    if (first == job.position) return;
    mlt_profile profile = mlt_service_profile(MLT_FILTER_SERVICE(job.filter));
    if (!source_.openFor(profile, job.frame)) return;
    bool gap = false;  // a frame could not be read: what follows is not a whole run's
    for (int64_t p = first; p < job.position; ++p) {
        uint8_t* image = nullptr;
        mlt_frame frame = source_.fetch(p, job.frame, job.format, width_, height_, &image);
        if (frame == nullptr) {  // the history restarts where the clip could not be read
            filter_.restart();
            gap = true;
            continue;
        }
        SettingsPlace place = job.place;
        place.position -= static_cast<int>(job.position - p);
        filter_.apply(settingsAt(properties, place));
        runOne(p, mltPicture(job.kind, image, width_, height_), matrixOf(frame, height_),
               p >= firstWhole && !gap);
        mlt_frame_close(frame);
    }
}

// A frame with the plan's correction for its position; one the plan cannot serve passes
// unchanged, and the reason is logged once per plan.
void TelvoFilter::renderPlanned(const FrameJob& job, const std::string& plan, uint8_t* image)
{
    at_ = -1;  // the history was not advanced: a later one-pass frame rebuilds it
    std::string error;
    const bool fresh = plan != planned_.lastPath();
    const CorrectionParams* values =
        planned_.load(plan, error) ? planned_.at(job.position) : nullptr;
    if (values == nullptr) {
        if (fresh)
            mlt_log_warning(
                MLT_FILTER_SERVICE(job.filter), "%s\n",
                error.empty() ? "the plan has no frame at this position" : error.c_str());
        return;
    }
    const SettingValues settings =
        planned_.adopt(settingsAt(MLT_FILTER_PROPERTIES(job.filter), job.place), width_, height_);
    filter_.apply(settings);
    const YuvMatrix matrix = matrixOf(job.frame, height_);
    toWork(mltPicture(job.kind, image, width_, height_), matrix, work_.data());
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(work_.size() / static_cast<size_t>(height_));
    filter_.runTopDown(work_.data(), pitch, work_.data(), pitch, nullptr,
                       FrameRequest{LinkedPass::planned, *values});
    toPicture(work_.data(), matrix, mltPicture(job.kind, image, width_, height_));
}

// Keeps the frame's measurement; the frame that completes the clip writes the plan.
void TelvoFilter::record(const FrameJob& job, const std::string& plan, const FrameReport& report)
{
    recorder_.start(plan, job.clipFrames, width_, height_,
                    settingsAt(MLT_FILTER_PROPERTIES(job.filter), job.place));
    if (!recorder_.record(job.position, report)) return;
    std::string error;
    if (recorder_.write(error))
        mlt_log_info(MLT_FILTER_SERVICE(job.filter), "plan written: %s\n", plan.c_str());
    else
        mlt_log_error(MLT_FILTER_SERVICE(job.filter), "%s\n", error.c_str());
}

void TelvoFilter::render(const FrameJob& job, uint8_t* image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ready(job)) return;
    mlt_properties properties = MLT_FILTER_PROPERTIES(job.filter);
    const char* plan = mlt_properties_get(properties, "plan");
    if (plan != nullptr && *plan != '\0') return renderPlanned(job, plan, image);
    const char* analyse = mlt_properties_get(properties, "analyse");
    const bool analysing = analyse != nullptr && *analyse != '\0';
    if (analysing != (pass_ == LinkedPass::measure)) {  // states of the other pass are no use
        pass_ = analysing ? LinkedPass::measure : LinkedPass::render;
        cache_.clear();
        at_ = -1;
    }
    // The state after the frame before, if it is known for the settings that frame
    // renders with now; the live state when playback runs on.
    SettingsPlace before = job.place;
    before.position -= 1;
    const LinkedSnapshot* state =
        job.position > 0 ? cache_.find(job.position - 1, settingsAt(properties, before)) : nullptr;
    if (state == nullptr)
        rebuildHistory(job);
    else if (at_ != job.position - 1)
        filter_.restoreSnapshot(*state);
    filter_.apply(settingsAt(properties, job.place));
    FrameReport report{};
    runOne(job.position, mltPicture(job.kind, image, width_, height_), matrixOf(job.frame, height_),
           true, &report);
    if (analysing) return record(job, analyse, report);  // measured only: the picture stays
    toPicture(work_.data(), matrixOf(job.frame, height_),
              mltPicture(job.kind, image, width_, height_));
}

int64_t clipFramesOf(mlt_frame frame)
{
    mlt_producer original = mlt_frame_get_original_producer(frame);
    return original != nullptr ? mlt_producer_get_length(mlt_producer_cut_parent(original)) : 0;
}

int getImage(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height,
             int writable)
{
    (void)writable;
    auto filter = static_cast<mlt_filter>(mlt_frame_pop_service(frame));
    PictureKind kind;
    if (!kindOf(*format, kind)) *format = mlt_image_rgba;
    const int error = mlt_frame_get_image(frame, image, format, width, height, 1);
    if (error != 0 || *image == nullptr || !kindOf(*format, kind) || *width <= 0 || *height <= 0 ||
        !fitsLayout(kind, *width, *height))
        return error;

    mlt_service_lock(MLT_FILTER_SERVICE(filter));
    mlt_profile profile = mlt_service_profile(MLT_FILTER_SERVICE(filter));
    const FrameJob job{
        filter,
        frame,
        mlt_frame_original_position(frame),
        SettingsPlace{static_cast<int>(mlt_filter_get_position(filter, frame)),
                      static_cast<int>(mlt_filter_get_length2(filter, frame)),
                      profile != nullptr ? profile->width : *width,
                      profile != nullptr ? profile->height : *height, *width, *height},
        *format,
        kind,
        clipFramesOf(frame),
    };
    mlt_service_unlock(MLT_FILTER_SERVICE(filter));
    // Nothing may leave into MLT's C: a frame the filter cannot render (no memory) is
    // passed on as it came.
    try {
        static_cast<TelvoFilter*>(filter->child)->render(job, *image);
    } catch (const std::exception& e) {
        mlt_log_error(MLT_FILTER_SERVICE(filter), "frame %d passed unfiltered: %s\n",
                      static_cast<int>(job.position), e.what());
    }
    return 0;
}

mlt_frame process(mlt_filter filter, mlt_frame frame)
{
    mlt_frame_push_service(frame, filter);
    mlt_frame_push_get_image(frame, getImage);
    return frame;
}

void closeFilter(mlt_filter filter)
{
    delete static_cast<TelvoFilter*>(filter->child);
    filter->child = nullptr;
    filter->close = nullptr;
    filter->parent.close = nullptr;
    mlt_service_close(&filter->parent);
}

}  // namespace

extern "C" mlt_filter filter_telvo_init(mlt_profile profile, mlt_service_type type, const char* id,
                                        char* arg)
{
    (void)profile, (void)type, (void)id, (void)arg;
    TelvoFilter* self = nullptr;
    try {
        self = new TelvoFilter;
    } catch (const std::exception&) {
        return nullptr;  // MLT reports a filter it could not create
    }
    mlt_filter filter = self != nullptr ? mlt_filter_new() : nullptr;
    if (filter == nullptr) {
        delete self;
        return nullptr;
    }
    filter->child = self;
    filter->process = process;
    filter->close = closeFilter;
    setDefaultProperties(MLT_FILTER_PROPERTIES(filter));
    return filter;
}
