#pragma once

// The name the game knows the marker menu by.
inline constexpr char kMarkerMenuName[] = "Tarvek Menu";
