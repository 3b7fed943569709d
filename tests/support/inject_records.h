#pragma once
// Records of Tarn's INJECT.INI, built by the tests.
#include "files.h"
#include "inject_ini.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace tapeloom::test {

// One record: path, name field (8 bytes as given, zero-filled), ten key groups. The bytes the
// reader skips hold marker values, so a reader that takes them shows.
Bytes injectRecord(const std::string& path, const std::string& name,
                   const std::array<InjectKeyGroup, 10>& groups = {});

// Records (or any byte runs) one after another.
Bytes joined(std::initializer_list<Bytes> parts);

} // namespace tapeloom::test
