#pragma once

#include "Platform/EventPoster.h"
#include "Platform/Linux/OutputLayout.h"
#include "Platform/Wayland/InputdClient.h"

#include <functional>
#include <set>
#include <vector>

// Replay under Wayland through the input helper's virtual keyboard and absolute pointer.
// Modifiers are pressed to match each key action's flags and let go before the next
// action that is not a key action; positions are normalised against the outputs' layout.
// The helper releases whatever this connection still holds if the player dies.
class WaylandEventPoster : public EventPoster
{
public:
    using Layout = std::function<std::vector<Output>()>;
    using Activate = std::function<bool(const QString& id)>;

    explicit WaylandEventPoster(QString socketPath = {});

    void setLayout(Layout layout) { m_layout = std::move(layout); }
    void setActivate(Activate activate) { m_activate = std::move(activate); }
    void setFrontmost(std::function<std::optional<QString>()> frontmost) { m_frontmost = std::move(frontmost); }
    std::optional<QString> frontmostApplicationId() override { return m_frontmost ? m_frontmost() : std::nullopt; }
    // Why the helper cannot be used, or empty.
    QString connectionProblem();

    void prepare() override;
    bool post(const SyntheticEvent& event) override;
    bool activateApplication(const QString& id) override;
    void releaseModifiers() override;

private:
    bool ensureConnected();
    bool emit(std::uint16_t type, std::uint16_t code, std::int32_t value);
    bool sync();
    void matchModifiers(std::uint64_t flags);
    bool moveTo(double x, double y);

    QString m_socketPath;
    InputdClient m_client;
    QString m_problem;
    Layout m_layout;
    Activate m_activate;
    std::function<std::optional<QString>()> m_frontmost;
    std::vector<Output> m_outputs;
    std::set<std::uint16_t> m_modifiersDown; // evdev codes this poster pressed
};
