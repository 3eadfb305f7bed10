// Basic scalar and text types of the framework vocabulary.
#pragma once

#include <cstdint>
#include <string>

using Byte = std::uint8_t;
using ShortInt = std::int8_t;
using Word = std::uint16_t;
using SmallInt = std::int16_t;
using Integer = std::int32_t;
using Cardinal = std::uint32_t;
using LongWord = std::uint32_t;
using DWORD = std::uint32_t;
using Int64 = std::int64_t;
using UInt64 = std::uint64_t;
using NativeInt = std::intptr_t;
using NativeUInt = std::uintptr_t;
using Boolean = bool;
using Pointer = void*;

// 8-bit text in the system code page. On this system the code page is UTF-8.
using AnsiString = std::string;
// UTF-16 text; file names cross the media and imaging interfaces in this form.
using WideString = std::u16string;
