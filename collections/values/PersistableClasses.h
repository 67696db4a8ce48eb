// The four persistable classes that every collection loader knows.
#pragma once

namespace pxLib {

// Registers the key-value and index-value collections, the string object and
// the memory object with the process object factory, each unless it is
// registered already. False when a registration fails.
[[nodiscard]] bool RegisterPersistableClasses();

}  // namespace pxLib
