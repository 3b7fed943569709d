#include "data_items.h"

#include <algorithm>
#include <cctype>

namespace tapeloom {

std::optional<ByteView> findDataItem(std::string_view name) {
    auto sameIgnoringCase = [](std::string_view a, std::string_view b) {
        return std::ranges::equal(a, b, [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
        });
    };
    for (std::size_t i = 0; i < detail::kDataItemCount; ++i) {
        const auto& item = detail::kDataItems[i];
        if (sameIgnoringCase(item.name, name))
            return ByteView(item.begin, static_cast<std::size_t>(item.end - item.begin));
    }
    return std::nullopt;
}

} // namespace tapeloom
