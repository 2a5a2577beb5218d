#pragma once

// Where the Orvanta automation server answers on D-Bus. The reference server in tools/ and
// the collector agree on these names; a production server registers the same.
namespace OrvantaBus {
inline constexpr auto kService = "se.keldamed.Orvanta.Automation";
inline constexpr auto kObjectPath = "/PanoptraAutoObject";
inline constexpr auto kInterface = "se.keldamed.Orvanta.PanoptraAutoObject";
} // namespace OrvantaBus
