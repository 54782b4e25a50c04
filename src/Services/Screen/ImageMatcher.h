#pragma once

#include "Models/ScreenImage.h"
#include "Services/Screen/ImageMatch.h"

#include <optional>
#include <vector>

// Finds a small picture (what was under the pointer at recording) in a larger one (the
// screen at replay). Colour-aware normalised correlation, so that a button of another
// colour is not taken for it, tolerant of antialiasing; the picture is brought to the
// screen's pixel scale first (a recording on a scale-1 output replays on a scale-2 one).
// Fast through a coarse search at reduced size whose best places are then compared at
// full size and in colour. Runs on the calling thread.
namespace ImageMatcher {

// Below this a place is not taken for the picture.
inline constexpr double defaultThreshold = 0.8;

struct Options {
    double threshold = defaultThreshold;
    // Sizes to try besides the one the scales give (1.0), for pictures drawn a little
    // larger or smaller than they were recorded: {0.9, 1.0, 1.1}.
    std::vector<double> sizeFactors{1.0};
};

// The best place of `picture` in `screen` at or above the threshold, or nothing.
std::optional<ImageMatch> find(const ScreenImage& picture, const ScreenImage& screen, const Options& options = {});

// How alike the best place is, found or not (for messages and tests); 0 when the
// picture cannot fit.
double bestScore(const ScreenImage& picture, const ScreenImage& screen, const Options& options = {});

} // namespace ImageMatcher
