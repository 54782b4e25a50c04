#include "Services/RecordingFilter.h"

std::vector<MacroAction> RecordingFilter::pass(MacroAction action)
{
    const ActionType type = action.type();
    const bool isKey = type == ActionType::keyDown || type == ActionType::keyUp;
    const bool isMouse = type == ActionType::mouseMove || type == ActionType::mouseDown || type == ActionType::mouseUp ||
                         type == ActionType::mouseDrag || type == ActionType::scroll;
    if ((isKey && !m_options.keyboard) || (isMouse && !m_options.mouse))
        return {};
    if (!isMouse || m_options.moveIntervalMs <= 0)
        return {std::move(action)};

    const double interval = m_options.moveIntervalMs / 1000.0;
    if (type == ActionType::mouseMove) {
        if (!m_lastMoveTime || action.timestamp - *m_lastMoveTime >= interval - 1e-9) {
            m_lastMoveTime = action.timestamp;
            m_heldMove.reset();
            return {std::move(action)};
        }
        m_heldMove = std::move(action);
        return {};
    }
    std::vector<MacroAction> result;
    if (m_heldMove && (type == ActionType::mouseDown || type == ActionType::mouseDrag || type == ActionType::scroll)) {
        m_lastMoveTime = m_heldMove->timestamp;
        result.push_back(std::move(*m_heldMove));
        m_heldMove.reset();
    }
    result.push_back(std::move(action));
    return result;
}

void RecordingFilter::reset()
{
    m_lastMoveTime.reset();
    m_heldMove.reset();
}
