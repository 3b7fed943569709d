#include "inject_records.h"

#include <algorithm>

namespace tapeloom::test {

Bytes injectRecord(const std::string& path, const std::string& name,
                   const std::array<InjectKeyGroup, 10>& groups) {
    Bytes r;
    r.push_back(0x5A);
    r.push_back(static_cast<std::uint8_t>(path.size()));
    r.push_back(static_cast<std::uint8_t>(path.size() >> 8));
    r.insert(r.end(), path.begin(), path.end());
    r.insert(r.end(), 8, 0xAB);
    Bytes nameField(8, 0);
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 8), nameField.begin());
    r.insert(r.end(), nameField.begin(), nameField.end());
    r.insert(r.end(), 32, 0xCD);
    for (const InjectKeyGroup& g : groups)
        r.insert(r.end(), {g.source, g.row, g.mask, 0xEE});
    return r;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace tapeloom::test
