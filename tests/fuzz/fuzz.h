#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The entry point of every fuzz target, called by libFuzzer with each input,
// or by replay_main.cpp with each file of a corpus.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fotavi {

// The input as bytes, without copying them.
inline QByteArray fuzz_bytes(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

}  // namespace fotavi

// A property of the code under test that the input broke: a crash, so that
// libFuzzer keeps the input and a corpus replay fails.
#define FUZZ_CHECK(condition)               \
    do {                                    \
        if (!(condition)) __builtin_trap(); \
    } while (false)
