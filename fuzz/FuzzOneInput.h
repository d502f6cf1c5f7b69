// Each target's check of one input. CpuBudget.cpp calls it from libFuzzer's
// entry point and holds it to a budget of CPU time.
#pragma once

#include <cstddef>
#include <cstdint>

int FuzzOneInput(const std::uint8_t* data, std::size_t size);
