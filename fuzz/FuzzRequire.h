#pragma once
// A property a fuzz target checks: a broken one stops the run where the fuzzer can report it.
inline void Require(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}
