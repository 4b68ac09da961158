// The value codec: a variable's value text turned into the bytes of its registers, and a
// read reply's register bytes turned back into the value text, for every variable type.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/ModbusAction.h"
#include "values/MString.h"

// Turns a value text into register bytes (host order) in out[0, capacity). Returns the
// byte count, or -1 when the text cannot be represented: a number outside the type's
// floating range, or a text whose encoded form does not fit the buffer. Numbers parse
// leniently: a text without digits gives 0. An unknown type gives no bytes.
int EncodeValue(const MString &text, uint32_t type, uint8_t *out, std::size_t capacity);

// The value text of a read reply's n register bytes, or false when they do not carry the
// type (too few bytes, or an unknown type); `value` is then left as it was.
bool DecodeValue(const uint8_t *data, int n, uint32_t type, MString &value);

// The variable's value from its own n register bytes, its raw bytes kept beside it; false
// (value kept) when they do not carry its type.
bool DecodeRegisters(const uint8_t *data, int n, ModbusAction *variable);
