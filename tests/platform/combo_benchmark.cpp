// Filling the station list of the Qt form with many stations in random
// order, as refilling after a save or delete does: the cost per entry must
// stay near constant as the list grows.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "resources/control_ids.h"
#include "tests/platform/qt_test_support.h"

namespace {

std::vector<std::string> RandomCodes(int count) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> letter('A', 'Z');
    std::vector<std::string> codes(static_cast<std::size_t>(count));
    for (auto& code : codes)
        for (int i = 0; i < 5; ++i) code += static_cast<char>(letter(random));
    return codes;
}

// Runs the timing loop while the form is open, then closes it.
class Bench : public platform::DialogEvents {
public:
    Bench(benchmark::State& state, std::function<void()> setUp, std::function<void()> step)
        : state_(state), setUp_(std::move(setUp)), step_(std::move(step)) {}
    bool OnInitDialog() override {
        if (setUp_) setUp_();
        for (auto _ : state_) step_();
        qt_test::Port().EndDialog(platform::IDOK);
        return true;
    }
    void OnCommand(int, platform::Notify) override {}
    void OnOK() override {}
    void OnCancel() override {}

private:
    benchmark::State& state_;
    std::function<void()> setUp_, step_;
};

void FillStationList(benchmark::State& state) {
    const auto codes = RandomCodes(static_cast<int>(state.range(0)));
    auto& port = qt_test::Port();
    Bench bench(state, nullptr, [&] {
        port.ResetContent(ctl::StationCode);
        for (const auto& code : codes) port.AddString(ctl::StationCode, code);
        benchmark::DoNotOptimize(port.GetCount(ctl::StationCode));
    });
    port.RunModal(bench);
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Looking a typed code up in a full list, as every key in the station box does.
void FindInStationList(benchmark::State& state) {
    const auto codes = RandomCodes(static_cast<int>(state.range(0)));
    auto& port = qt_test::Port();
    std::size_t next = 0;
    Bench bench(
        state,
        [&] {
            for (const auto& code : codes) port.AddString(ctl::StationCode, code);
        },
        [&] {
            const std::string& code = codes[next++ % codes.size()];
            const int found = port.FindString(ctl::StationCode, -1, code.substr(0, 3));
            benchmark::DoNotOptimize(port.SetCurSel(ctl::StationCode, found));
        });
    port.RunModal(bench);
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(FillStationList)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(FindInStationList)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oLogN);

BENCHMARK_MAIN();
