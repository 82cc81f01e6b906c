#pragma once
// The orientation each component of a channel group stands for, in the terms
// of SITECHAN: HANG the horizontal angle, degrees clockwise from north (-1,
// "not applicable", on a vertical), VANG the angle from the vertical (0 up,
// 90 horizontal).

#include <optional>

struct Orientation {
    double hang = 0.0;
    double vang = 0.0;
};

// Z (CHANINDEX 0) vertical, N (1) towards north, E (2) towards east; none for
// any other index.
inline std::optional<Orientation> ComponentOrientation(int component) {
    static constexpr Orientation kByComponent[] = {{-1.0, 0.0}, {0.0, 90.0}, {90.0, 90.0}};
    if (component < 0 || component > 2) return std::nullopt;
    return kByComponent[component];
}
