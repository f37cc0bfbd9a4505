#include "service/decoders.h"
#include "service/engine.h"
#include "service/log_writer.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

std::shared_ptr<ostrum::engine> engineWith(size_t rules) {
    auto e = std::make_shared<ostrum::engine>();
    for (size_t i = 0; i < rules; ++i) {
        if (!e->addrulestr(ruleLine(i))) {
            std::abort();
        }
    }
    return e;
}

// The RAWRULE lines of a rule file; an empty engine when it cannot be read.
std::shared_ptr<ostrum::engine> engineFrom(const std::string& file) {
    auto e = std::make_shared<ostrum::engine>();
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        if (line.starts_with("RAWRULE")) {
            (void)e->addrulestr(line);
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
    // No escape cut in half at the end: a benign value, not a malformed one.
    for (size_t i = value.size() >= 2 ? value.size() - 2 : 0; i < value.size(); ++i) {
        if (value[i] == '%') {
            value.replace(i, std::string::npos, value.size() - i, 'x');
        }
    }
    return value;
}

// A benign value of about the given size that is its own normal form: no
// escape, plus sign or upper-case letter.
std::string plainValueOf(size_t size) {
    const std::string piece = "search-terms.for_the/page-1=";
    std::string value;
    while (value.size() < size) {
        value += piece;
    }
    value.resize(size);
    return value;
}

struct Position {
    const char* name;
    int32_t code;
};

constexpr Position kValuePositions[] = {
    {"cookie", ostrum::POS_COOKIE},   {"argpost", ostrum::POS_ARGPOST},
    {"method", ostrum::POS_METHOD},   {"url", ostrum::POS_URL},
    {"argget", ostrum::POS_ARGGET},   {"ver", ostrum::POS_VER},
    {"referer", ostrum::POS_REFERER}, {"cip", ostrum::POS_CIP},
    {"agent", ostrum::POS_AGENT},     {"host", ostrum::POS_HOST},
    {"proxy", ostrum::POS_PROXY},     {"alan", ostrum::POS_ALAN},
};

// One value at one position; "one-by-one" walks every rule without the
// prefilter, for comparison.
// Header values found clean are remembered per thread, so a benchmark of one
// value repeated would time the memory, not the match: the value is varied
// over more variants than that memory holds. `repeated` times the memory.
constexpr size_t kVariants = 1024;

std::vector<std::string> variantsOf(const std::string& value, bool repeated) {
    std::vector<std::string> variants(repeated ? 1 : kVariants, value);
    for (size_t i = 0; i < variants.size() && !repeated && value.size() >= 2; ++i) {
        variants[i][0] = char('a' + i % 26);
        variants[i][1] = char('a' + i / 26 % 26);
    }
    return variants;
}

void matchBench(benchmark::State& state, const std::shared_ptr<ostrum::engine>& e,
                int32_t position, const std::string& value, bool oneByOne, bool repeated) {
    const std::vector<std::string> values = variantsOf(value, repeated);
    (void)e->matchRules(position, value, true); // builds the prefilter outside the timing
    size_t i = 0;
    for (auto _ : state) {
        const std::string& v = values[i++ % values.size()];
        benchmark::DoNotOptimize(oneByOne ? e->matchRulesOneByOne(position, v, true)
                                          : e->matchRules(position, v, true));
    }
    state.SetItemsProcessed(state.iterations());
}

void registerSet(const std::string& name, const std::shared_ptr<ostrum::engine>& e) {
    for (const size_t size : {size_t(20), size_t(1024)}) {
        const std::string prefix = "Match/" + name + "/" + std::to_string(size) + "B/";
        for (const Position& p : kValuePositions) {
            benchmark::RegisterBenchmark((prefix + p.name).c_str(), matchBench, e, p.code,
                                         valueOf(size), false, false);
            benchmark::RegisterBenchmark((prefix + "plain/" + p.name).c_str(), matchBench, e,
                                         p.code, plainValueOf(size), false, false);
        }
        benchmark::RegisterBenchmark((prefix + "argget/one-by-one").c_str(), matchBench, e,
                                     ostrum::POS_ARGGET, valueOf(size), true, false);
        benchmark::RegisterBenchmark((prefix + "agent/repeated").c_str(), matchBench, e,
                                     ostrum::POS_AGENT, plainValueOf(size), false, true);
    }
}

// A form's fields: values of about 20 bytes, escaped ones and plain ones,
// matched as one list or one value at a time.
constexpr size_t kFormFields = 12;

void listBench(benchmark::State& state, const std::shared_ptr<ostrum::engine>& e, bool asList) {
    std::vector<ostrum::PairList> forms(kVariants);
    for (size_t v = 0; v < forms.size(); ++v) {
        for (size_t f = 0; f < kFormFields; ++f) {
            std::string value = f % 2 == 0 ? valueOf(20) : plainValueOf(20);
            value[0] = char('a' + v % 26);
            value[1] = char('a' + v / 26 % 26);
            forms[v].add(forms[v].keep("field" + std::to_string(f)), forms[v].keep(value));
        }
    }
    std::vector<ostrum::rulematch> answers;
    e->matchRulesList(ostrum::POS_ARGPOST, forms[0], true, answers); // builds the prefilter
    size_t i = 0;
    for (auto _ : state) {
        const ostrum::PairList& form = forms[i++ % forms.size()];
        if (asList) {
            e->matchRulesList(ostrum::POS_ARGPOST, form, true, answers);
        } else {
            for (const auto& [name, value] : form) {
                benchmark::DoNotOptimize(e->matchRules(ostrum::POS_ARGPOST, value, true));
            }
        }
        benchmark::DoNotOptimize(answers.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kFormFields));
}

// Long runs of one byte that some patterns meet at every offset: what a
// hostile value costs the scan.
constexpr size_t kHostileSize = 64 * 1024;

void hostileBench(benchmark::State& state, const std::shared_ptr<ostrum::engine>& e,
                  char repeated) {
    const std::string value(kHostileSize, repeated);
    (void)e->matchRules(ostrum::POS_ARGPOST, value, true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(e->matchRules(ostrum::POS_ARGPOST, value, true));
    }
    state.SetBytesProcessed(state.iterations() * int64_t(value.size()));
}

void registerListsAndHostileValues(const std::shared_ptr<ostrum::engine>& e) {
    benchmark::RegisterBenchmark("List/shipped/12x20B/argpost", listBench, e, true);
    benchmark::RegisterBenchmark("List/shipped/12x20B/argpost/one-at-a-time", listBench, e, false);
    for (const char c : {' ', '0', '\'', '%', 'a', '<', '\n'}) {
        const std::string name = "Hostile/shipped/64KiB/" + std::to_string(int(c));
        benchmark::RegisterBenchmark(name.c_str(), hostileBench, e, c);
    }
}

// What the filter's start pays to build the prefilter of the shipped rules.
void BM_PrefilterBuild(benchmark::State& state) {
    const std::shared_ptr<ostrum::engine> e = engineFrom(OSTRUM_SOURCE_DIR "/dist/RAWRULE.dat");
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrum::RulePrefilter::build(e->rules()));
    }
}
BENCHMARK(BM_PrefilterBuild)->Unit(benchmark::kMillisecond)->Iterations(1);

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

