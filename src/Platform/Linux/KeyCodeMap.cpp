#include "Platform/Linux/KeyCodeMap.h"

#include "Platform/RawInputEvent.h"

#include <array>
#include <utility>

namespace KeyCodeMap {

namespace {

// {macOS virtual key code, evdev code}
constexpr std::pair<std::uint16_t, std::uint16_t> kKeys[] = {
    {0, 30}, {1, 31}, {2, 32}, {3, 33}, {4, 35}, {5, 34}, {6, 44}, {7, 45},
    {8, 46}, {9, 47}, {10, 86}, {11, 48}, {12, 16}, {13, 17}, {14, 18}, {15, 19},
    {16, 21}, {17, 20}, {18, 2}, {19, 3}, {20, 4}, {21, 5}, {22, 7}, {23, 6},
    {24, 13}, {25, 10}, {26, 8}, {27, 12}, {28, 9}, {29, 11}, {30, 27}, {31, 24},
    {32, 22}, {33, 26}, {34, 23}, {35, 25}, {36, 28}, {37, 38}, {38, 36}, {39, 40},
    {40, 37}, {41, 39}, {42, 43}, {43, 51}, {44, 53}, {45, 49}, {46, 50}, {47, 52},
    {48, 15}, {49, 57}, {50, 41}, {51, 14}, {53, 1}, {54, 126}, {55, 125}, {56, 42},
    {57, 58}, {58, 56}, {59, 29}, {60, 54}, {61, 100}, {62, 97}, {64, 187}, {65, 83},
    {67, 55}, {69, 78}, {71, 69}, {72, 115}, {73, 114}, {74, 113}, {75, 98}, {76, 96},
    {78, 74}, {79, 188}, {80, 189}, {81, 117}, {82, 82}, {83, 79}, {84, 80}, {85, 81},
    {86, 75}, {87, 76}, {88, 77}, {89, 71}, {90, 190}, {91, 72}, {92, 73}, {93, 124},
    {94, 89}, {95, 95}, {96, 63}, {97, 64}, {98, 65}, {99, 61}, {100, 66}, {101, 67},
    {102, 123}, {103, 87}, {104, 122}, {105, 183}, {106, 186}, {107, 184}, {109, 68}, {110, 127},
    {111, 88}, {113, 185}, {114, 110}, {115, 102}, {116, 104}, {117, 111}, {118, 62}, {119, 107},
    {120, 60}, {121, 109}, {122, 59}, {123, 105}, {124, 106}, {125, 108}, {126, 103},
};

constexpr int kMaxEvdev = 0x1FFF; // keeps 0xE000 + evdev within 16 bits

struct Tables {
    std::array<std::int16_t, 128> evdevOfMac{};
    std::array<std::int16_t, 256> macOfEvdev{};
};

const Tables& tables()
{
    static const Tables t = [] {
        Tables result;
        result.evdevOfMac.fill(-1);
        result.macOfEvdev.fill(-1);
        for (const auto& [mac, evdev] : kKeys) {
            result.evdevOfMac[mac] = std::int16_t(evdev);
            result.macOfEvdev[evdev] = std::int16_t(mac);
        }
        return result;
    }();
    return t;
}

} // namespace

std::uint16_t macFromEvdev(int evdev)
{
    if (evdev >= 0 && evdev < int(tables().macOfEvdev.size()) && tables().macOfEvdev[evdev] >= 0)
        return std::uint16_t(tables().macOfEvdev[evdev]);
    return std::uint16_t(unmappedBase + (evdev & kMaxEvdev));
}

std::optional<int> evdevFromMac(std::uint16_t mac)
{
    if (mac < tables().evdevOfMac.size())
        return tables().evdevOfMac[mac] >= 0 ? std::optional<int>(tables().evdevOfMac[mac])
                                             : std::nullopt;
    if (mac >= unmappedBase)
        return int(mac - unmappedBase);
    return std::nullopt;
}

std::uint64_t modifierFlag(int evdev)
{
    switch (evdev) {
    case 42: // left shift
    case 54: // right shift
        return ModifierFlags::shift;
    case 29: // left control
    case 97: // right control
        return ModifierFlags::control;
    case 56:  // left alt
    case 100: // right alt
        return ModifierFlags::option;
    case 125: // left super
    case 126: // right super
        return ModifierFlags::command;
    case 58: // caps lock
        return ModifierFlags::capsLock;
    default:
        return 0;
    }
}

bool isModifierKey(int evdev)
{
    // 84 is where X keymaps put ISO_Level3_Shift (keycode 92).
    return modifierFlag(evdev) != 0 || evdev == 84;
}

} // namespace KeyCodeMap
