#pragma once
// Named blocks of bytes built into the program: the emulator image "tpl", the theme files
// ("origfiletypes", "origgui", "origicons", ... for the four theme sets) and the 48K ROM
// "rom48" (OpenSE BASIC) that loads tapes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tapeloom {

using ByteView = std::span<const std::uint8_t>;

// Looks a data item up by name, ignoring letter case. Empty when there is no such item.
std::optional<ByteView> findDataItem(std::string_view name);

namespace detail {
struct DataItemEntry {
    const char* name;
    const std::uint8_t* begin;
    const std::uint8_t* end;
};
extern const DataItemEntry kDataItems[];
extern const std::size_t kDataItemCount;
} // namespace detail

} // namespace tapeloom