// The check that spares most values their normal form, on a value that passes it.
void BM_NormalFormKeeps(benchmark::State& state) {
    const std::string value = plainValueOf(size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ostrum::normalFormKeeps(value, state.range(1) != 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NormalFormKeeps)->ArgsProduct({{20, 1024}, {0, 1}});

} // namespace

// What a request pays to hand one detail record of about 600 bytes to the
// detail log (the writing itself is the writer thread's), in a scratch folder.
void BM_DetailLogWrite(benchmark::State& state) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "ostrum-bench-log";
    std::filesystem::create_directories(folder / "log");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    {
        ostrum::LogWriter writer(ostrum::LogWriter::Kind::Detail);
        const std::string record = "clientip=127.0.0.1 serverip=127.0.0.1 serverport=80\r\n"
                                   "GET /index.html HTTP/1.1\r\n" +
                                   std::string(500, 'h') + "\r\n";
        for (auto _ : state) {
            writer.write(record, 100);
        }
        state.SetItemsProcessed(state.iterations());
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DetailLogWrite);

// Per position: the shipped rule file, the load benchmark's rules and
// generated sets of 10, 100 and 1,000 rules; lists and hostile values with
// the shipped rules.
int main(int argc, char** argv) {
    const std::shared_ptr<ostrum::engine> shipped =
        engineFrom(OSTRUM_SOURCE_DIR "/dist/RAWRULE.dat");
    registerSet("shipped", shipped);
    registerListsAndHostileValues(shipped);
    registerSet("load", engineFrom(OSTRUM_SOURCE_DIR "/bench/load/RAWRULE.dat"));
    for (const size_t rules : {size_t(10), size_t(100), size_t(1000)}) {
        registerSet(std::to_string(rules) + "rules", engineWith(rules));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

