// Numbers as the page writes them: offsets and LBAs in hexadecimal with
// "0x", lengths in the largest binary unit that holds them exactly.
#pragma once

#include <cstdint>
#include <string>

namespace vhdx_inspect::views::html {

// "0x300000"; "0" for zero.
std::string HexNumber(std::uint64_t value);

// "1 MiB", "17 KiB", "512 B": the largest of B, KiB, MiB, GiB, TiB, PiB, EiB that
// divides `bytes`; a length that none above bytes divides and is at least
// 10 KiB as "≈1.5 GiB", to one decimal.
std::string LengthText(std::uint64_t bytes);

}  // namespace vhdx_inspect::views::html
