#pragma once

namespace tavoro {

// The link colours every state panel uses, the same on every platform.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kRed{255, 0, 0};       // link down
inline constexpr Rgb kGreen{0, 128, 0};     // link up
inline constexpr Rgb kLime{0, 255, 0};      // TCP connected, not yet logged in
inline constexpr Rgb kOrange{255, 85, 0};   // connecting
inline constexpr Rgb kYellow{255, 255, 0};  // transponder on standby

enum class Bevel { Raised, Lowered };

}  // namespace tavoro
