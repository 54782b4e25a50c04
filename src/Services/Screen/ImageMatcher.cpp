#include "Services/Screen/ImageMatcher.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The coarse search shrinks by up to this much, keeping the picture at least
// kCoarseMinSide pixels on its shorter side.
constexpr int kMaxShrink = 4;
constexpr int kCoarseMinSide = 12;
// Places the coarse search hands on to the full-size comparison, and how far below the
// threshold the coarse score may be (detail lost in shrinking lowers it).
constexpr int kCandidates = 4;
constexpr double kCoarseSlack = 0.25;
// Below this standard deviation in every channel a picture is plain colour, which
// correlation cannot place: it is compared by its difference instead.
constexpr double kPlainDeviation = 2.0;
// Correlation does not see a change of colour that keeps the shapes (a red button for a
// green one): each step of 128 in the channels' mean colours costs a whole point.
constexpr double kColourCost = 1.0 / 128.0;

cv::Mat bgrOf(const ScreenImage& image)
{
    const cv::Mat bgra(image.height, image.width, CV_8UC4, const_cast<std::uint8_t*>(image.pixels.data()));
    cv::Mat bgr;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

bool isPlain(const cv::Mat& bgr)
{
    cv::Scalar mean, deviation;
    cv::meanStdDev(bgr, mean, deviation);
    return deviation[0] < kPlainDeviation && deviation[1] < kPlainDeviation && deviation[2] < kPlainDeviation;
}

struct Place {
    cv::Point at;
    double score = -1;
};

// The best place of `needle` in `haystack` at full size, in colour.
Place bestAtFullSize(const cv::Mat& haystack, const cv::Mat& needle, bool plain)
{
    cv::Mat result;
    Place best;
    if (plain) {
        // 1 for the same colour, falling with the mean squared difference.
        cv::matchTemplate(haystack, needle, result, cv::TM_SQDIFF);
        double least = 0;
        cv::minMaxLoc(result, &least, nullptr, &best.at, nullptr);
        const double rms = std::sqrt(least / (double(needle.total()) * 3));
        best.score = 1.0 - rms / 64.0;
        return best;
    }
    cv::matchTemplate(haystack, needle, result, cv::TM_CCOEFF_NORMED);
    cv::minMaxLoc(result, nullptr, &best.score, nullptr, &best.at);
    if (!std::isfinite(best.score))
        return {};
    const cv::Scalar there = cv::mean(haystack(cv::Rect(best.at, needle.size()))), wanted = cv::mean(needle);
    double apart = 0;
    for (int c = 0; c < 3; ++c)
        apart = std::max(apart, std::abs(there[c] - wanted[c]));
    best.score -= apart * kColourCost;
    return best;
}

// The highest peaks of a correlation map, each at least one picture apart.
std::vector<cv::Point> peaks(cv::Mat result, cv::Size needle, double floor)
{
    std::vector<cv::Point> found;
    for (int i = 0; i < kCandidates; ++i) {
        double value = 0;
        cv::Point at;
        cv::minMaxLoc(result, nullptr, &value, nullptr, &at);
        if (!std::isfinite(value) || value < floor)
            break;
        found.push_back(at);
        const cv::Rect around(at.x - needle.width / 2, at.y - needle.height / 2, needle.width, needle.height);
        result(around & cv::Rect(0, 0, result.cols, result.rows)).setTo(-2.0f);
    }
    return found;
}

// The best place of `needle` (already at the screen's scale) in `screen`.
Place search(const cv::Mat& screen, const cv::Mat& needle, double threshold)
{
    if (needle.cols > screen.cols || needle.rows > screen.rows || needle.empty())
        return {};
    const bool plain = isPlain(needle);
    int shrink = 1;
    while (shrink < kMaxShrink && std::min(needle.cols, needle.rows) / (shrink * 2) >= kCoarseMinSide)
        shrink *= 2;
    if (plain || shrink == 1)
        return bestAtFullSize(screen, needle, plain);

    // Coarse: grey, shrunk; then each good place again at full size in colour, within
    // the few pixels the shrinking leaves uncertain.
    cv::Mat smallScreen, smallNeedle, greyScreen, greyNeedle, result;
    cv::resize(screen, smallScreen, cv::Size(screen.cols / shrink, screen.rows / shrink), 0, 0, cv::INTER_AREA);
    cv::resize(needle, smallNeedle, cv::Size(needle.cols / shrink, needle.rows / shrink), 0, 0, cv::INTER_AREA);
    cv::cvtColor(smallScreen, greyScreen, cv::COLOR_BGR2GRAY);
    cv::cvtColor(smallNeedle, greyNeedle, cv::COLOR_BGR2GRAY);
    if (isPlain(smallNeedle))
        return bestAtFullSize(screen, needle, false);
    cv::matchTemplate(greyScreen, greyNeedle, result, cv::TM_CCOEFF_NORMED);
    Place best;
    const cv::Rect whole(0, 0, screen.cols, screen.rows);
    for (const cv::Point& coarse : peaks(result, greyNeedle.size(), threshold - kCoarseSlack)) {
        const cv::Rect window = cv::Rect(coarse.x * shrink - shrink, coarse.y * shrink - shrink,
                                         needle.cols + 2 * shrink, needle.rows + 2 * shrink) & whole;
        if (window.width < needle.cols || window.height < needle.rows)
            continue;
        Place here = bestAtFullSize(screen(window), needle, false);
        here.at += window.tl();
        if (here.score > best.score)
            best = here;
    }
    return best;
}

std::optional<ImageMatch> bestMatch(const ScreenImage& picture, const ScreenImage& screen,
                                    const ImageMatcher::Options& options)
{
    if (picture.isNull() || screen.isNull())
        return std::nullopt;
    const cv::Mat screenBgr = bgrOf(screen);
    const cv::Mat pictureBgr = bgrOf(picture);
    const double ratio = screen.scale() / picture.scale();
    std::optional<ImageMatch> best;
    for (const double factor : options.sizeFactors) {
        const double s = ratio * factor;
        const cv::Size size(int(std::lround(pictureBgr.cols * s)), int(std::lround(pictureBgr.rows * s)));
        if (size.width < 1 || size.height < 1)
            continue;
        cv::Mat needle;
        if (size == pictureBgr.size())
            needle = pictureBgr;
        else
            cv::resize(pictureBgr, needle, size, 0, 0, s > 1 ? cv::INTER_LINEAR : cv::INTER_AREA);
        const Place place = search(screenBgr, needle, options.threshold);
        if (place.score < -0.5 || (best && place.score <= best->score))
            continue;
        const double perPixel = 1.0 / screen.scale();
        best = ImageMatch{QRectF(screen.area.x() + place.at.x * perPixel, screen.area.y() + place.at.y * perPixel,
                                 needle.cols * perPixel, needle.rows * perPixel),
                          place.score};
    }
    return best;
}

} // namespace

std::optional<ImageMatch> ImageMatcher::find(const ScreenImage& picture, const ScreenImage& screen, const Options& options)
{
    auto best = bestMatch(picture, screen, options);
    if (!best || best->score < options.threshold)
        return std::nullopt;
    return best;
}

double ImageMatcher::bestScore(const ScreenImage& picture, const ScreenImage& screen, const Options& options)
{
    const auto best = bestMatch(picture, screen, options);
    return best ? std::max(0.0, best->score) : 0.0;
}
