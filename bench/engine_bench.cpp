#include "service/decoders.h"
#include "service/engine.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Attack signatures of the usual kinds; (pattern, regex?) pairs.
struct Signature {
    const char* pattern;
    bool regex;
};

constexpr Signature kSignatures[] = {
    {R"(union\s+(all\s+)?select)", true},
    {R"(<script[^>]*>)", true},
    {R"(\.\./\.\./)", true},
    {"etc/passwd", false},
    {R"(cmd\.exe)", true},
    {"xp_cmdshell", false},
    {R"(sleep\(\s*\d+\s*\))", true},
    {"benchmark(", false},
    {R"(/\*!\d+)", true},
    {R"(on(error|load|mouseover)\s*=)", true},
    {"javascript:", false},
    {R"(base64_decode\s*\()", true},
    {R"(\beval\s*\()", true},
    {"document.cookie", false},
    {R"(\bor\b\s+\d+\s*=\s*\d+)", true},
    {"information_schema", false},
    {R"(load_file\s*\()", true},
    {R"(into\s+(out|dump)file)", true},
    {R"(wget\s+https?://)", true},
    {R"(;\s*rm\s+-rf)", true},
    {"<?php", false},
    {R"(\$\{jndi:)", true},
    {"/bin/sh", false},
    {R"(waitfor\s+delay)", true},
};

constexpr const char* kPositions[] = {"arg", "any", "argget", "cookie", "url", "agent", "argpost"};

// The i-th rule line: signatures cycle, and past the first round each gets a
// distinct literal tail, so big sets are not one set repeated.
std::string ruleLine(size_t i) {
    constexpr size_t count = std::size(kSignatures);
    const Signature& s = kSignatures[i % count];
    std::string pattern = s.pattern;
    if (i >= count) {
        pattern += "_v" + std::to_string(i / count);
    }
    const char* position = kPositions[i % std::size(kPositions)];
    const char* transform = i % 2 == 0 ? "normal" : "raw";
    const char* compare = s.regex ? "regex" : "find";
    return "RAWRULE \"" + std::to_string(i + 1) + "," + position + "," + transform + "," + compare +
           ",log\" \"" + pattern + "\"";
}

std::unique_ptr<ostrum::engine> engineWith(size_t rules) {
    auto e = std::make_unique<ostrum::engine>();
    for (size_t i = 0; i < rules; ++i) {
        if (!e->addrulestr(ruleLine(i))) {
            std::abort();
        }
    }
    return e;
}

// A benign query value of about the given size, with the percent escapes and
// plus signs that real values carry.
std::string valueOf(size_t size) {
    const std::string piece = "search+terms%20for%2Fthe+page-1%3D";
    std::string value;
    while (value.size() < size) {
        value += piece;
    }
    value.resize(size);
    return value;
}

void BM_MatchRules(benchmark::State& state) {
    const auto e = engineWith(size_t(state.range(0)));
    const std::string value = valueOf(size_t(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(e->matchRules(ostrum::POS_ARGGET, value, true));
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t(value.size()));
}
BENCHMARK(BM_MatchRules)->ArgsProduct({{10, 100, 1000}, {20, 1024}});

void BM_DecodeLower(benchmark::State& state) {
    const std::string value = valueOf(size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrum::decodeLower(value));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeLower)->Arg(20)->Arg(1024);

void BM_UrlDecode(benchmark::State& state) {
    const std::string value = valueOf(size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrum::urlDecode(value));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UrlDecode)->Arg(20)->Arg(1024);

void BM_NormalForm(benchmark::State& state) {
    const std::string value = valueOf(size_t(state.range(0)));
    const bool useUtf8 = state.range(1) != 0;
    std::string out;
    for (auto _ : state) {
        ostrum::normalForm(value, useUtf8, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NormalForm)->ArgsProduct({{20, 1024}, {0, 1}});

} // namespace

BENCHMARK_MAIN();
