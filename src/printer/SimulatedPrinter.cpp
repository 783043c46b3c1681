#include "printer/SimulatedPrinter.h"
// STUB
struct SimulatedPrinter::Impl {};
SimulatedPrinter::SimulatedPrinter(const std::filesystem::path&) : m_impl(std::make_unique<Impl>()) {}
SimulatedPrinter::~SimulatedPrinter() = default;
void SimulatedPrinter::setOpenOptionA(int32_t) {}
void SimulatedPrinter::setOpenOptionB(int32_t) {}
void SimulatedPrinter::setComPort(int16_t) {}
void SimulatedPrinter::setComSettings(const std::string&) {}
void SimulatedPrinter::setItemOptionA(int16_t) {}
void SimulatedPrinter::setItemOptionB(int16_t) {}
void SimulatedPrinter::OpenPort() {}
void SimulatedPrinter::ClosePort() {}
bool SimulatedPrinter::PortIsOpen() { return false; }
bool SimulatedPrinter::Busy() { return false; }
int16_t SimulatedPrinter::SellDept(int16_t, const std::string&, Currency, int16_t) { return 0; }
int16_t SimulatedPrinter::SellDeptQty(int16_t, const std::string&, float, Currency, int16_t) { return 0; }
int16_t SimulatedPrinter::ReturnDept(int16_t, const std::string&, Currency, int16_t) { return 0; }
int16_t SimulatedPrinter::ReturnDeptQty(int16_t, const std::string&, float, Currency, int16_t) { return 0; }
int16_t SimulatedPrinter::ReturnDeptAmount(int16_t, const std::string&, Currency, int16_t) { return 0; }
int16_t SimulatedPrinter::AddDescription(int16_t, const std::string&) { return 0; }
int16_t SimulatedPrinter::ExtraLine(int16_t, int16_t, const std::string&) { return 0; }
int16_t SimulatedPrinter::Subtotal(int16_t) { return 0; }
int16_t SimulatedPrinter::SubtotalDiscount(int16_t, Currency) { return 0; }
int16_t SimulatedPrinter::CancelReceipt(int16_t) { return 0; }
int16_t SimulatedPrinter::PayCash(int16_t, Currency) { return 0; }
int16_t SimulatedPrinter::PayCheque(int16_t, Currency) { return 0; }
int16_t SimulatedPrinter::PayCard(int16_t, int16_t) { return 0; }
int16_t SimulatedPrinter::PayTicket(int16_t, int16_t, Currency) { return 0; }
int16_t SimulatedPrinter::PayTender(int16_t, const std::string&, Currency, int32_t, int16_t, int16_t) { return 0; }
int16_t SimulatedPrinter::OpenNonFiscal(int16_t) { return 0; }
int16_t SimulatedPrinter::NonFiscalLine(int16_t, int16_t, const std::string&) { return 0; }
int16_t SimulatedPrinter::CloseNonFiscal(int16_t) { return 0; }
int16_t SimulatedPrinter::DisplayText(int16_t, const std::string&) { return 0; }
int16_t SimulatedPrinter::OpenCmd(int16_t) { return 0; }
int16_t SimulatedPrinter::AmountEntry(int16_t, Currency) { return 0; }
int16_t SimulatedPrinter::FiscalClosure(int16_t) { return 0; }
int16_t SimulatedPrinter::FiscalClosureAlt(int16_t) { return 0; }
int16_t SimulatedPrinter::PaperEndRecovery(int16_t) { return 0; }
std::string SimulatedPrinter::ErrorText(int16_t, int32_t) { return {}; }
