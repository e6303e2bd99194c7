// What a source compiled once per instruction-set level (*_level.cpp, with
// MORVANE_LEVEL naming a SimdLevel) needs to know of its level: the
// instructions it may use (simd.cpp tests the processor for the same), the
// bytes of its vectors, and the markers of the region compiled with them.
//
// Include after every other header: whatever follows MORVANE_TARGET_BEGIN
// gets the wider instructions, and a shared inline function compiled for
// them could be the copy the linker keeps for everyone.
#pragma once

#define MORVANE_LEVEL_ID_avx2 1
#define MORVANE_LEVEL_ID_avx512 2
#define MORVANE_LEVEL_ID_OF(level) MORVANE_LEVEL_ID_##level
#define MORVANE_LEVEL_ID(level) MORVANE_LEVEL_ID_OF(level)
#define MORVANE_STRING_OF(x) #x
#define MORVANE_STRING(x) MORVANE_STRING_OF(x)
#define MORVANE_PRAGMA_OF(text) _Pragma(#text)
#define MORVANE_PRAGMA(text) MORVANE_PRAGMA_OF(text)

#if MORVANE_LEVEL_ID(MORVANE_LEVEL) == 1
#define MORVANE_TARGET "avx2,bmi,bmi2,popcnt"
#define MORVANE_VECTOR_BYTES 32
#elif MORVANE_LEVEL_ID(MORVANE_LEVEL) == 2
#define MORVANE_TARGET "avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt"
#define MORVANE_VECTOR_BYTES 64
#else
#error "MORVANE_LEVEL must name a level with vector kernels (avx2, avx512)"
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MORVANE_HAS_TARGET 1
// Clang ignores GCC's target pragmas and takes the target as an attribute
// of every function in the region instead.
#if defined(__clang__)
#define MORVANE_TARGET_BEGIN \
  MORVANE_PRAGMA(clang attribute push(__attribute__((target(MORVANE_TARGET))), apply_to = function))
#define MORVANE_TARGET_END _Pragma("clang attribute pop")
#else
#define MORVANE_TARGET_BEGIN _Pragma("GCC push_options") MORVANE_PRAGMA(GCC target(MORVANE_TARGET))
#define MORVANE_TARGET_END _Pragma("GCC pop_options")
#endif
#else
#define MORVANE_HAS_TARGET 0
#endif
