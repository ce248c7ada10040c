// Shared by the x86 fast-path files: how their row converters are declared.
// Each file compiles its functions for its own instruction set with target
// attributes, so nothing outside them assumes more than the build's baseline.
#pragma once

#if defined(__i386__)
// 32-bit Windows only keeps the stack 4-byte aligned; functions that may keep
// vectors on the stack realign it on entry.
#define QUENLIXOR_VECTOR_ENTRY __attribute__((force_align_arg_pointer))
#else
#define QUENLIXOR_VECTOR_ENTRY
#endif
