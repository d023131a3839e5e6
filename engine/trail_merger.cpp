#include "engine/trail_merger.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/excluded_areas.h"
#include "core/exif_times.h"
#include "core/image_file.h"
#include "lang/language_strings.h"
#include "lists/list_commands.h"

namespace nocturo {

namespace {

// The shooting times of this many frames give the gap.
constexpr int kTimedFrames = 16;

bool IsLastTaken(const FileList& left, int index) {
    for (int j = index + 1; j < left.Count(); ++j) {
        if (Takes(left, j)) {
            return false;
        }
    }
    return true;
}

std::string Decimal(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

}  // namespace

TrailMerger::TrailMerger(const RunState& state, ImageOperation operation, bool firstIsMerged)
    : options_(state.Trails) {
    const bool draws = firstIsMerged && (operation == &AddMax || operation == &AddMaxLum);
    fills_ = draws && options_.fillGaps;
    fades_ = draws && options_.fades.Active();
    byLuminosity_ = operation == &AddMaxLum;
    report_.asked = fills_;
}

void TrailMerger::Prepare(const FileList& left, const Reader& read) {
    if (!Active()) {
        return;
    }
    frames_ = 0;
    std::vector<std::string> names;
    for (int i = 0; i < left.Count(); ++i) {
        if (Takes(left, i)) {
            ++frames_;
            names.push_back(left.Text(i));
        }
    }
    if (!fills_) {
        return;
    }

    double gap = options_.gapFraction;
    if (!options_.gapFractionForced) {
        std::vector<ShotTime> shots;
        for (size_t k = 0; k < names.size() && k < kTimedFrames; ++k) {
            if (const auto shot = ReadShotTime(names[k])) {
                shots.push_back(*shot);
            }
        }
        if (const auto fromFrames = GapFraction(shots)) {
            gap = *fromFrames;
            report_.gapFromFrames = true;
        }
    }
    report_.gapFraction = gap;

    // The first frames the run takes, kept for it; the stars of each.
    std::vector<StarFrame> stars;
    std::chrono::steady_clock::duration measured{};
    int ordinal = 0;
    int width = 0;
    int height = 0;
    for (int i = 0; i < left.Count() && static_cast<int>(prepared_.size()) < kMeasuredFrames; ++i) {
        if (!Takes(left, i)) {
            continue;
        }
        Prepared p{i, left.Text(i), RgbImage()};
        if (read(i, p.frame) && p.frame.Width() > 0 && !p.frame.IsEmptyImage() &&
            (prepared_.empty() || p.frame.SameSize(prepared_.front().frame))) {
            if (prepared_.empty()) {
                width = p.frame.Width();
                height = p.frame.Height();
                if (!options_.skyMask.empty()) {
                    RgbImage picture;
                    if (LoadImageFile(picture, options_.skyMask)) {
                        mask_ = MakeSkyMask(picture, width, height);
                    }
                    if (mask_.Empty()) {
                        report_.maskFailed = true;
                        fills_ = false;
                        return;
                    }
                }
            }
            const auto start = std::chrono::steady_clock::now();
            background_.Measure(p.frame);
            stars.push_back(
                {ordinal, FindStars(p.frame, background_, mask_.Empty() ? nullptr : &mask_)});
            measured += std::chrono::steady_clock::now() - start;
            prepared_.push_back(std::move(p));
        }
        ++ordinal;
    }
    const auto start = std::chrono::steady_clock::now();
    report_.rotation = MeasureRotation(stars, width, height);
    measured += std::chrono::steady_clock::now() - start;
    report_.measureSeconds = std::chrono::duration<double>(measured).count();
    fills_ = report_.rotation.found;
    report_.filled = fills_;
    gapRadians_ = report_.rotation.radiansPerFrame * gap;
}

bool TrailMerger::TakePrepared(const FileList& left, int index, RgbImage& destination) {
    for (auto it = prepared_.begin(); it != prepared_.end(); ++it) {
        if (it->index == index) {
            const bool same = index < left.Count() && left.Text(index) == it->name;
            if (same) {
                destination.Swap(it->frame);
            }
            prepared_.erase(it);
            return same;
        }
    }
    return false;
}

void TrailMerger::BeforeMerge(RgbImage& frame, const FileList& left, int index, int merged,
                              bool weighInMerge) {
    pending_ = false;
    factor_ = kFullWeight;
    if (fades_) {
        const uint32_t factor = FadeFactor(options_.fades, merged, frames_);
        if (weighInMerge && WeighsInMerge()) {
            factor_ = factor;
        } else {
            ApplyFadeFactor(frame, factor);
        }
    }
    // The last frame ends with its own exposure.
    if (!fills_ || IsLastTaken(left, index)) {
        return;
    }
    const SkyMask* mask = mask_.Empty() ? nullptr : &mask_;
    background_.Measure(frame);
    ExtractStarPixels(frame, background_, mask, pixels_);
    // What the user left out of this frame is not drawn by the fill either.
    if (const ExcludedAreas& areas = left.Excluded(index); !areas.empty()) {
        std::erase_if(pixels_, [&](const StarPixel& p) { return InExcludedArea(areas, p.x, p.y); });
    }
    pending_ = true;
}

void TrailMerger::AfterMerge(RgbImage& result) {
    if (!pending_) {
        return;
    }
    pending_ = false;
    FillGap(pixels_, report_.rotation, gapRadians_, byLuminosity_, mask_.Empty() ? nullptr : &mask_,
            result);
}

std::vector<std::string> TrailReportLines(const TrailReport& report) {
    std::vector<std::string> lines;
    if (!report.asked) {
        return lines;
    }
    if (report.maskFailed) {
        lines.push_back(Lng().txtSkyMaskFailed);
        return lines;
    }
    if (!report.filled) {
        lines.push_back(Lng().txtNoSkyRotation);
        return lines;
    }
    const SkyRotation& r = report.rotation;
    lines.push_back(FormatText(Lng().txtSkyRotation, Decimal(r.centreX, 1), Decimal(r.centreY, 1),
                               Decimal(r.DegreesPerFrame(), 4), r.pairs));
    lines.push_back(FormatText(report.gapFromFrames ? Lng().txtGapFromFrames : Lng().txtGapFromUser,
                               Decimal(report.gapFraction, 3)));
    return lines;
}

}  // namespace nocturo
