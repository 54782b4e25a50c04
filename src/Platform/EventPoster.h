#pragma once

#include "Platform/SyntheticEvent.h"

#include <QString>
#include <optional>

// Puts synthetic input into the system's input stream. Used from one thread at a time
// (the playback thread).
class EventPoster
{
public:
    virtual ~EventPoster() = default;

    // Called before the first event of a playback, ahead of its first due instant: a
    // good moment for anything slow (reading the current modifier state).
    virtual void prepare() {}
    // Posts one event; false when it cannot be made (the caller skips it).
    virtual bool post(const SyntheticEvent& event) = 0;
    // Brings the running application with identifier `id` to the front; false when none runs.
    virtual bool activateApplication(const QString& id) = 0;
    // The identifier of the application in front, or nothing when this poster cannot tell.
    virtual std::optional<QString> frontmostApplicationId() { return std::nullopt; }
    // Releases every modifier key the poster pressed to match recorded flags, and undoes
    // a caps lock it toggled. Called whenever a playback ends.
    virtual void releaseModifiers() = 0;
};
