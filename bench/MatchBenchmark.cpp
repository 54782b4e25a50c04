// Finding a 48×48 picture on the screen: in a 400×400 region and in the whole 1280×800
// screen, at the recorded scale and with five sizes tried, against OpenCV's plain
// normalised correlation over the same images in colour at full size as the baseline.
// One thread, as a playback's wait has. "misses" counts searches that did not end at the
// picture's place (it must stay 0).
#include "Services/Screen/ImageMatcher.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

namespace {

// A busy desktop: blocks of random colours with some soft edges, like windows' content.
ScreenImage desktop(int width, int height)
{
    cv::Mat bgr(height, width, CV_8UC3);
    std::mt19937 random(7);
    for (int y = 0; y < height; y += 8)
        for (int x = 0; x < width; x += 8)
            bgr(cv::Rect(x, y, std::min(8, width - x), std::min(8, height - y)))
                .setTo(cv::Scalar(double(random() % 256), double(random() % 256), double(random() % 256)));
    cv::GaussianBlur(bgr, bgr, cv::Size(3, 3), 0.8);
    cv::Mat bgra;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    ScreenImage image{QRectF(0, 0, width, height), width, height, {}};
    image.pixels.assign(bgra.data, bgra.data + bgra.total() * 4);
    return image;
}

ScreenImage crop(const ScreenImage& image, int x0, int y0, int width, int height)
{
    ScreenImage part{QRectF(image.area.x() + x0, image.area.y() + y0, width, height), width, height, {}};
    part.pixels.resize(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::copy_n(&image.pixels[(std::size_t(y0 + y) * image.width + x0) * 4], std::size_t(width) * 4,
                    &part.pixels[std::size_t(y) * width * 4]);
    return part;
}

struct Scene {
    ScreenImage screen = desktop(1280, 800);
    ScreenImage region = crop(screen, 500, 200, 400, 400);
    ScreenImage picture = crop(screen, 700, 380, 48, 48);
};

const Scene& scene()
{
    static const Scene s;
    return s;
}

cv::Mat bgrOf(const ScreenImage& image)
{
    cv::Mat bgr;
    cv::cvtColor(cv::Mat(image.height, image.width, CV_8UC4, const_cast<std::uint8_t*>(image.pixels.data())), bgr,
                 cv::COLOR_BGRA2BGR);
    return bgr;
}

const ScreenImage& haystack(int which)
{
    return which == 0 ? scene().region : scene().screen;
}

void BM_ImageMatcher(benchmark::State& state)
{
    cv::setNumThreads(1);
    const ScreenImage& screen = haystack(int(state.range(0)));
    ImageMatcher::Options options;
    if (state.range(1) > 1)
        options.sizeFactors = {0.8, 0.9, 1.0, 1.1, 1.2};
    int misses = 0;
    for (auto _ : state) {
        const auto found = ImageMatcher::find(scene().picture, screen, options);
        if (!found || found->area.topLeft() != scene().picture.area.topLeft())
            ++misses;
        benchmark::DoNotOptimize(found);
    }
    state.counters["misses"] = misses;
}

// The baseline: the screen and the picture as they come, in colour, every size at full
// resolution.
void BM_PlainMatchTemplate(benchmark::State& state)
{
    cv::setNumThreads(1);
    const ScreenImage& screen = haystack(int(state.range(0)));
    const std::vector<double> factors = state.range(1) > 1 ? std::vector<double>{0.8, 0.9, 1.0, 1.1, 1.2}
                                                           : std::vector<double>{1.0};
    int misses = 0;
    for (auto _ : state) {
        const cv::Mat big = bgrOf(screen), small = bgrOf(scene().picture);
        double best = -2;
        cv::Point bestAt;
        for (const double f : factors) {
            cv::Mat needle, result;
            cv::resize(small, needle, cv::Size(), f, f, cv::INTER_LINEAR);
            cv::matchTemplate(big, needle, result, cv::TM_CCOEFF_NORMED);
            double value = 0;
            cv::Point at;
            cv::minMaxLoc(result, nullptr, &value, nullptr, &at);
            if (value > best) {
                best = value;
                bestAt = at;
            }
        }
        if (QPointF(screen.area.x() + bestAt.x, screen.area.y() + bestAt.y) != scene().picture.area.topLeft())
            ++misses;
        benchmark::DoNotOptimize(best);
    }
    state.counters["misses"] = misses;
}

// range(0): 0 the 400×400 region, 1 the whole screen; range(1): sizes tried.
BENCHMARK(BM_PlainMatchTemplate)->ArgsProduct({{0, 1}, {1, 5}})->ArgNames({"screen", "sizes"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMatcher)->ArgsProduct({{0, 1}, {1, 5}})->ArgNames({"screen", "sizes"})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
