#pragma once
// Every key code of the program, in the three sets the input arrives in.

#include <cstdint>

namespace qm {

// Scan codes of the standard PC keyboard (set 1): the keys the frame reads as
// held, from the keyboard state it takes once a frame.
inline constexpr std::uint8_t kDikEscape = 0x01;
inline constexpr std::uint8_t kDikS = 0x1F;
inline constexpr std::uint8_t kDikF = 0x21;
inline constexpr std::uint8_t kDikK = 0x25;
inline constexpr std::uint8_t kDikLShift = 0x2A;
inline constexpr std::uint8_t kDikC = 0x2E;
inline constexpr std::uint8_t kDikB = 0x30;
inline constexpr std::uint8_t kDikRShift = 0x36;
inline constexpr std::uint8_t kDikSpace = 0x39;

// Virtual-key codes of the keys whose release the window procedure acts on.
inline constexpr std::uint32_t kVkReturn = 13;
inline constexpr std::uint32_t kVkHome = 36;
inline constexpr std::uint32_t kVkLeft = 37;
inline constexpr std::uint32_t kVkUp = 38;
inline constexpr std::uint32_t kVkRight = 39;
inline constexpr std::uint32_t kVkDown = 40;
inline constexpr std::uint32_t kVkP = 'P';
inline constexpr std::uint32_t kVkF1 = 0x70;
inline constexpr std::uint32_t kVkF2 = 0x71;
inline constexpr std::uint32_t kVkF5 = 0x74;

// The codes the shell hands the experiment driver: a pick with K kills the
// node under the pointer, with S selects it; 104 pauses or resumes the first world.
inline constexpr int kKillKey = 75;    // 'K'
inline constexpr int kSelectKey = 83;  // 'S'
inline constexpr int kPauseKey = 104;

}  // namespace qm
