// Copying into the caller's fixed buffers, which hold kKorvanteBufferSize bytes.
#pragma once
#include "engine/Korvante.h"
#include <cstring>

// Copies text into buffer, cut to fit and zero-terminated; a null buffer is left alone.
inline void CopyToBuffer(char* buffer, const char* text)
{
    if (!buffer)
        return;
    const size_t length = strnlen(text, kKorvanteBufferSize - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}
