// Every input may cost TAVOLIX_FUZZ_CPU_SECONDS of CPU time, counted around
// the reader alone: the process's start and libFuzzer's copy of a 32 MiB file
// are not the reader's, and a busy machine stretches the wall clock, not this.
// Over the budget it aborts, so libFuzzer keeps the input as a crash.
#include "FuzzOneInput.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double BudgetSeconds() {
    const char* text = std::getenv("TAVOLIX_FUZZ_CPU_SECONDS");
    if (text == nullptr || *text == '\0')
        return 0; // no budget: a run by hand
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    return (end != nullptr && *end == '\0' && seconds > 0) ? seconds : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const double budget = BudgetSeconds();
    static const bool report = std::getenv("TAVOLIX_FUZZ_CPU_REPORT") != nullptr;
    const double start = ProcessCpuSeconds();
    const int result = FuzzOneInput(data, size);
    const double spent = ProcessCpuSeconds() - start;
    if (budget > 0 && spent > budget) {
        std::fprintf(stderr, "fuzz: one input of %zu bytes took %.2f s of CPU time (budget %.2f s)\n", size,
                     spent, budget);
        std::abort();
    }
    if (report)
        std::fprintf(stderr, "fuzz: %zu bytes, %.3f s of CPU time\n", size, spent);
    return result;
}
