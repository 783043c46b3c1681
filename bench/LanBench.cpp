// SPDX-License-Identifier: MIT
// The LAN printer's receipt round trip against serve-printer on 127.0.0.1:
// the time from a receipt's last record (the payment that covers the total
// and sends the collected receipt) to the printer's reply, one receipt per
// iteration. The median of the iterations is reported as median_ms.
#include "BenchSupport.h"

#include "lan/LanPrinter.h"
#include "lan/serve/PrinterServer.h"
#include "support/ServedPrinter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

void BM_LanReceiptRoundTrip(benchmark::State& state)
{
    bench::ProgramDir served;
    bench::ProgramDir till;
    ServedPrinter server(served.path());
    if (server.port() == 0) {
        state.SkipWithError("serve-printer did not listen");
        return;
    }
    LanPrinter printer(till.path(), *LanEndpoint::parse(QStringLiteral("http://127.0.0.1:%1").arg(server.port())));
    printer.OpenPort();
    std::vector<double> times;
    for (auto _ : state) {
        // The receipt of the first example file, collected call by call.
        printer.SellDept(1, "PANE CASERECCIO", Currency::fromHundredths(250), 1);
        printer.SellDeptQty(1, "LATTE INTERO", 2.0f, Currency::fromHundredths(129), 2);
        printer.AddDescription(1, "- OFFERTA DELLA SETTIMANA -");
        printer.Subtotal(1);
        printer.SubtotalDiscount(1, Currency::fromHundredths(50));
        printer.ExtraLine(1, 1, "CARTA SOCIO 0042");
        printer.PayCash(1, Currency::fromHundredths(200));
        const auto start = std::chrono::steady_clock::now();
        const int16_t code = printer.PayCard(1, 0);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (code != 0) {
            state.SkipWithError("the receipt was refused");
            break;
        }
        state.SetIterationTime(took.count());
        times.push_back(took.count() * 1000.0);
    }
    printer.ClosePort();
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        const size_t n = times.size();
        state.counters["median_ms"] = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        state.counters["max_ms"] = times.back();
    }
}
BENCHMARK(BM_LanReceiptRoundTrip)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
