// SPDX-License-Identifier: MIT
// The LAN printer's receipt round trip against serve-printer on 127.0.0.1:
// the time from a receipt's last record (the payment that covers the total
// and sends the collected receipt) to the printer's reply, one receipt per
// iteration; and the same for a receipt of 3000 lines, which the printer
// must answer well inside the 15 s the control waits. The median of the
// iterations is reported as median_ms.
#include "BenchSupport.h"

#include "core/Clock.h"
#include "lan/LanPrinter.h"
#include "lan/serve/PrinterServer.h"
#include "support/ServedPrinter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
// A receipt collected call by call; `sent` is taken just before the last
// call, the payment that sends it, whose code is returned.
using Receipt = int16_t (*)(LanPrinter&, Steady::time_point& sent);

int16_t exampleReceipt(LanPrinter& printer, Steady::time_point& sent)
{
    // The receipt of the first example file.
    printer.SellDept(1, "PANE CASERECCIO", Currency::fromHundredths(250), 1);
    printer.SellDeptQty(1, "LATTE INTERO", 2.0f, Currency::fromHundredths(129), 2);
    printer.AddDescription(1, "- OFFERTA DELLA SETTIMANA -");
    printer.Subtotal(1);
    printer.SubtotalDiscount(1, Currency::fromHundredths(50));
    printer.ExtraLine(1, 1, "CARTA SOCIO 0042");
    printer.PayCash(1, Currency::fromHundredths(200));
    sent = Steady::now();
    return printer.PayCard(1, 0);
}

int16_t longReceipt(LanPrinter& printer, Steady::time_point& sent)
{
    // 2998 sales, the subtotal and the payment: 3000 lines.
    for (int i = 0; i < 2998; ++i)
        printer.SellDept(1, "ARTICOLO " + std::to_string(i), Currency::fromHundredths(100), 1);
    printer.Subtotal(1);
    sent = Steady::now();
    return printer.PayCash(1, Currency::fromHundredths(299800));
}

void roundTrips(benchmark::State& state, Receipt receipt)
{
    bench::ProgramDir served;
    bench::ProgramDir till;
    ServedPrinter server(served.path());
    if (server.port() == 0) {
        state.SkipWithError("serve-printer did not listen");
        return;
    }
    SystemClock clock;
    LanPrinter printer(till.path(), clock, *LanEndpoint::parse(QStringLiteral("http://127.0.0.1:%1").arg(server.port())));
    printer.OpenPort();
    std::vector<double> times;
    for (auto _ : state) {
        Steady::time_point sent;
        const int16_t code = receipt(printer, sent);
        const std::chrono::duration<double> took = Steady::now() - sent;
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

void BM_LanReceiptRoundTrip(benchmark::State& state)
{
    roundTrips(state, exampleReceipt);
}
BENCHMARK(BM_LanReceiptRoundTrip)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LanLongReceiptRoundTrip(benchmark::State& state)
{
    roundTrips(state, longReceipt);
}
BENCHMARK(BM_LanLongReceiptRoundTrip)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
