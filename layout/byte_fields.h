// Little-endian fields read from and written to byte buffers at any alignment.
#pragma once

#include <cstdint>
#include <cstring>

namespace kavrel::layout {

template <class T>
T LoadField(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T>
void StoreField(std::uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

}  // namespace kavrel::layout
