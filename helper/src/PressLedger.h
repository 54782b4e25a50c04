#pragma once

#include "InputdProtocol.h"

#include <cstdint>
#include <set>
#include <vector>

// What one client holds down on the virtual devices: every key and button it pressed
// and has not let go. When the client stops, disconnects or dies, the helper posts the
// releases this gives, so no key stays down.
class PressLedger
{
public:
    // Follows one posted event (only key and button events count; repeats change nothing).
    void note(const InputdProtocol::Post& event);
    // The events that let go of everything held, each followed by a report (EV_SYN);
    // the ledger is empty afterwards.
    std::vector<InputdProtocol::Post> releaseAll();
    const std::set<std::uint16_t>& held() const { return m_held; }

private:
    std::set<std::uint16_t> m_held;
};
