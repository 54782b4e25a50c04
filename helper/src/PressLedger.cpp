#include "PressLedger.h"

#include <linux/input-event-codes.h>

void PressLedger::note(const InputdProtocol::Post& event)
{
    if (event.type != EV_KEY)
        return;
    if (event.value == 1)
        m_held.insert(event.code);
    else if (event.value == 0)
        m_held.erase(event.code);
}

std::vector<InputdProtocol::Post> PressLedger::releaseAll()
{
    std::vector<InputdProtocol::Post> releases;
    for (const std::uint16_t code : m_held) {
        releases.push_back({EV_KEY, code, 0});
        releases.push_back({EV_SYN, SYN_REPORT, 0});
    }
    m_held.clear();
    return releases;
}
